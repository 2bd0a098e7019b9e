// ASCII case folding, the only folding the installer's comparisons use
// (task keys, feature names, link schemes, markup directives, the package's
// entry names): letters outside A-Z compare as they are, whatever the
// system's locale.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

template <typename Char>
constexpr Char AsciiLower(Char c) {
  return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

namespace ascii_detail {

template <typename Char>
bool EqualsNoCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace ascii_detail

inline bool EqualsNoCase(std::string_view a, std::string_view b) { return ascii_detail::EqualsNoCase(a, b); }
inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) { return ascii_detail::EqualsNoCase(a, b); }

// True when text starts with prefix, ASCII letters compared without case.
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}
inline bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// An ASCII text as UTF-16, unit by unit.
inline std::wstring WidenAscii(std::string_view text) { return std::wstring(text.begin(), text.end()); }

}  // namespace kestrel
