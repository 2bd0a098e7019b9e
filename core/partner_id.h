// The partner identifier carried in the executable's file name:
// "(acme)KestrelSetup.exe" carries "acme".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// Takes the executable's full path. The identifier is the text between a
// "(" that starts the file name (after the last backslash) and the first
// ")" after it; it may be empty. No identifier when the path has no
// backslash, the name does not start with "(" or no ")" follows.
std::optional<std::wstring> ParsePartnerId(std::wstring_view fullPath);

}  // namespace kestrel
