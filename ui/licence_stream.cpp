#include "ui/licence_stream.h"

#include <algorithm>

namespace kestrel {

LicenceStreamReader::LicenceStreamReader(std::u16string_view source) : source_(source) {
  const size_t end = source_.find(u'\0');
  if (end != std::u16string_view::npos) source_ = source_.substr(0, end);
}

size_t LicenceStreamReader::Read(unsigned char* buffer, size_t requested) {
  const size_t n = std::min(source_.size(), requested);
  for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(source_[i] & 0xFF);
  source_.remove_prefix(n);
  return n;
}

}  // namespace kestrel
