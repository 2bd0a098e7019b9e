// A growable byte block that always keeps two zero bytes after its content,
// so what it holds can also be read as a terminated 8-bit text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrel {

class SelfGrowBuffer {
 public:
  SelfGrowBuffer();
  virtual ~SelfGrowBuffer();
  SelfGrowBuffer(const SelfGrowBuffer&) = delete;
  SelfGrowBuffer& operator=(const SelfGrowBuffer&) = delete;

  // Adds count bytes; false (nothing changed) when the total would not fit
  // 32 bits.
  bool Append(const void* bytes, size_t count);

  const char* data() const { return data_.get(); }
  uint32_t capacity() const { return capacity_; }
  uint32_t length() const { return length_; }

 private:
  std::unique_ptr<char[]> data_;
  uint32_t capacity_ = 0;
  uint32_t length_ = 0;
};

}  // namespace kestrel
