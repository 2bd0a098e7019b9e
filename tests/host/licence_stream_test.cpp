// The licence stream reader as the rich text box drives it: repeated reads
// of a requested size until one delivers nothing.
#include "ui/licence_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kestrel::LicenceStreamReader;

// Reads everything in chunks of `requested` bytes; returns the chunk sizes.
std::vector<size_t> Drain(LicenceStreamReader& reader, size_t requested, std::string* out) {
  std::vector<size_t> sizes;
  std::vector<unsigned char> buffer(requested + 1, 0xEE);
  for (int guard = 0; guard < 1000; ++guard) {
    const size_t n = reader.Read(buffer.data(), requested);
    sizes.push_back(n);
    EXPECT_EQ(buffer[requested], 0xEE) << "wrote past the requested count";
    out->append(reinterpret_cast<const char*>(buffer.data()), n);
    if (n == 0) break;
  }
  return sizes;
}

TEST(LicenceStreamReader, DeliversInChunksOfTheRequestedCountThenNothing) {
  struct Case {
    size_t requested;
    std::vector<size_t> sizes;
  };
  const std::u16string rtf = u"{\\rtf1 I agree.}";  // 16 characters
  for (const Case& c : {Case{4096, {16, 0}}, Case{5, {5, 5, 5, 1, 0}}, Case{16, {16, 0}}, Case{1, {}}}) {
    LicenceStreamReader reader(rtf);
    std::string out;
    const auto sizes = Drain(reader, c.requested, &out);
    EXPECT_EQ(out, "{\\rtf1 I agree.}") << c.requested;
    if (!c.sizes.empty()) {
      EXPECT_EQ(sizes, c.sizes) << c.requested;
    } else {
      EXPECT_EQ(sizes.size(), rtf.size() + 1);
    }
    // Exhausted stays exhausted.
    unsigned char byte = 0;
    EXPECT_EQ(reader.Read(&byte, 1), 0u);
  }
}

TEST(LicenceStreamReader, KeepsTheLow8BitsOfEachCodeUnit) {
  const std::u16string text = {u'A', u'\u00E9', u'\u20AC', u'\uFF41', u'\u0100'};
  LicenceStreamReader reader(text);
  unsigned char buffer[8] = {};
  ASSERT_EQ(reader.Read(buffer, sizeof buffer), 5u);
  EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 5), (std::vector<unsigned char>{0x41, 0xE9, 0xAC, 0x41, 0x00}));
}

TEST(LicenceStreamReader, EndsAtTheFirstZeroAndHandlesEmptySources) {
  const std::u16string withZero(u"ab\0cd", 5);
  LicenceStreamReader reader(withZero);
  EXPECT_EQ(reader.remaining(), 2u);
  std::string out;
  Drain(reader, 10, &out);
  EXPECT_EQ(out, "ab");

  LicenceStreamReader empty{std::u16string_view()};
  unsigned char byte = 0x55;
  EXPECT_EQ(empty.Read(&byte, 1), 0u);
  EXPECT_EQ(byte, 0x55);
  // A zero request delivers nothing and consumes nothing.
  LicenceStreamReader some(u"xyz");
  EXPECT_EQ(some.Read(&byte, 0), 0u);
  EXPECT_EQ(some.remaining(), 3u);
}

}  // namespace
