// Start-up paths of the real executable: relaunch, uninstall, the upgrade
// question and the install wizard.
#include <gtest/gtest.h>

#include "core/installer_state.h"
#include "support/test_support.h"

namespace {

using namespace kestrel;

const std::wstring kWizardCaption = L"Marrowfield Installation";
const std::wstring kUpgradeQuestion = L"You already have Marrowfield installed, Do you want to upgrade?";

class Startup : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = kt::ScratchFolder(L"startup");
    exe_ = kt::CopyInstaller(folder_);
    ASSERT_FALSE(exe_.empty());
  }
  void TearDown() override { kt::RemoveTree(folder_); }

  // The wizard or the upgrade question of process pid, whichever shows.
  static HWND FirstWindowOf(DWORD pid) {
    return kt::WaitForWindow([pid](HWND w) {
      if (kt::WindowProcess(w) != pid) return false;
      std::wstring caption = kt::WindowText(w);
      return caption == kWizardCaption || (kt::WindowClass(w) == L"#32770" && caption == L"KestrelSetup");
    });
  }

  // Starts the copy with "/runas" (no relaunch) and closes whatever it
  // shows first; returns true when that was the upgrade question.
  bool AsksToUpgrade() {
    kt::Process p = kt::Launch(exe_, L"/runas");
    HWND first = FirstWindowOf(p.pid());
    EXPECT_NE(first, nullptr);
    if (first == nullptr) return false;
    const bool question = kt::WindowText(first) == L"KestrelSetup";
    kt::PressButton(first, question ? IDNO : IDCANCEL);
    DWORD code = 1;
    EXPECT_TRUE(p.Wait(&code));
    // No to the upgrade ends the run as the person wanted it; a wizard
    // closed before it ran anything was cancelled.
    EXPECT_EQ(code, question ? 0u : 1602u);
    return question;
  }

  kt::InstallerKeyScope registry_;
  std::wstring folder_, exe_;
};

