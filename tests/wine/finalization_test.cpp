// Finalization on a real Wine machine: shortcut files, the uninstall entry,
// the install state and the restart question (through the restart seam).
#include "engine/finalization.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "core/installer_state.h"
#include "support/recording_context.h"
#include "support/test_support.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

using namespace kestrel;

const std::wstring kEntryPath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Marrowfield";

struct Value {
  std::wstring name;
  DWORD type;
  std::wstring text;  // REG_SZ without its terminator, or the number in decimal
  bool operator==(const Value&) const = default;
};
void PrintTo(const Value& v, std::ostream* os) { *os << testing::PrintToString(v.name) << "=" << testing::PrintToString(v.text) << " type " << v.type; }

// The entry's values, by name (Wine's registry lists them sorted).
std::vector<Value> EntryValues() {
  std::vector<Value> values;
  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, kEntryPath);
  if (!key) return values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0;
    BYTE data[4096];
    DWORD size = sizeof data;
    if (::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    Value v{name, type, L""};
    if (type == REG_DWORD)
      v.text = std::to_wstring(*reinterpret_cast<DWORD*>(data));
    else {
      EXPECT_EQ(size % 2, 0u);
      EXPECT_EQ(reinterpret_cast<wchar_t*>(data)[size / 2 - 1], L'\0') << "text stored with its terminator";
      v.text.assign(reinterpret_cast<wchar_t*>(data), size / 2 - 1);
    }
    values.push_back(v);
  }
  std::sort(values.begin(), values.end(), [](const Value& a, const Value& b) { return a.name < b.name; });
  return values;
}

class Finalization : public testing::Test {
 protected:
  void SetUp() override {
    installDir_ = kt::ScratchFolder(L"final\\Vantoris Cloud Enterprise");
    ctx_.SetInstallDir(installDir_);
    DeleteEntry();
    RemoveShortcuts();
  }
  void TearDown() override {
    DeleteEntry();
    RemoveShortcuts();
    kt::RemoveTree(L"C:\\ktest\\final");
  }
  static void DeleteEntry() {
    win::UniqueHkey root = win::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                                        KEY_ALL_ACCESS);
    if (root) ::RegDeleteTreeW(root.get(), L"Marrowfield");
  }
  static std::wstring StartMenuFolder() {
    return win::SpecialFolderPath(CSIDL_COMMON_PROGRAMS, true) + L"\\Marrowfield";
  }
  static std::wstring Desktop() { return win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true); }
  static void RemoveShortcuts() {
    kt::RemoveTree(StartMenuFolder());
    ::DeleteFileW((Desktop() + L"\\Marrowfield Portal.URL").c_str());
    ::DeleteFileW((Desktop() + L"\\Marrowfield Cluster Manager.URL").c_str());
  }

  kt::InstallerKeyScope registry_;
  kt::RecordingContext ctx_;
  std::wstring installDir_;
};

TEST_F(Finalization, InternetShortcutBytes) {
  EXPECT_EQ(InternetShortcutText(kPortalUrl, L"C:\\P\\brand.ico"),
            "[InternetShortcut]\r\nURL=http://localhost/portal/WebAppPage.aspx\r\nIconFile=C:\\P\\brand.ico\r\n"
            "IconIndex=0\r\nShowCommand=7\r\n\r\n");
  EXPECT_EQ(InternetShortcutText(L"http://h/\x00e9", L"C:\\\x00c5\\b.ico"),
            "[InternetShortcut]\r\nURL=http://h/\xc3\xa9\r\nIconFile=C:\\\xc3\x85\\b.ico\r\nIconIndex=0\r\n"
            "ShowCommand=7\r\n\r\n")
      << "UTF-8 without a byte-order mark";
}

