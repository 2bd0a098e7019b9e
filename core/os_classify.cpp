#include "core/os_classify.h"

namespace kestrel {

int32_t ClassifyOsVersion(const OsVersionData& v, OsFlags& flags) {
  if (!v.queryOk) return kOsQueryFailed;
  if (v.major < 6) return kOsTooOld;
  const bool workstation = v.productType == 1;
  if (v.major == 6) {
    if (v.minor == 0) {
      if (v.servicePackMajor < 2) return kOsVistaBeforeSp2;
      if (!workstation) flags.isServer2008 = 1;
    } else if (v.minor == 1) {
      (workstation ? flags.isWin7 : flags.isServer2008R2) = 1;
    } else {
      (workstation ? flags.isClient8Plus : flags.isServer2012Plus) = 1;
    }
    return kOsClassified;
  }
  // Major 7 and later. Servers 7 to 9 never existed and get no flag.
  if (workstation)
    flags.isClient8Plus = 1;
  else if (v.major >= 10)
    flags.isServer2012Plus = 1;
  return kOsClassified;
}

bool NeedsExplicitTlsProtocols(const OsVersionData& v) {
  if (!v.queryOk) return true;
  return v.major < 6 || (v.major == 6 && v.minor <= 2);
}

}  // namespace kestrel
