#include "core/partner_id.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const wchar_t* path;
  const wchar_t* expected;  // nullptr: no identifier
};

TEST(PartnerId, FileNameTable) {
  const Case cases[] = {
      {L"C:\\Downloads\\(p1)KestrelSetup.exe", L"p1"},
      {L"C:\\Downloads\\(acme)KestrelSetup.exe", L"acme"},
      {L"C:\\Downloads\\()KestrelSetup.exe", L""},  // empty, yet an identifier
      {L"C:\\Downloads\\KestrelSetup(p1).exe", nullptr},
      {L"C:\\Downloads\\(p1KestrelSetup.exe", nullptr},
      {L"C:\\Downloads\\KestrelSetup.exe", nullptr},
      {L"(p1)KestrelSetup.exe", nullptr},  // no backslash at all
      {L"C:\\(x)\\KestrelSetup.exe", nullptr},  // only the file name counts
      {L"C:\\Downloads\\(a(b)c)Kestrel.exe", L"a(b"},  // first ")" ends it
      {L"C:\\Downloads\\(A&B) copy.exe", L"A&B"},
      {L"C:\\Downloads\\", nullptr},  // nothing after the backslash
  };
  for (const Case& c : cases) {
    auto id = kestrel::ParsePartnerId(c.path);
    if (c.expected == nullptr) {
      EXPECT_FALSE(id.has_value()) << "path " << testing::PrintToString(std::wstring(c.path));
    } else {
      ASSERT_TRUE(id.has_value()) << "path " << testing::PrintToString(std::wstring(c.path));
      EXPECT_EQ(*id, c.expected);
    }
  }
}

TEST(PartnerId, LongPathsAreNotCut) {
  std::wstring folder = L"C:\\" + std::wstring(400, L'd');
  std::wstring id(300, L'p');
  auto parsed = kestrel::ParsePartnerId(folder + L"\\(" + id + L")KestrelSetup.exe");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, id);
}

}  // namespace
