// Whole-file reads.
#pragma once

#include <cstdint>
#include <string>

namespace win {

// Reads the whole file (long paths prefixed) into bytes, others may read
// and write it meanwhile. False when it cannot be opened or read, or when
// it holds more than maxBytes; bytes is emptied first.
bool ReadWholeFile(const std::wstring& path, std::string& bytes, uint64_t maxBytes = UINT64_MAX);

}  // namespace win
