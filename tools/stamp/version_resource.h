// The file properties of a stamped executable: the VS_VERSIONINFO block of
// its RT_VERSION resource, written from the product's built-in strings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stamp {

struct VersionFields {
  std::wstring version;      // 139, e.g. "6.10.4129"
  std::wstring productName;  // 138
  std::wstring company;      // 140
};

// "6.10.4129" -> {6, 10, 4129, 0}: one to four decimal numbers of at most
// 65535, each at least one digit; nullopt for anything else.
std::optional<std::array<uint16_t, 4>> ParseVersionNumbers(const std::wstring& text);

// The whole resource: the fixed part with the parsed numbers as file and
// product version, and one string table for US English, code page 1200.
// The version must parse (ParseVersionNumbers).
std::vector<uint8_t> BuildVersionResource(const VersionFields& fields);

}  // namespace stamp
