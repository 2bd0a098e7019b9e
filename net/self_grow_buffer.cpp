#include "net/self_grow_buffer.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

namespace {
constexpr uint32_t kInitialCapacity = 512;
}

SelfGrowBuffer::SelfGrowBuffer() : data_(new char[kInitialCapacity]()), capacity_(kInitialCapacity) {}

SelfGrowBuffer::~SelfGrowBuffer() {
  data_.reset();
  capacity_ = 0;
  length_ = 0;
}

bool SelfGrowBuffer::Append(const void* bytes, size_t count) {
  const uint64_t needed = uint64_t{length_} + count + 2;
  if (needed > UINT32_MAX) return false;
  if (capacity_ < needed) {
    const uint64_t grown = std::max<uint64_t>(uint64_t{capacity_} * 2, needed);
    const uint32_t newCapacity = static_cast<uint32_t>(std::min<uint64_t>(grown, UINT32_MAX));
    std::unique_ptr<char[]> block(new char[newCapacity]());
    if (length_ > 0) std::memcpy(block.get(), data_.get(), length_);
    data_ = std::move(block);
    capacity_ = newCapacity;
  }
  if (count > 0) std::memcpy(data_.get() + length_, bytes, count);
  length_ += static_cast<uint32_t>(count);
  return true;
}

}  // namespace kestrel
