// Whole-text conversions between UTF-8 and UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// nullopt when the system conversion fails.
std::optional<std::wstring> Utf8ToWide(std::string_view text);
std::optional<std::string> WideToUtf8(std::wstring_view text);

}  // namespace kestrel
