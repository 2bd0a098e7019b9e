#include "engine/web_config.h"

#include <windows.h>

#include <string>

#include "core/text_convert.h"
#include "engine/product_contract.h"
#include "engine/web_config_proxy.h"
#include "net/proxy_settings.h"
#include "win/file.h"
#include "win/handle.h"
#include "win/module.h"

namespace kestrel {
namespace {

constexpr wchar_t kWebConfigFailed[] =
    L"Failed to apply proxy settings. Please edit web.config located at the root directory manually to apply.";

// Limit for reading web.config; a real one is a few kilobytes.
constexpr uint64_t kMaxWebConfigBytes = 64ULL << 20;

// Writes the new content beside the file and then puts it in its place,
// so a failure at any point leaves the old file whole.
bool ReplaceFileContent(const std::wstring& path, const std::string& bytes) {
  const std::wstring temp = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".new";
  const std::wstring longTemp = win::LongPath(temp);
  const std::wstring longPath = win::LongPath(path);
  {
    win::UniqueHandle file(::CreateFileW(longTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
      DWORD n = 0;
      ok = ::WriteFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr) &&
           n > 0;
      done += n;
    }
    if (!ok || !::FlushFileBuffers(file.get())) {
      file.reset();
      ::DeleteFileW(longTemp.c_str());
      return false;
    }
  }
  const DWORD attributes = ::GetFileAttributesW(longPath.c_str());
  ::SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(longTemp.c_str(), longPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(longPath.c_str(), attributes);
    ::DeleteFileW(longTemp.c_str());
    return false;
  }
  return true;
}

}  // namespace

int ApplyProxyToWebConfig(TaskContext& context) {
  const ProxySettings settings = ProxySnapshot();
  // Only a typed proxy is written; the system's setting and "Disable
  // Proxy" leave the file alone.
  if (settings.mode != ProxyMode::kCustom) return 1;
  const std::wstring path = context.InstallDir() + L"\\" + product::kWebConfig;

  std::string content;
  auto server = WideToUtf8(settings.server);
  auto bypass = WideToUtf8(settings.bypassList);
  if (server && bypass && win::ReadWholeFile(path, content, kMaxWebConfigBytes)) {
    auto updated = AddProxyToWebConfig(content, *server, *bypass);
    if (updated && ReplaceFileContent(path, *updated)) return 1;
  }
  context.Ask(kWebConfigFailed, MB_OK);
  return 0;
}

}  // namespace kestrel
