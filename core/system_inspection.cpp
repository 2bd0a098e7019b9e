#include "core/system_inspection.h"

#include <windows.h>

#include "core/os_description.h"
#include "core/run_values.h"
#include "core/text_convert.h"
#include "win/handle.h"
#include "win/registry.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

// The longest text the value may hold: what 1024 bytes held with its
// terminator when the value was read as 8-bit text. A longer value counts
// as missing rather than cut.
constexpr size_t kMaxValueChars = 1023;

// A text of CurrentVersion as UTF-8, the encoding the audit trace declares;
// empty when missing or longer. Read as UTF-16: the 8-bit form is in the
// system code page, whose "®" or non-Latin letters are not UTF-8.
std::string ReadCurrentVersionText(const wchar_t* name) {
  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  if (!key) return {};
  const std::optional<std::wstring> text = win::QueryText(key.get(), name, kMaxValueChars);
  if (!text) return {};
  return WideToUtf8(*text).value_or(std::string());
}

OsVersionData FromVersionInfo(const OSVERSIONINFOEXW& info) {
  OsVersionData data;
  data.major = info.dwMajorVersion;
  data.minor = info.dwMinorVersion;
  data.servicePackMajor = info.wServicePackMajor;
  data.productType = info.wProductType;
  return data;
}

}  // namespace

OsVersionData QueryOsVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
    OsVersionData failed;
    failed.queryOk = false;
    return failed;
  }
  return FromVersionInfo(info);
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
  return FromVersionInfo(info);
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
  win::Log(L"Windows " + std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) + L" SP" +
           std::to_wstring(version.servicePackMajor) + L", product type " + std::to_wstring(version.productType) +
           (result == kOsClassified ? L": supported" : L": not supported") +
           L"; flags Server2008=" + std::to_wstring(flags.isServer2008) + L" Win7=" + std::to_wstring(flags.isWin7) +
           L" Server2008R2=" + std::to_wstring(flags.isServer2008R2) + L" Server2012Plus=" +
           std::to_wstring(flags.isServer2012Plus) + L" Client8Plus=" + std::to_wstring(flags.isClient8Plus));
  return result;
}

std::string ReadOsDescription() {
  return ComposeOsDescription(ReadCurrentVersionText(L"ProductName"), ReadCurrentVersionText(L"BuildLabEx"));
}

}  // namespace kestrel
