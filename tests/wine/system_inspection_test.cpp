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

// Sets or deletes (nullptr) a value of CurrentVersion in the 32-bit view
// that the program reads.
void SetCurrentVersionValue(const char* name, const char* value) {
  HKEY raw = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &raw, nullptr),
            ERROR_SUCCESS);
  win::UniqueHkey key(raw);
  if (value == nullptr)
    ::RegDeleteValueA(key.get(), name);
  else
    ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), strlen(value) + 1);
}

TEST(SystemInspection, DescriptionIsProductNameAndBuildLabel) {
  const std::string tooLong(1024, 'n');  // 1025 bytes with the terminator
  struct Case {
    const char* productName;
    const char* buildLabel;
    std::string expected;
  } const cases[] = {
      {"Windows Server 2008 R2 Standard", "7601.24546.amd64fre.win7sp1_ldr.200106-1742",
       "Windows Server 2008 R2 Standard (7601.24546.amd64fre.win7sp1_ldr.200106-1742)"},
      {nullptr, nullptr, " ()"},
      {"Windows 7 Professional", nullptr, "Windows 7 Professional ()"},
      {tooLong.c_str(), "7601", " (7601)"},
  };
  for (const Case& c : cases) {
    SetCurrentVersionValue("ProductName", c.productName);
    SetCurrentVersionValue("BuildLabEx", c.buildLabel);
    std::string output;
    ASSERT_EQ(kt::RunProgram(kt::kBinDir + L"\\osprobe.exe", L"", &output), 0);
    EXPECT_NE(output.find("description=" + c.expected + "\r\n"), std::string::npos) << output;
  }
  SetCurrentVersionValue("ProductName", nullptr);
  SetCurrentVersionValue("BuildLabEx", nullptr);
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
