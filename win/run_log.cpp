#include "win/run_log.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "win/handle.h"

namespace win {
namespace {

constexpr wchar_t kMask[] = L"*****";
// Names tried for the default log before giving up (a second each is far
// more than runs ever start at once).
constexpr int kMaxNameTries = 100;

struct LogState {
  std::mutex mutex;
  UniqueHandle file;
  std::wstring path;
  std::vector<std::wstring> secrets;  // longest first
};

LogState& State() {
  // Never destroyed: threads still running when the process ends may log.
  static LogState* state = new LogState;
  return *state;
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (size <= 0) return {};
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return std::wstring(text.begin(), text.end());
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::wstring MaskWith(std::wstring text, const std::vector<std::wstring>& secrets) {
  for (const std::wstring& secret : secrets) {
    for (size_t at = text.find(secret); at != std::wstring::npos; at = text.find(secret, at + 5))
      text.replace(at, secret.size(), kMask);
  }
  return text;
}

void WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  (void)::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Takes over a newly created file as the log; the byte-order mark first.
void Adopt(UniqueHandle file, const std::wstring& path) {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  WriteAll(file.get(), "\xEF\xBB\xBF");
  state.file = std::move(file);
  state.path = path;
}

UniqueHandle CreateLogFile(const std::wstring& path, DWORD disposition) {
  return UniqueHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

bool OpenRunLog(const std::wstring& path) {
  UniqueHandle file = CreateLogFile(path, CREATE_ALWAYS);
  if (!file) return false;
  Adopt(std::move(file), path);
  return true;
}

std::wstring OpenRunLogIn(const std::wstring& folder, const std::wstring& prefix) {
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  wchar_t stamp[32];
  std::swprintf(stamp, 32, L"_%04u%02u%02u_%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                now.wSecond);
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  base += prefix + stamp;
  for (int n = 1; n <= kMaxNameTries; ++n) {
    const std::wstring path = base + (n == 1 ? L"" : L"_" + std::to_wstring(n)) + L".log";
    UniqueHandle file = CreateLogFile(path, CREATE_NEW);
    if (file) {
      Adopt(std::move(file), path);
      return path;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

std::wstring RunLogPath() {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.path;
}

void Log(std::wstring_view text) {
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  wchar_t head[64];
  std::swprintf(head, 64, L"%04u-%02u-%02uT%02u:%02u:%02u.%03u [%lu] ", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds, static_cast<unsigned long>(::GetCurrentThreadId()));
  std::wstring line(text);
  for (size_t at = line.find_first_of(L"\r\n"); at != std::wstring::npos; at = line.find_first_of(L"\r\n", at)) {
    size_t end = line.find_first_not_of(L"\r\n", at);
    if (end == std::wstring::npos) end = line.size();
    line.replace(at, end - at, end == line.size() ? L"" : L" | ");
  }
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.file) return;
  WriteAll(state.file.get(), ToUtf8(head + MaskWith(std::move(line), state.secrets)) + "\r\n");
}

void LogUtf8(std::string_view text) { Log(FromUtf8(text)); }

void AddLogSecret(std::wstring_view secret) {
  if (secret.empty()) return;
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (std::find(state.secrets.begin(), state.secrets.end(), secret) != state.secrets.end()) return;
  state.secrets.emplace_back(secret);
  std::stable_sort(state.secrets.begin(), state.secrets.end(),
                   [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
}

std::wstring MaskSecrets(std::wstring text) {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return MaskWith(std::move(text), state.secrets);
}

std::wstring ErrorText(DWORD error) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
      reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text;
  if (length > 0 && message != nullptr) text.assign(message, length);
  if (message != nullptr) ::LocalFree(message);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  std::wstring result = L"error " + std::to_wstring(error);
  if (!text.empty()) result += L" (" + text + L")";
  return result;
}

}  // namespace win