TEST_F(Startup, UninstallSwitchRelaunchesElevatedAndTheFirstInstanceEndsWithItsExitCode) {
  kt::Process first = kt::Launch(exe_, L"-u");
  HWND dialog = kt::WaitForWindow(L"Uninstall");
  ASSERT_NE(dialog, nullptr);
  const DWORD pid = kt::WindowProcess(dialog);
  EXPECT_NE(pid, first.pid());
  kt::Process relaunched = kt::Attach(pid);
  std::wstring commandLine = kt::ProcessCommandLine(pid);
  EXPECT_NE(commandLine.find(L"-u /runas"), std::wstring::npos) << testing::PrintToString(commandLine);
  EXPECT_EQ(kt::WindowText(::GetDlgItem(dialog, 1010)), L"Please click 'Uninstall' to begin uninstallation process.");
  EXPECT_EQ(kt::WindowText(::GetDlgItem(dialog, IDOK)), L"Uninstall ");
  EXPECT_TRUE(first.running()) << "the first instance waits for the one doing the work";

  kt::PressButton(dialog, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(relaunched.Wait(&code));
  EXPECT_EQ(code, 1602u) << "closed before the removal began";
  ASSERT_TRUE(first.Wait(&code));
  EXPECT_EQ(code, 1602u) << "whoever started the installer reads the real result";
}

// The switches are whole arguments in any case; "-u" inside another word
// (a folder "D:\web-ui", a password) is not the removal.
TEST_F(Startup, SwitchesAreWholeArgumentsInAnyCase) {
  {
    kt::Process p = kt::Launch(exe_, L"-U /RUNAS");
    HWND dialog = kt::WaitForWindow(L"Uninstall", p.pid());
    ASSERT_NE(dialog, nullptr) << "the uninstall window belongs to the started process itself";
    kt::PressButton(dialog, IDCANCEL);
    DWORD code = 0;
    ASSERT_TRUE(p.Wait(&code));
    EXPECT_EQ(code, 1602u);
  }
  kt::Process p = kt::Launch(exe_, L"/x-u /runas");
  HWND box = kt::WaitForMessageBox(L"KestrelSetup", p.pid());
  ASSERT_NE(box, nullptr) << "an unknown argument is refused";
  EXPECT_NE(kt::MessageBoxText(box).find(L"/x-u"), std::wstring::npos) << testing::PrintToString(kt::MessageBoxText(box));
  EXPECT_EQ(kt::WaitForWindow(L"Uninstall", p.pid(), 500), nullptr);
  kt::PressButton(box, IDOK);
  DWORD code = 0;
  ASSERT_TRUE(p.Wait(&code));
  EXPECT_EQ(code, 1639u);
}

TEST_F(Startup, PlainStartRelaunchesIntoTheWizard) {
  kt::Process first = kt::Launch(exe_, L"");
  HWND wizard = kt::WaitForWindow(kWizardCaption);
  ASSERT_NE(wizard, nullptr);
  const DWORD pid = kt::WindowProcess(wizard);
  EXPECT_NE(pid, first.pid());
  kt::Process relaunched = kt::Attach(pid);
  std::wstring commandLine = kt::ProcessCommandLine(pid);
  EXPECT_EQ(commandLine.size() >= 7 ? commandLine.substr(commandLine.size() - 7) : commandLine, L" /runas");
  kt::PressButton(wizard, IDCANCEL);
  EXPECT_TRUE(relaunched.Wait(nullptr));
  DWORD code = 0;
  ASSERT_TRUE(first.Wait(&code));
  EXPECT_EQ(code, 1602u);
}

TEST_F(Startup, LongArgumentsSurviveTheRelaunch) {
  const std::wstring args = L"-u DBNAME=" + std::wstring(600, L'x');
  kt::Process first = kt::Launch(exe_, args);
  HWND dialog = kt::WaitForWindow(L"Uninstall");
  ASSERT_NE(dialog, nullptr);
  const DWORD pid = kt::WindowProcess(dialog);
  kt::Process relaunched = kt::Attach(pid);
  std::wstring commandLine = kt::ProcessCommandLine(pid);
  EXPECT_NE(commandLine.find(args + L" /runas"), std::wstring::npos) << commandLine.size();
  kt::PressButton(dialog, IDCANCEL);
  EXPECT_TRUE(relaunched.Wait(nullptr));
  EXPECT_TRUE(first.Wait(nullptr));
}

TEST_F(Startup, RichEditLibraryIsNeverTakenFromTheInstallersFolder) {
  const std::wstring planted = folder_ + L"\\RICHED20.DLL";
  const std::wstring marker = folder_ + L"\\planted-dll-loaded.txt";
  ASSERT_TRUE(::CopyFileW((kt::kBinDir + L"\\fixtures\\planted\\RICHED20.DLL").c_str(), planted.c_str(), FALSE));
  // Wine prefers its own built-in library of that name; as on Windows, a
  // library file found first on the search path must be loadable.
  const std::wstring exe = kt::CopyInstaller(folder_, L"KestrelPlanted.exe");
  for (const wchar_t* program : {L"rundll32.exe", L"KestrelPlanted.exe"})
    kt::SetWineDllOverrideFor(program, L"riched20", L"native,builtin");
  {
    // The planted library announces itself when a program loads it.
    kt::Process loader = kt::Launch(kt::SystemFolder() + L"\\rundll32.exe", planted + L",Nothing");
    ASSERT_TRUE(loader.Wait(nullptr));
  }
  kt::ClearWineVersionFor(L"rundll32.exe");
  ASSERT_NE(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "the fixture does not work";
  ASSERT_TRUE(::DeleteFileW(marker.c_str()));

  kt::Process p = kt::Launch(exe, L"/runas");
  HWND wizard = kt::WaitForWindow(kWizardCaption, p.pid());
  ASSERT_NE(wizard, nullptr);
  kt::PressButton(wizard, IDCANCEL);
  EXPECT_TRUE(p.Wait(nullptr));
  kt::ClearWineVersionFor(L"KestrelPlanted.exe");
  EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "the planted library was loaded";
}

TEST_F(Startup, UpgradeQuestionTextCaptionAndNo) {
  kt::SetInstallerInt(kValueInstallState, 1);
  kt::Process p = kt::Launch(exe_, L"/runas");
  HWND box = kt::WaitForMessageBox(L"KestrelSetup", p.pid());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(kt::MessageBoxText(box), kUpgradeQuestion);
  EXPECT_NE(::GetDlgItem(box, IDYES), nullptr);
  EXPECT_NE(::GetDlgItem(box, IDNO), nullptr);
  kt::PressButton(box, IDNO);
  DWORD code = 1;
  ASSERT_TRUE(p.Wait(&code)) << "No ends the process without a wizard";
  EXPECT_EQ(code, 0u);
}

TEST_F(Startup, PartnerCopyCaptionsItsMessagesAndStoresItsIdentifier) {
  std::wstring partner = kt::CopyInstaller(folder_, L"(acme)KestrelSetup.exe");
  ASSERT_TRUE(kt::Stamp(partner, L"--string 138=\"Acme Files\""));
  kt::SetInstallerInt(kValueInstallState, 1);
  kt::Process p = kt::Launch(partner, L"/runas");
  HWND box = kt::WaitForMessageBox(L"(acme)KestrelSetup", p.pid());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(kt::MessageBoxText(box), L"You already have Acme Files installed, Do you want to upgrade?");
  auto stored = kt::InstallerValueBytes(kValuePartnerId);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(stored.data()), stored.size() / 2), std::wstring(L"acme\0", 5));

  kt::PressButton(box, IDYES);
  HWND wizard = kt::WaitForWindow(kWizardCaption, p.pid());
  ASSERT_NE(wizard, nullptr) << "Yes goes on to the wizard";
  kt::PressButton(wizard, IDCANCEL);
  EXPECT_TRUE(p.Wait(nullptr));
}

