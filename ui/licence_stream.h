// Feeds the licence text to the rich text box's stream-in callback: RTF is
// 7-bit text, so each UTF-16 code unit goes out as its low 8 bits.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

class LicenceStreamReader {
 public:
  // The source ends at its first zero code unit, if it has one.
  explicit LicenceStreamReader(std::u16string_view source);

  // Copies the next min(remaining, requested) characters into buffer, one
  // byte each, and returns how many; 0 once the source is exhausted.
  size_t Read(unsigned char* buffer, size_t requested);

  size_t remaining() const { return source_.size(); }

 private:
  std::u16string_view source_;
};

}  // namespace kestrel
