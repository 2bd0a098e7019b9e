// The commit page of the real executable: its captions, texts and list in
// install and upgrade mode, and a run as the user sees it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "core/installer_state.h"
#include "res/resource_ids.h"
#include "support/process_fixtures.h"
#include "support/test_support.h"

namespace {

using namespace kestrel;

const std::wstring kWizardCaption = L"Marrowfield Installation";

class CommitPageTest : public testing::Test {
 protected:
  // The copy runs as a Windows 8+ workstation, whatever the prefix's
  // default version.
  void SetUp() override {
    folder_ = kt::ScratchFolder(L"commit");
    exe_ = kt::CopyInstaller(folder_, L"KestrelCommit.exe");
    ASSERT_FALSE(exe_.empty());
    kt::SetWineVersionFor(L"KestrelCommit.exe", L"win10");
  }
  void TearDown() override {
    kt::ClearWineVersionFor(L"KestrelCommit.exe");
    kt::RemoveTree(folder_);
  }

  // Starts the copy (no relaunch), waits for its wizard and walks it to
  // the commit page.
  HWND StartWizard() {
    process_ = kt::Launch(exe_, L"/runas");
    HWND wizard = kt::WaitForWindow(kWizardCaption, process_.pid());
    if (wizard == nullptr || !kt::WalkToCommitPage(wizard)) return nullptr;
    return wizard;
  }

  // A control of the active page (other pages reuse the same numbers).
  static HWND Control(HWND wizard, int id) { return kt::FindControl(kt::CurrentPage(wizard), id); }

  std::vector<std::array<std::wstring, 4>> Rows(HWND wizard) {
    HWND list = Control(wizard, IDC_TASK_LIST);
    std::vector<std::array<std::wstring, 4>> rows;
    for (int r = 0; r < kt::ListRowCount(list); ++r)
      rows.push_back({kt::ListCellText(list, r, 0), kt::ListCellText(list, r, 1), kt::ListCellText(list, r, 2),
                      kt::ListCellText(list, r, 3)});
    return rows;
  }

  kt::InstallerKeyScope registry_;
  std::wstring folder_, exe_;
  kt::Process process_;
};

TEST_F(CommitPageTest, InstallModeCaptionsTextsAndList) {
  HWND wizard = StartWizard();
  ASSERT_NE(wizard, nullptr);
  HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::IsShown(finish) && kt::IsEnabled(finish); }));
  EXPECT_EQ(kt::WindowText(finish), L"Install");
  EXPECT_TRUE(kt::IsEnabled(kt::FindControl(wizard, ID_WIZBACK)));
  EXPECT_FALSE(kt::IsShown(kt::FindControl(wizard, ID_WIZNEXT)));
  EXPECT_EQ(kt::WindowText(Control(wizard, IDC_INSTRUCTION)),
            L"Please click the 'Install' button to start the installation.");
  EXPECT_EQ(kt::WindowText(Control(wizard, IDC_INSTALL_TO_LABEL)), L"Install to:");
  EXPECT_EQ(kt::WindowText(Control(wizard, IDC_INSTALL_FOLDER)), L"C:\\Program Files");
  EXPECT_TRUE(kt::IsShown(Control(wizard, IDC_BROWSE)));
  EXPECT_TRUE(kt::IsShown(Control(wizard, IDC_PROXY_LINK)));

  // A Windows 8+ workstation: no .NET rows; the database choice is
  // all-in-one.
  const std::vector<std::array<std::wstring, 4>> expected = {
      {L"INSTALLSQL", L"Install SQL Express", L"", L""},
      {L"ConfigIIS2012", L"Check and install IIS Web Server", L"", L""},
      {L"INSTALLQRE", L"Install Marrowfield Package", L"", L""},
      {L"INITIIS", L"Configure Web Applications", L"", L""},
      {L"INITDB", L"Initialize Database", L"", L""},
      {L"FINALIZE", L"Finalize the installation", L"", L""},
  };
  EXPECT_EQ(Rows(wizard), expected);
  HWND list = Control(wizard, IDC_TASK_LIST);
  HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
  EXPECT_EQ(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 4);

  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  EXPECT_TRUE(process_.Wait(&code));
  EXPECT_EQ(code, 1602u) << "closed before anything ran";
}

