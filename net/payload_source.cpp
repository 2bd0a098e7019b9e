#include "net/payload_source.h"

#include <windows.h>

#include <mutex>

#include "core/ascii_text.h"
#include "core/text_convert.h"
#include "net/download_text.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

std::mutex g_mutex;
PayloadSources g_sources;

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

void ConfigurePayloadSources(PayloadSources sources) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_sources = std::move(sources);
}

std::wstring LocalPayloadFor(const std::string& url,
                             const std::function<bool(const std::wstring& path)>& matchesPin) {
  PayloadSources sources;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    sources = g_sources;
  }
  const std::wstring name = Utf8ToWide(PayloadFileName(url)).value_or(std::wstring());
  if (name.empty()) return {};
  struct Candidate {
    const std::wstring& folder;
    bool named;
  } const candidates[] = {{sources.named, true}, {sources.beside, false}};
  for (const Candidate& c : candidates) {
    if (c.folder.empty()) continue;
    const std::wstring path = c.folder + L"\\" + name;
    if (!IsFile(path)) continue;
    if (!matchesPin) {
      if (c.named) {
        win::Log(L"payload " + name + L": taken from " + path + L" (unverified: no pin)");
        return path;
      }
      win::Log(L"payload " + name + L": " + path + L" is not used (no pin, and the folder was not named with /source)");
      continue;
    }
    if (matchesPin(path)) {
      win::Log(L"payload " + name + L": taken from " + path + L" (its hash matches the pin)");
      return path;
    }
    win::Log(L"payload " + name + L": " + path + L" is not used (its hash does not match the pin)");
  }
  return {};
}

}  // namespace kestrel
