// Uninstallation through the real executable, on a machine set up the way
// an installation leaves it.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "core/installer_state.h"
#include "res/resource_ids.h"
#include "support/process_fixtures.h"
#include "support/test_support.h"
#include "uninstall/uninstall_dlg.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

using namespace kestrel;

const std::wstring kUninstallRoot = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kRoot = L"C:\\ktest\\uninstall";
const std::wstring kProductDir = kRoot + L"\\Vantoris Cloud Enterprise";

void SetEntryValue(const std::wstring& product, const wchar_t* name, const std::wstring& text) {
  win::UniqueHkey key = win::CreateKey(HKEY_LOCAL_MACHINE, kUninstallRoot + L"\\" + product);
  win::SetString(key.get(), name, text);
}
bool EntryExists(const std::wstring& product) {
  return static_cast<bool>(win::OpenKey(HKEY_LOCAL_MACHINE, kUninstallRoot + L"\\" + product));
}
void DeleteEntry(const std::wstring& product) {
  win::UniqueHkey root = win::OpenKey(HKEY_LOCAL_MACHINE, kUninstallRoot, KEY_ALL_ACCESS);
  if (root) ::RegDeleteTreeW(root.get(), product.c_str());
}

std::wstring PendingRenames() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &raw) != ERROR_SUCCESS)
    return {};
  win::UniqueHkey key(raw);
  auto bytes = win::QueryBytes(key.get(), L"PendingFileRenameOperations", 1 << 20);
  if (!bytes) return {};
  std::wstring text = *bytes;
  for (auto& c : text)
    if (c == L'\0') c = L'|';
  return text;
}

class Uninstall : public testing::Test {
 protected:
  void SetUp() override {
    kt::RemoveTree(kRoot);
    ASSERT_TRUE(kt::CreateFolders(kProductDir + L"\\www\\vantdepot"));
    ASSERT_TRUE(kt::WriteFileBytes(kProductDir + L"\\www\\index.html", "x"));
    tool_ = std::make_unique<kt::FakeTool>(kProductDir, L"DeployCfgCmd.exe");
    exe_ = kt::CopyInstaller(kProductDir);
    ASSERT_FALSE(exe_.empty());
    startMenu_ = win::SpecialFolderPath(CSIDL_COMMON_PROGRAMS, true) + L"\\Marrowfield";
    desktop_ = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true);
    ASSERT_TRUE(kt::CreateFolders(startMenu_));
    for (const std::wstring& f : {startMenu_ + L"\\Portal.URL", startMenu_ + L"\\Cluster Manager.URL",
                                  desktop_ + L"\\Marrowfield Portal.URL", desktop_ + L"\\Marrowfield Cluster Manager.URL"})
      ASSERT_TRUE(kt::WriteFileBytes(f, "[InternetShortcut]\r\n"));
    SetEntryValue(L"Marrowfield", L"DisplayName", L"Marrowfield");
    SetEntryValue(L"Marrowfield", L"UninstallString", L"\"" + exe_ + L"\" -u");
    SetEntryValue(L"Other Product", L"DisplayName", L"Other Product");
    kt::SetInstallerText(kValueLastInstallPath, kRoot);
    kt::SetInstallerText(kValueDbServer, L"localhost\\MARROWFIELD");
    kt::SetInstallerInt(kValueInstallState, 0);
    record_ = kRoot + L"-restart.txt";
    ::DeleteFileW(record_.c_str());
  }
  void TearDown() override {
    DeleteEntry(L"Marrowfield");
    DeleteEntry(L"Other Product");
    kt::RemoveTree(startMenu_);
    tool_.reset();
    kt::RemoveTree(kRoot);
    ::DeleteFileW(record_.c_str());
  }

  // Starts the registered uninstall command (without the elevation
  // relaunch), presses "Uninstall " and returns the restart question.
  HWND RunUntilTheRestartQuestion() {
    process_ = kt::Launch(exe_, L"-u /runas", {L"KESTREL_RESTART_RECORD=" + record_});
    HWND dialog = kt::WaitForWindow(L"Uninstall", process_.pid());
    EXPECT_NE(dialog, nullptr);
    if (dialog == nullptr) return nullptr;
    kt::PressButton(dialog, IDOK);
    return kt::WaitForMessageBox(L"Reboot", process_.pid());
  }

  kt::InstallerKeyScope registry_;
  kt::TestService service_{L"VEVer", L""};
  std::unique_ptr<kt::FakeTool> tool_;
  std::wstring exe_, startMenu_, desktop_, record_;
  kt::Process process_;
};