TEST_F(CommitPageTest, AFailedRunOffersRetry) {
  // This copy has no link for the SQL Server Express package of a 64-bit
  // Windows 8 and later.
  ASSERT_TRUE(kt::Stamp(exe_, L"--string \"137=\""));
  HWND wizard = StartWizard();
  ASSERT_NE(wizard, nullptr);
  HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::IsEnabled(finish); }));
  kt::PressButton(wizard, ID_WIZFINISH);
  HWND box = kt::WaitForMessageBox(L"KestrelCommit", process_.pid());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(kt::MessageBoxText(box), L"Download link for the specified product is missing.");
  kt::PressButton(box, IDOK);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::WindowText(finish) == L"Retry" && kt::IsEnabled(finish); }));
  auto rows = Rows(wizard);
  ASSERT_EQ(rows.size(), 6u);
  // So the first task fails, with the failure icon, and the rows below
  // stay untouched.
  EXPECT_EQ(rows[0][2].rfind(L"#ICON:", 0), 0u);
  EXPECT_EQ(rows[0][2].substr(rows[0][2].size() - 9), L"#@@Failed");
  EXPECT_NE(rows[0][2], L"#ICON:0#@@Failed") << "the icon handle is real";
  for (size_t r = 1; r < rows.size(); ++r) EXPECT_EQ(rows[r][2], L"") << r;
  EXPECT_TRUE(kt::IsEnabled(Control(wizard, IDC_BROWSE)));
  EXPECT_TRUE(kt::IsEnabled(kt::FindControl(wizard, ID_WIZBACK)));
  EXPECT_EQ(kt::InstallerValueBytes(kValueInstallState), (std::vector<unsigned char>{2, 0, 0, 0}));

  kt::PressButton(wizard, IDCANCEL);
  EXPECT_TRUE(process_.Wait(nullptr));
}

TEST_F(CommitPageTest, UpgradeModeCaptionsTextsAndList) {
  kt::SetInstallerInt(kValueInstallState, 1);
  process_ = kt::Launch(exe_, L"/runas");
  HWND box = kt::WaitForMessageBox(L"KestrelCommit", process_.pid());
  ASSERT_NE(box, nullptr);
  kt::PressButton(box, IDYES);
  HWND wizard = kt::WaitForWindow(kWizardCaption, process_.pid());
  ASSERT_NE(wizard, nullptr);
  HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::WindowText(finish) == L"Upgrade" && kt::IsEnabled(finish); }));
  EXPECT_EQ(kt::WindowText(Control(wizard, IDC_INSTRUCTION)),
            L"Please click the 'Upgrade' button to start upgrading.");
  for (int id : {IDC_INSTALL_TO_LABEL, IDC_INSTALL_FOLDER, IDC_BROWSE})
    EXPECT_FALSE(kt::IsShown(Control(wizard, id))) << id;
  EXPECT_TRUE(kt::IsShown(Control(wizard, IDC_PROXY_LINK)));
  auto rows = Rows(wizard);
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[0], (std::array<std::wstring, 4>{L"STOPSVC", L"Stop Cloud Monitor", L"", L"VEVer"}));
  EXPECT_EQ(rows[6], (std::array<std::wstring, 4>{L"FINALIZEUPGRADE", L"Finalize the upgrade", L"", L""}));

  kt::PressButton(wizard, IDCANCEL);
  EXPECT_TRUE(process_.Wait(nullptr));
}

TEST_F(CommitPageTest, UnsupportedWindows) {
  std::wstring xp = kt::CopyInstaller(folder_, L"KestrelXP.exe");
  kt::SetWineVersionFor(L"KestrelXP.exe", L"winxp");
  process_ = kt::Launch(xp, L"/runas");
  HWND wizard = kt::WaitForWindow(kWizardCaption, process_.pid());
  ASSERT_NE(wizard, nullptr);
  // The check runs when the commit page becomes active; its message box
  // holds the page change until it is answered.
  HWND next = kt::FindControl(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::IsEnabled(next); }));
  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"License Agreement"));
  kt::SetChecked(Control(wizard, IDC_EULA_AGREE), true);
  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Choose Installation Type"));
  kt::PressButton(wizard, ID_WIZNEXT);
  HWND box = kt::WaitForMessageBox(L"KestrelXP", process_.pid());
  kt::ClearWineVersionFor(L"KestrelXP.exe");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(kt::MessageBoxText(box), L"Failed to check os type");
  kt::PressButton(box, IDOK);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Install now"));
  HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::IsShown(finish) && !kt::IsEnabled(finish); }));
  EXPECT_EQ(kt::ListRowCount(Control(wizard, IDC_TASK_LIST)), 0);
  EXPECT_FALSE(kt::IsEnabled(kt::FindControl(wizard, ID_WIZBACK)));
  kt::PressButton(wizard, IDCANCEL);
  EXPECT_TRUE(process_.Wait(nullptr));
}

}  // namespace

