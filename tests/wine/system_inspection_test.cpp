#include "core/run_settings.h"
#include "core/system_inspection.h"

#include <gtest/gtest.h>

#include "core/run_values.h"
#include "support/test_support.h"
#include "win/handle.h"

namespace {

// The Windows versions Wine can pretend to be, and what it then reports
// (this Wine swaps the product types of "win7" and "win2008r2").
TEST(SystemInspection, ClassifiesTheWindowsThatWineReports) {
  struct Case {
    const wchar_t* wineVersion;
    const char* result;
    const char* flags;  // Server2008, Win7, Server2008R2, Server2012Plus, Client8Plus
  } const cases[] = {
      {L"win2008", "result=0 again=0", "flags=10000"},
      {L"win7", "result=0 again=0", "flags=00100"},       // 6.1 server
      {L"win2008r2", "result=0 again=0", "flags=01000"},  // 6.1 workstation
      {L"win10", "result=0 again=0", "flags=00001"},
      {L"win81", "result=0 again=0", "flags=00001"},
      {L"vista", "result=0 again=0", "flags=00000"},
      {L"winxp", "result=1002 again=1002", "flags=00000"},
      {L"win2003", "result=1002 again=1002", "flags=00000"},
  };
  const std::wstring probe = kt::kBinDir + L"\\osprobe.exe";
  for (const Case& c : cases) {
    kt::SetWineVersionFor(L"osprobe.exe", c.wineVersion);
    std::string output;
    ASSERT_EQ(kt::RunProgram(probe, L"", &output), 0);
    EXPECT_NE(output.find(std::string(c.result) + " " + c.flags), std::string::npos)
        << testing::PrintToString(std::wstring(c.wineVersion)) << "\n" << output;
  }
  kt::ClearWineVersionFor(L"osprobe.exe");
}

TEST(SystemInspection, DescriptionIsProductNameAndBuildLabel) {
  const std::wstring longest(1023, L'\x0416');  // one character each, two bytes in UTF-8
  std::string longestUtf8;
  for (size_t i = 0; i < longest.size(); ++i) longestUtf8 += "\xD0\x96";
  const std::wstring tooLong(1024, L'n');
  struct Case {
    const wchar_t* productName;
    const wchar_t* buildLabel;
    std::string expected;  // UTF-8
  } const cases[] = {
      {L"Windows Server 2008 R2 Standard", L"7601.24546.amd64fre.win7sp1_ldr.200106-1742",
       "Windows Server 2008 R2 Standard (7601.24546.amd64fre.win7sp1_ldr.200106-1742)"},
      {nullptr, nullptr, " ()"},
      {L"Windows 7 Professional", nullptr, "Windows 7 Professional ()"},
      {tooLong.c_str(), L"7601", " (7601)"},
      // Not the system code page's bytes: the same text in UTF-8.
      {L"Windows Server\x00AE 2008 Standard", L"6002.18005.amd64fre.lh_sp2rtm.090410-1830",
       "Windows Server\xC2\xAE 2008 Standard (6002.18005.amd64fre.lh_sp2rtm.090410-1830)"},
      {L"Windows 7 \x041F\x0440\x043E\x0444\x0435\x0441\x0441\x0438\x043E\x043D\x0430\x043B\x044C\x043D\x0430\x044F",
       L"7601",
       "Windows 7 \xD0\x9F\xD1\x80\xD0\xBE\xD1\x84\xD0\xB5\xD1\x81\xD1\x81\xD0\xB8\xD0\xBE\xD0\xBD"
       "\xD0\xB0\xD0\xBB\xD1\x8C\xD0\xBD\xD0\xB0\xD1\x8F (7601)"},
      {L"Windows 10 \x4E13\x4E1A\x7248", L"19041", "Windows 10 \xE4\xB8\x93\xE4\xB8\x9A\xE7\x89\x88 (19041)"},
      // The limit counts characters; the description is then cut at its
      // 2,047 bytes, after the blank.
      {longest.c_str(), L"7601", longestUtf8 + " "},
  };
  kt::WindowsNameScope names(nullptr, nullptr);
  for (const Case& c : cases) {
    names.Set(c.productName, c.buildLabel);
    std::string output;
    ASSERT_EQ(kt::RunProgram(kt::kBinDir + L"\\osprobe.exe", L"", &output), 0);
    EXPECT_NE(output.find("description=" + c.expected + "\r\n"), std::string::npos) << output;
  }
}

TEST(SystemInspection, VersionSourceFeedsTheClassification) {
  // Windows Server 2012 class: not producible under this Wine.
  kestrel::RunSettings settings;
  settings.osVersion = [] { return kestrel::OsVersionData{true, 6, 2, 0, 3}; };
  EXPECT_EQ(kestrel::CheckOsVersion(settings.osVersion), 0);
  EXPECT_EQ(g_isServer2012Plus, 1);
  g_isServer2012Plus = 0;
}

}  // namespace
