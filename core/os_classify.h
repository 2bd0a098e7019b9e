// Classification of the Windows version into the installer's OS classes.
#pragma once

#include <cstdint>

namespace kestrel {

// What the version query reported. productType 1 is a workstation
// (VER_NT_WORKSTATION); domain controllers (2) and servers (3) are not.
struct OsVersionData {
  bool queryOk = true;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t servicePackMajor = 0;
  uint8_t productType = 1;
};

struct OsFlags {
  int isServer2008 = 0;
  int isWin7 = 0;
  int isServer2008R2 = 0;
  int isServer2012Plus = 0;
  int isClient8Plus = 0;
};

enum OsCheckResult : int32_t {
  kOsClassified = 0,
  kOsQueryFailed = 1001,
  kOsTooOld = 1002,
  kOsVistaBeforeSp2 = 1003,
};

// Sets at most one flag to 1 (never clears one) and returns the result code.
int32_t ClassifyOsVersion(const OsVersionData& version, OsFlags& flags);

}  // namespace kestrel
