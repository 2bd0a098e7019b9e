#include "core/os_description.h"

#include <gtest/gtest.h>

namespace {

TEST(OsDescription, Composition) {
  EXPECT_EQ(kestrel::ComposeOsDescription("Windows Server 2008 R2 Standard", "7601.24546.amd64fre.win7sp1_ldr.200106-1742"),
            "Windows Server 2008 R2 Standard (7601.24546.amd64fre.win7sp1_ldr.200106-1742)");
  EXPECT_EQ(kestrel::ComposeOsDescription("", ""), " ()");
  EXPECT_EQ(kestrel::ComposeOsDescription("Windows 7", ""), "Windows 7 ()");
  EXPECT_EQ(kestrel::ComposeOsDescription("", "7601"), " (7601)");
}

TEST(OsDescription, CutTo2047Bytes) {
  std::string product(1024, 'p');
  std::string build(1024, 'b');
  std::string text = kestrel::ComposeOsDescription(product, build);
  ASSERT_EQ(text.size(), 2047u);
  EXPECT_EQ(text.substr(0, 1026), product + " (");
  EXPECT_EQ(text.back(), 'b');  // the closing parenthesis is what gets cut
}

// The trace declares UTF-8: the cut drops a character that would be split
// and keeps every whole one.
TEST(OsDescription, CutFallsBetweenCharacters) {
  struct Case {
    const char* what;
    std::string product, build;
    size_t size;  // of the result
  } const cases[] = {
      {"two-byte character split", std::string(2046, 'p') + "\xC2\xAE", "", 2046},
      {"two-byte character ending at the limit", std::string(2045, 'p') + "\xC2\xAE", "", 2047},
      {"three-byte character split after its first byte", std::string(2046, 'p') + "\xE6\x96\x87", "", 2046},
      {"three-byte character split after its second byte", std::string(2045, 'p') + "\xE6\x96\x87", "", 2045},
      {"four-byte character split", std::string(2044, 'p') + "\xF0\x9F\x98\x80", "", 2044},
      {"in the build label", std::string(1023, 'p'), std::string(1021, 'b') + "\xD0\x96", 2046},
  };
  for (const Case& c : cases) {
    const std::string text = kestrel::ComposeOsDescription(c.product, c.build);
    EXPECT_EQ(text.size(), c.size) << c.what;
    EXPECT_EQ(text, (c.product + " (" + c.build + ")").substr(0, c.size)) << c.what;
  }
  // Below the limit nothing is cut, whatever the characters.
  EXPECT_EQ(kestrel::ComposeOsDescription("Windows Server\xC2\xAE 2008 Standard", "6002"),
            "Windows Server\xC2\xAE 2008 Standard (6002)");
}

}  // namespace
