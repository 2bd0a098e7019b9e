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

}  // namespace