TEST_F(Startup, UpgradeDetection) {
  const std::wstring installRoot = folder_ + L"\\installed";
  const std::wstring programFilesProduct = L"C:\\Program Files\\KestrelTestProduct";
  struct Case {
    const char* name;
    int32_t installState;  // -1: absent
    bool lastInstallPath;
    bool markerBelowLastInstallPath;
    bool markerBelowProgramFiles;
    bool dbServer;
    bool asks;
  } const cases[] = {
      {"InstallState 1 without any product", 1, false, false, false, false, true},
      {"InstallState 2 with the product present", 2, true, true, false, true, false},
      {"absent state, marker and DBServer", -1, true, true, false, true, true},
      {"state 0, marker and DBServer", 0, true, true, false, true, true},
      {"marker without DBServer", -1, true, true, false, false, false},
      {"DBServer without marker", -1, true, false, false, true, false},
      {"no LastInstallPath: Program Files searched", -1, false, false, true, true, true},
  };
  for (const Case& c : cases) {
    kt::DeleteInstallerKey();
    kt::RemoveTree(installRoot);
    kt::RemoveTree(programFilesProduct);
    if (c.installState >= 0) kt::SetInstallerInt(kValueInstallState, c.installState);
    if (c.lastInstallPath) {
      kt::CreateFolders(installRoot);
      kt::SetInstallerText(kValueLastInstallPath, installRoot);
    }
    if (c.markerBelowLastInstallPath) kt::CreateFolders(installRoot + L"\\Vantoris Cloud Enterprise\\www\\vantdepot");
    if (c.markerBelowProgramFiles) kt::CreateFolders(programFilesProduct + L"\\Product\\vantdepot");
    if (c.dbServer) kt::SetInstallerText(kValueDbServer, L"localhost\\MARROWFIELD");
    EXPECT_EQ(AsksToUpgrade(), c.asks) << c.name;
  }
  kt::RemoveTree(programFilesProduct);
}

}  // namespace