TEST_F(Finalization, InstallWritesShortcutsEntryAndStateThenAsksToRestart) {
  kt::SetInstallerInt(kValueInstallState, 2);
  for (int run = 0; run < 2; ++run) {  // FINALIZE twice leaves one set
    EXPECT_EQ(FinalizeInstall(ctx_), 1);
  }
  const std::string icon = "IconFile=" + std::string("C:\\ktest\\final\\Vantoris Cloud Enterprise\\brand.ico");
  EXPECT_EQ(kt::ReadFileBytes(StartMenuFolder() + L"\\Portal.URL"),
            "[InternetShortcut]\r\nURL=http://localhost/portal/WebAppPage.aspx\r\n" + icon +
                "\r\nIconIndex=0\r\nShowCommand=7\r\n\r\n");
  EXPECT_EQ(kt::ReadFileBytes(StartMenuFolder() + L"\\Cluster Manager.URL"),
            "[InternetShortcut]\r\nURL=http://localhost/management/ClusterMgr.aspx\r\n" + icon +
                "\r\nIconIndex=0\r\nShowCommand=7\r\n\r\n");
  EXPECT_EQ(kt::ReadFileBytes(Desktop() + L"\\Marrowfield Portal.URL"), kt::ReadFileBytes(StartMenuFolder() + L"\\Portal.URL"));
  EXPECT_EQ(kt::ReadFileBytes(Desktop() + L"\\Marrowfield Cluster Manager.URL"),
            kt::ReadFileBytes(StartMenuFolder() + L"\\Cluster Manager.URL"));

  SYSTEMTIME now;
  ::GetSystemTime(&now);
  wchar_t today[16];
  swprintf(today, 16, L"%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
  std::vector<Value> expected = {
      {L"DisplayIcon", REG_SZ, installDir_ + L"\\brand.ico,0"},
      {L"DisplayName", REG_SZ, L"Marrowfield"},
      {L"DisplayVersion", REG_SZ, L"6.10.4129"},
      {L"InstallDate", REG_SZ, today},
      {L"InstallLocation", REG_SZ, installDir_},
      {L"NoModify", REG_DWORD, L"1"},
      {L"NoRepair", REG_DWORD, L"1"},
      {L"Publisher", REG_SZ, L"Vantoris, Inc."},
      {L"Version", REG_SZ, L"6.10.4129"},
      {L"UninstallString", REG_SZ, L"\"" + installDir_ + L"\\KestrelSetup.exe\" -u"},
      {L"QuietUninstallString", REG_SZ, L"\"" + installDir_ + L"\\KestrelSetup.exe\" -u /quiet"},
  };
  std::sort(expected.begin(), expected.end(), [](const Value& a, const Value& b) { return a.name < b.name; });
  EXPECT_EQ(EntryValues(), expected);

  EXPECT_EQ(kt::InstallerValueBytes(kValueInstallState), (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_EQ(ctx_.captions()[IDCANCEL], L"Close");
  const auto questions = ctx_.questions();
  ASSERT_EQ(questions.size(), 2u) << "one restart question per run, through the context";
  EXPECT_EQ(questions[0].text, L"Reboot is needed to complete the installation, reboot now?");
  EXPECT_EQ(questions[0].caption, L"Reboot");
  EXPECT_EQ(questions[0].type, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(ctx_.restarts(), 0) << "No restarts nothing";
}

TEST_F(Finalization, YesRestartsTheMachine) {
  ctx_.QueueAnswers({IDYES});
  EXPECT_EQ(FinalizeInstall(ctx_), 1);
  EXPECT_EQ(ctx_.restarts(), 1);
}

TEST_F(Finalization, UpgradeTouchesOnlyTheVersion) {
  EXPECT_EQ(FinalizeUpgrade(ctx_), 1);
  EXPECT_EQ(EntryValues(), (std::vector<Value>{{L"DisplayVersion", REG_SZ, L"6.10.4129"}, {L"Version", REG_SZ, L"6.10.4129"}}))
      << "a missing entry gets just the two values";
  EXPECT_EQ(ctx_.captions()[IDCANCEL], L"Close");
  EXPECT_TRUE(ctx_.questions().empty()) << "no restart question after an upgrade";
  EXPECT_TRUE(kt::InstallerValueBytes(kValueInstallState).empty());

  SetUninstallValue(L"DisplayVersion", REG_SZ, L"1.0", 8);
  SetUninstallValue(L"Publisher", REG_SZ, L"P", 4);
  EXPECT_EQ(FinalizeUpgrade(ctx_), 1);
  EXPECT_EQ(EntryValues(), (std::vector<Value>{{L"DisplayVersion", REG_SZ, L"6.10.4129"},
                                               {L"Publisher", REG_SZ, L"P"},
                                               {L"Version", REG_SZ, L"6.10.4129"}}));
}

}  // namespace
