#include "core/builtin_strings.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "win/handle.h"

namespace {

using namespace kestrel;

// A copy of the real executable, stamped as a test wishes and loaded as
// data so its resources can be read in this process.
class StampedCopy {
 public:
  explicit StampedCopy(const std::wstring& options) {
    folder_ = kt::ScratchFolder(L"branding");
    path_ = kt::CopyInstaller(folder_);
    stamped_ = !path_.empty() && (options.empty() || kt::Stamp(path_, options));
    if (stamped_)
      module_.reset(::LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  }
  ~StampedCopy() {
    module_.reset();
    kt::RemoveTree(folder_);
  }
  bool ok() const { return stamped_ && module_; }
  HMODULE module() const { return module_.get(); }
  const std::wstring& folder() const { return folder_; }

 private:
  std::wstring folder_, path_;
  bool stamped_ = false;
  win::UniqueModule module_;
};

TEST(BuiltInStrings, ThisBuildsTextsAndOverrides) {
  StampedCopy copy(L"");
  ASSERT_TRUE(copy.ok());
  HMODULE m = copy.module();
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrVersion), L"6.10.4129") << "BRANDING 139 wins over 2.0.1";
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrDisplayName), L"Marrowfield");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrWizardTitle), L"Marrowfield Installation");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrProductFolder), L"Vantoris Cloud Enterprise");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrId), L"ID");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrLicence), L"") << "144 has no string table entry";
  EXPECT_EQ(LoadBuiltInStringFrom(m, 147), L"");

  struct Link {
    UINT number;
    const wchar_t* scheme;
    const wchar_t* ending;
  } const links[] = {
      {kStrPackageLink, L"https://", L"/QRE/zip/build4129.zip"},
      {kStrDotNetLink, L"http://", L"/thirdparty/NDP451-KB2858728-x86-x64-AllOS-ENU.exe"},
      {kStrSql64Link, L"http://", L"/thirdparty/sql64.zip"},
      {kStrSql86Link, L"http://", L"/thirdparty/sql86.zip"},
      {kStrSql2012Link, L"http://", L"/thirdparty/sql2012.zip"},
      {kStrUpgradeLink, L"https://", L"/QRE/upgrade4129.zip"},
      {kStrSql2012x86Link, L"http://", L"/thirdparty/sql2012_32.zip"},
      {kStrAuditEndpoint, L"https://", L"/namespace/n.svc/partneraudittrace"},
  };
  for (const Link& l : links) {
    std::wstring text = LoadBuiltInStringFrom(m, l.number);
    EXPECT_EQ(text.rfind(l.scheme, 0), 0u) << l.number;
    ASSERT_GE(text.size(), wcslen(l.ending)) << l.number;
    EXPECT_EQ(text.substr(text.size() - wcslen(l.ending)), l.ending) << l.number;
  }

  std::wstring licence = LoadLicenceTextFrom(m);
  EXPECT_EQ(licence.rfind(L"{\\rtf1", 0), 0u);
  EXPECT_EQ(licence.find(L'\0'), std::wstring::npos) << "the terminating zero byte is not part of the text";
  EXPECT_EQ(licence.substr(licence.find_last_not_of(L"\r\n")), L"}\n");
}

TEST(BuiltInStrings, BrandingPrecedenceAndUnterminatedEntry) {
  StampedCopy copy(
      L"--string 138=\"Acme Files\" --string 139=7.0 --string-unterminated 133=Partner --string 146=https://audit.test:8443/x");
  ASSERT_TRUE(copy.ok());
  HMODULE m = copy.module();
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrDisplayName), L"Acme Files");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrVersion), L"7.0") << "a partner replaces the build's own override";
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrPackageLabel), L"Partner") << "the missing terminator is supplied";
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrAuditEndpoint), L"https://audit.test:8443/x");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrPublisher), L"Vantoris, Inc.") << "untouched numbers keep their text";
}

TEST(BuiltInStrings, Utf8Links) {
  const std::wstring fits = L"http://h/" + std::wstring(770, L'a');   // 779 bytes
  const std::wstring tooLong = L"http://h/" + std::wstring(771, L'a');  // 780 bytes
  StampedCopy copy(L"--string 130=" + fits + L" --string 134=" + tooLong + L" --string 135=http://h/\x00e9");
  ASSERT_TRUE(copy.ok());
  HMODULE m = copy.module();
  auto link = LoadBuiltInStringUtf8From(m, kStrDotNetLink);
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->size(), 779u);
  EXPECT_FALSE(LoadBuiltInStringUtf8From(m, kStrSql64Link).has_value()) << "never cut into another link";
  EXPECT_EQ(LoadBuiltInStringUtf8From(m, kStrSql86Link).value_or(""), "http://h/\xc3\xa9");
  EXPECT_FALSE(LoadBuiltInStringUtf8From(m, 147).has_value());
}

TEST(BuiltInStrings, OversizedBrandingEntryFallsBackToTheStringTable) {
  StampedCopy copy(L"--string 138=" + std::wstring(4096, L'x'));  // 8194 bytes with terminator
  ASSERT_TRUE(copy.ok());
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrDisplayName), L"Marrowfield");
}

TEST(BuiltInStrings, LicenceSources) {
  std::wstring folder = kt::ScratchFolder(L"licence-src");
  ASSERT_TRUE(kt::WriteFileBytes(folder + L"\\eula.rtf", "{\\rtf1 Caf\xc3\xa9 terms}"));
  ASSERT_TRUE(kt::WriteFileBytes(folder + L"\\partner.rtf", "{\\rtf1 Partner terms}"));
  {
    StampedCopy copy(L"--eula " + folder + L"\\eula.rtf");
    ASSERT_TRUE(copy.ok());
    EXPECT_EQ(LoadLicenceTextFrom(copy.module()), L"{\\rtf1 Caf\x00e9 terms}") << "EULA is UTF-8";
  }
  {
    StampedCopy copy(L"--licence " + folder + L"\\partner.rtf");
    ASSERT_TRUE(copy.ok());
    EXPECT_EQ(LoadLicenceTextFrom(copy.module()), L"{\\rtf1 Partner terms}") << "BRANDING 144 wins";
  }
  kt::RemoveTree(folder);
}

}  // namespace
