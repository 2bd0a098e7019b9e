#include "net/audit_body.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/self_grow_buffer.h"

namespace {

const std::string kRoot =
    "<PartnetAuditTrace  xmlns=\"http://schemas.vantoris.example/enterprise/2013/partneraudit\">";

TEST(AuditTraceBody, SixPiecesByteForByte) {
  EXPECT_EQ(kestrel::AuditTraceBody("5E0C7A1B-93D4-4F62-A8B1-3C2D7E9F4A60", "commit page"),
            "<?xml version='1.0' encoding='utf-8' ?>" + kRoot +
                "<PartnerId>5E0C7A1B-93D4-4F62-A8B1-3C2D7E9F4A60</PartnerId>"
                "<Action>InstallGUI</Action><Trace>commit page</Trace></PartnetAuditTrace>");
  EXPECT_EQ(kestrel::AuditTraceBody("p1", ""),
            "<?xml version='1.0' encoding='utf-8' ?>" + kRoot +
                "<PartnerId>p1</PartnerId><Action>InstallGUI</Action><Trace></Trace></PartnetAuditTrace>");
}

TEST(AuditTraceBody, MarkupCharactersAreEscapedOthersKept) {
  const std::string body = kestrel::AuditTraceBody("A&B", "a<b>c \"q\" 'x' caf\xC3\xA9");
  EXPECT_NE(body.find("<PartnerId>A&amp;B</PartnerId>"), std::string::npos) << body;
  EXPECT_NE(body.find("<Trace>a&lt;b&gt;c \"q\" 'x' caf\xC3\xA9</Trace>"), std::string::npos) << body;
}

TEST(SelfGrowBuffer, GrowsToTwiceOrToWhatIsNeeded) {
  const std::vector<char> bytes(2000, 'x');
  const struct {
    size_t append;
    uint32_t capacity;
  } cases[] = {{0, 512}, {510, 512}, {511, 1024}, {600, 1024}, {2000, 2002}};
  for (const auto& c : cases) {
    kestrel::SelfGrowBuffer buffer;
    ASSERT_TRUE(buffer.Append(bytes.data(), c.append));
    EXPECT_EQ(buffer.capacity(), c.capacity) << c.append;
    EXPECT_EQ(buffer.length(), c.append);
    // Always followed by two zero bytes, so readable as a terminated text.
    EXPECT_EQ(buffer.data()[c.append], '\0');
    EXPECT_EQ(buffer.data()[c.append + 1], '\0');
  }
}

TEST(SelfGrowBuffer, KeepsContentAcrossGrowth) {
  kestrel::SelfGrowBuffer buffer;
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    std::string piece(37, static_cast<char>('a' + i % 26));
    ASSERT_TRUE(buffer.Append(piece.data(), piece.size()));
    expected += piece;
  }
  EXPECT_EQ(std::string(buffer.data(), buffer.length()), expected);
  EXPECT_EQ(std::string(buffer.data()), expected);
  EXPECT_GE(buffer.capacity(), buffer.length() + 2);
}

}  // namespace