namespace {

// A run as the user watches it: the monitor service takes a few seconds to
// stop, so the first row shows its progress while Finish stays disabled.
class CommitPageRun : public CommitPageTest {
 protected:
  // How long the monitor service takes to stop.
  virtual std::wstring StopDelay() const { return L"4000"; }

  void SetUp() override {
    CommitPageTest::SetUp();
    service_ = std::make_unique<kt::TestService>(L"VEVer", L"--stop-delay-ms " + StopDelay());
    ASSERT_TRUE(service_->created());
    ASSERT_TRUE(service_->StartAndWaitRunning());
    kt::SetInstallerInt(kValueInstallState, 1);
    process_ = kt::Launch(exe_, L"/runas");
    HWND box = kt::WaitForMessageBox(L"KestrelCommit", process_.pid());
    ASSERT_NE(box, nullptr);
    kt::PressButton(box, IDYES);
    wizard_ = kt::WaitForWindow(kWizardCaption, process_.pid());
    ASSERT_NE(wizard_, nullptr);
    finish_ = kt::FindControl(wizard_, ID_WIZFINISH);
    list_ = kt::FindControl(wizard_, IDC_TASK_LIST);
    ASSERT_TRUE(kt::WaitUntil([&] { return kt::IsEnabled(finish_); }));
    kt::PressButton(wizard_, ID_WIZFINISH);
  }

  std::unique_ptr<kt::TestService> service_;
  HWND wizard_ = nullptr, finish_ = nullptr, list_ = nullptr;
};

TEST_F(CommitPageRun, StatusCellsChangeWhileFinishStaysDisabled) {
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::ListCellText(list_, 0, 2).rfind(L"#Progress:", 0) == 0; }));
  EXPECT_FALSE(kt::IsEnabled(finish_)) << "no second run while one is under way";
  EXPECT_FALSE(kt::IsEnabled(kt::FindControl(wizard_, ID_WIZBACK)));
  EXPECT_NE(kt::ListCellText(list_, 0, 2).find(L" 120@@Stopping"), std::wstring::npos);
  EXPECT_EQ(kt::ListCellText(list_, 1, 2), L"");

  // The service stops: row 1 done, then the download cannot succeed here
  // and says so before the run stops.
  HWND box = kt::WaitForMessageBox(L"KestrelCommit", process_.pid());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(kt::MessageBoxText(box), L"Failed to download product installation package");
  EXPECT_FALSE(kt::IsEnabled(finish_));
  kt::PressButton(box, IDOK);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::WindowText(finish_) == L"Retry" && kt::IsEnabled(finish_); }));
  EXPECT_EQ(kt::ListCellText(list_, 0, 2).substr(kt::ListCellText(list_, 0, 2).size() - 7), L"#@@Done");
  const std::wstring second = kt::ListCellText(list_, 1, 2);
  EXPECT_EQ(second.substr(second.size() - 9), L"#@@Failed");
  for (int row = 2; row < 7; ++row) EXPECT_EQ(kt::ListCellText(list_, row, 2), L"") << row;
  kt::PressButton(wizard_, IDCANCEL);
  EXPECT_TRUE(process_.Wait(nullptr));
}

// The service never stops: the task would never end by itself.
class CommitPageCancel : public CommitPageRun {
 protected:
  std::wstring StopDelay() const override { return L"forever"; }
};

TEST_F(CommitPageCancel, CancelEndsTheProgramInTheMiddleOfATask) {
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::ListCellText(list_, 0, 2).rfind(L"#Progress:", 0) == 0; }));
  kt::PressButton(wizard_, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(process_.Wait(&code)) << "the program ends although its task never would";
  EXPECT_EQ(code, 1602u) << "cancelled by the user";
}

}  // namespace

