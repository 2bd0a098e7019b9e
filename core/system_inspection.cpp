#include "core/system_inspection.h"

#include <windows.h>

#include "core/os_description.h"
#include "core/run_values.h"
#include "win/handle.h"
#include "win/registry.h"

namespace kestrel {
namespace {

// An 8-bit registry text of at most 1024 bytes; empty when missing or
// longer.
std::string ReadCurrentVersionText(const char* name) {
  win::UniqueHkey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_READ | win::kView32, key.put()) != ERROR_SUCCESS)
    return {};
  char buffer[2048] = {};
  DWORD size = 1024;
  if (::RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return {};
  return std::string(buffer);
}

}  // namespace

OsVersionData QueryOsVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  OsVersionData data;
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
    data.queryOk = false;
    return data;
  }
  data.major = info.dwMajorVersion;
  data.minor = info.dwMinorVersion;
  data.servicePackMajor = info.wServicePackMajor;
  data.productType = info.wProductType;
  return data;
}

OsVersionData QueryRealOsVersion() {
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  // Every Windows this installer runs on has it; the reported version is
  // the answer where it would not.
  FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  if (proc == nullptr) return QueryOsVersion();
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void (*)()>(proc));
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (rtlGetVersion(&info) != 0) return QueryOsVersion();
  OsVersionData data;
  data.major = info.dwMajorVersion;
  data.minor = info.dwMinorVersion;
  data.servicePackMajor = info.wServicePackMajor;
  data.productType = info.wProductType;
  return data;
}

int32_t CheckOsVersion(const std::function<OsVersionData()>& source) {
  const OsVersionData version = source ? source() : QueryOsVersion();
  OsFlags flags{g_isServer2008, g_isWin7, g_isServer2008R2, g_isServer2012Plus, g_isClient8Plus};
  int32_t result = ClassifyOsVersion(version, flags);
  g_isServer2008 = flags.isServer2008;
  g_isWin7 = flags.isWin7;
  g_isServer2008R2 = flags.isServer2008R2;
  g_isServer2012Plus = flags.isServer2012Plus;
  g_isClient8Plus = flags.isClient8Plus;
  return result;
}

std::string ReadOsDescription() {
  return ComposeOsDescription(ReadCurrentVersionText("ProductName"), ReadCurrentVersionText("BuildLabEx"));
}

}  // namespace kestrel
