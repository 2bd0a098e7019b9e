#include "engine/dot_net.h"

#include <windows.h>

#include "core/builtin_strings.h"
#include "engine/child_process.h"
#include "engine/product_package.h"
#include "net/download.h"
#include "win/handle.h"
#include "win/registry.h"

namespace kestrel {
namespace {

constexpr wchar_t kFrameworkKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP";
// The version is read into 260 bytes, terminator included.
constexpr DWORD kVersionBytes = 260;

// A text value that fits the version buffer; nothing for other types.
std::optional<std::wstring> ReadVersion(HKEY full) {
  DWORD type = 0;
  auto bytes = win::QueryBytes(full, L"Version", kVersionBytes, &type);
  if (!bytes || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  return std::wstring(bytes->c_str());
}

}  // namespace

std::optional<std::wstring> FindDotNet4() {
  win::UniqueHkey frameworks = win::OpenKey(HKEY_LOCAL_MACHINE, kFrameworkKey, KEY_READ);
  if (!frameworks) return std::nullopt;
  DWORD count = 0;
  if (::RegQueryInfoKeyW(frameworks.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return std::nullopt;

  std::optional<std::wstring> found;
  for (DWORD i = 0; i < count; ++i) {
    wchar_t name[256];  // a key name has at most 255 characters
    DWORD length = 256;
    if (::RegEnumKeyExW(frameworks.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      continue;
    // Only the full profile counts: a "Client" key alone is not enough for
    // the web applications.
    win::UniqueHkey full = win::OpenKey(frameworks.get(), std::wstring(name, length) + L"\\Full", KEY_READ);
    if (!full) continue;
    auto version = ReadVersion(full.get());
    if (version && !version->empty() && (*version)[0] == L'4') found = std::move(version);
  }
  return found;
}

int InstallDotNet(TaskContext& ctx) {
  if (FindDotNet4()) return 1;

  const std::wstring installer = DownloadFolder() + L"\\netfull.exe";
  const auto link = LoadBuiltInStringUtf8(kStrDotNetLink);
  if (!link) {
    ReportAndTrace(ctx, L"Download link for the .Net 4.0 is missing");
    return 0;
  }
  if (!DownloadToFile(ctx, installer, *link, LoadLinkPin(kStrDotNetLink))) {
    ReportAndTrace(ctx, L"Failed to download .Net 4 package");
    return 0;
  }
  // Still running after its budget: left to itself, the task fails.
  if (!RunAndWait(ctx, installer, L"netfull.exe /q", ctx.Settings().setupBudget)) return 0;
  // The installer's exit code is no answer (it may ask for a restart, or
  // fail after all); the registration is.
  if (FindDotNet4()) return 1;
  ReportAndTrace(ctx, L"Failed to install .Net 4 package");
  return 0;
}

}  // namespace kestrel