TEST_F(Uninstall, RemovesWhatTheInstallationLeftAndNothingElse) {
  ASSERT_TRUE(service_.StartAndWaitRunning());
  HWND box = RunUntilTheRestartQuestion();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(kt::MessageBoxText(box), L"Reboot is needed to complete the uninstallation, reboot now?");
  kt::PressButton(box, IDNO);
  DWORD code = 1;
  ASSERT_TRUE(process_.Wait(&code));
  EXPECT_EQ(code, 3010u) << "removed; the restart it needs was not made";

  EXPECT_TRUE(kt::TestService::Remove(L"VEVer")) << "the service is gone";
  EXPECT_EQ(tool_->LogLines(), (std::vector<std::wstring>{L"DeployCfgCmd uninstall"}));
  EXPECT_FALSE(kt::Exists(kProductDir + L"\\www"));
  EXPECT_FALSE(kt::Exists(kProductDir + L"\\DeployCfgCmd.exe"));
  // The running uninstaller cannot delete its own file: it and the folder
  // holding it go at the next restart.
  const std::wstring pending = PendingRenames();
  EXPECT_NE(pending.find(L"Vantoris Cloud Enterprise\\KestrelSetup.exe"), std::wstring::npos) << pending;
  EXPECT_TRUE(kt::Exists(kRoot)) << "the folder it was installed into stays";
  EXPECT_FALSE(kt::Exists(startMenu_));
  EXPECT_FALSE(kt::Exists(desktop_ + L"\\Marrowfield Portal.URL"));
  EXPECT_FALSE(kt::Exists(desktop_ + L"\\Marrowfield Cluster Manager.URL"));
  EXPECT_FALSE(EntryExists(L"Marrowfield"));
  EXPECT_TRUE(EntryExists(L"Other Product"));
  EXPECT_TRUE(kt::InstallerValueBytes(kValueDbServer).empty());
  EXPECT_FALSE(kt::InstallerValueBytes(kValueLastInstallPath).empty());
  EXPECT_EQ(kt::InstallerValueBytes(kValueInstallState), (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_FALSE(kt::Exists(record_)) << "No does not restart";
}

TEST_F(Uninstall, YesRestartsThroughTheSeamAndFilesInUseWaitForTheRestart) {
  const std::wstring held = kProductDir + L"\\www\\in-use.dll";
  ASSERT_TRUE(kt::WriteFileBytes(held, "in use"));
  // Held without delete sharing: it cannot be deleted now.
  win::UniqueHandle holder(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  HWND box = RunUntilTheRestartQuestion();
  ASSERT_NE(box, nullptr);
  kt::PressButton(box, IDYES);
  DWORD code = 1;
  ASSERT_TRUE(process_.Wait(&code));
  EXPECT_EQ(code, 1641u) << "a restart was started";
  EXPECT_TRUE(kt::Exists(record_)) << "Yes asked for the restart";
  EXPECT_TRUE(kt::Exists(held));
  EXPECT_NE(PendingRenames().find(L"in-use.dll"), std::wstring::npos) << "scheduled for deletion at restart";
}

TEST_F(Uninstall, WithoutLastInstallPathTheProductIsUnderProgramFiles) {
  kt::DeleteInstallerKey();
  const std::wstring programFilesProduct = win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true) + L"\\Vantoris Cloud Enterprise";
  ASSERT_TRUE(kt::CreateFolders(programFilesProduct + L"\\bin"));
  ASSERT_TRUE(kt::WriteFileBytes(programFilesProduct + L"\\bin\\a.txt", "a"));
  HWND box = RunUntilTheRestartQuestion();
  ASSERT_NE(box, nullptr);
  kt::PressButton(box, IDNO);
  EXPECT_TRUE(process_.Wait(nullptr));
  EXPECT_FALSE(kt::Exists(programFilesProduct));
  EXPECT_TRUE(kt::Exists(kProductDir + L"\\www\\index.html")) << "not the one LastInstallPath no longer names";
  kt::RemoveTree(programFilesProduct);
}

TEST_F(Uninstall, CancelStopsAtOnceAndIdleCancelJustCloses) {
  kt::NamedEvent never(L"uninstall-never");
  tool_->WaitFor(never);  // the tool hangs: the sequence is inside it
  process_ = kt::Launch(exe_, L"-u /runas");
  HWND dialog = kt::WaitForWindow(L"Uninstall", process_.pid());
  ASSERT_NE(dialog, nullptr);
  kt::PressButton(dialog, IDOK);
  ASSERT_TRUE(tool_->WaitForLogLines(1));
  EXPECT_FALSE(kt::IsShown(::GetDlgItem(dialog, IDOK))) << "the button is hidden while running";
  EXPECT_EQ(kt::WindowText(::GetDlgItem(dialog, IDC_UNINSTALL_STATUS)), L"Remove registry");
  kt::PressButton(dialog, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(process_.Wait(&code)) << "the tool never ends, the uninstaller does";
  EXPECT_EQ(code, 1602u) << "cancelled by the user";
  EXPECT_TRUE(kt::Exists(kProductDir + L"\\www\\index.html")) << "what was not done stays";
  EXPECT_FALSE(kt::InstallerValueBytes(kValueDbServer).empty());
  tool_->EndRunning();

  process_ = kt::Launch(exe_, L"-u /runas");
  dialog = kt::WaitForWindow(L"Uninstall", process_.pid());
  ASSERT_NE(dialog, nullptr);
  kt::PressButton(dialog, IDCANCEL);
  ASSERT_TRUE(process_.Wait(&code));
  EXPECT_EQ(code, 1602u);
  EXPECT_TRUE(EntryExists(L"Marrowfield"));
}

TEST_F(Uninstall, ALinkInsideTheProductDirectoryIsRemovedNotFollowed) {
  // Wine shows a Unix symbolic link as a junction; the build tree holds
  // one to a folder outside (made afresh by ctest).
  // (Wine reports the link removed but leaves the Unix link in place; what
  // matters is that nothing behind it is touched.)
  const std::wstring fixtures = kt::kBinDir + L"\\fixtures\\delete-link\\installed";
  ASSERT_TRUE(kt::Exists(fixtures + L"\\Vantoris Cloud Enterprise\\outside-link\\keep.txt"));
  ASSERT_TRUE(kt::WriteFileBytes(fixtures + L"\\Vantoris Cloud Enterprise\\product.txt", "p"));
  kt::SetInstallerText(kValueLastInstallPath, fixtures);
  HWND box = RunUntilTheRestartQuestion();
  ASSERT_NE(box, nullptr);
  kt::PressButton(box, IDNO);
  EXPECT_TRUE(process_.Wait(nullptr));
  EXPECT_FALSE(kt::Exists(fixtures + L"\\Vantoris Cloud Enterprise\\product.txt"));
  EXPECT_TRUE(kt::Exists(kt::kBinDir + L"\\fixtures\\delete-link\\outside\\keep.txt")) << "the folder behind the link survives";
}

}  // namespace

namespace {

TEST(UninstallTool, AToolThatDoesNotFinishIsGivenUpOnWithoutEndingIt) {
  kt::FakeTool tool(L"C:\\ktest\\uninstall-tool", L"DeployCfgCmd.exe");
  kt::NamedEvent never(L"uninstall-tool-never");
  tool.WaitFor(never);
  kestrel::RunSettings settings;
  settings.toolUninstallSlices = 3;
  kestrel::UninstallDlg dialog(settings);
  ASSERT_NE(dialog.Create(nullptr), nullptr);
  HWND bar = dialog.Item(IDC_UNINSTALL_PROGRESS);
  ::SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  ::SendMessageW(bar, PBM_SETPOS, 98, 0);
  EXPECT_FALSE(kestrel::RunToolUninstall(dialog, tool.path()));
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 1) << "three steps from 98 wrap to 1";
  EXPECT_EQ(tool.RunningCount(), 1u) << "given up on, not ended";
  EXPECT_EQ(tool.LogLines(), (std::vector<std::wstring>{L"DeployCfgCmd uninstall"}));
  EXPECT_FALSE(kestrel::RunToolUninstall(dialog, L"C:\\ktest\\uninstall-tool\\missing.exe"));
  ::DestroyWindow(dialog.hwnd());
}

}  // namespace
