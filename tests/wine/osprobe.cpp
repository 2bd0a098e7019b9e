// Prints how this Windows is classified, for the tests that run it under
// several Windows versions.
#include <windows.h>

#include <cstdio>

#include "core/run_values.h"
#include "core/system_inspection.h"

int wmain() {
  const int32_t result = kestrel::CheckOsVersion();
  const int32_t again = kestrel::CheckOsVersion();
  std::printf("result=%d again=%d flags=%d%d%d%d%d\n", result, again, g_isServer2008, g_isWin7, g_isServer2008R2,
              g_isServer2012Plus, g_isClient8Plus);
  std::printf("description=%s\n", kestrel::ReadOsDescription().c_str());
  return 0;
}
