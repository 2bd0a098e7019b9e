#include "core/text_convert.h"

#include <windows.h>

#include <climits>

namespace kestrel {

std::optional<std::wstring> Utf8ToWide(std::string_view text) {
  if (text.empty()) return std::wstring();
  if (text.size() > INT_MAX) return std::nullopt;
  const int inLength = static_cast<int>(text.size());
  int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), inLength, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring result(static_cast<size_t>(n), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, 0, text.data(), inLength, result.data(), n) != n) return std::nullopt;
  return result;
}

std::optional<std::string> WideToUtf8(std::wstring_view text) {
  if (text.empty()) return std::string();
  if (text.size() > INT_MAX) return std::nullopt;
  const int inLength = static_cast<int>(text.size());
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), inLength, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string result(static_cast<size_t>(n), '\0');
  if (::WideCharToMultiByte(CP_UTF8, 0, text.data(), inLength, result.data(), n, nullptr, nullptr) != n)
    return std::nullopt;
  return result;
}

}  // namespace kestrel
