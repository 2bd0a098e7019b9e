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

std::vector<std::wstring> LocalPayloadCandidates(const std::string& url, bool pinned) {
  PayloadSources sources;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    sources = g_sources;
  }
  const std::wstring name = Utf8ToWide(PayloadFileName(url)).value_or(std::wstring());
  std::vector<std::wstring> candidates;
  if (name.empty()) return candidates;
  if (!sources.named.empty() && IsFile(sources.named + L"\\" + name))
    candidates.push_back(sources.named + L"\\" + name);
  if (!sources.beside.empty() && IsFile(sources.beside + L"\\" + name)) {
    const std::wstring path = sources.beside + L"\\" + name;
    if (pinned)
      candidates.push_back(path);
    else if (candidates.empty() || candidates.front() != path)
      win::Log(L"payload " + name + L": " + path + L" is not used (no pin, and the folder was not named with /source)");
  }
  return candidates;
}

}  // namespace kestrel
