// Installations onto an existing SQL Server (the test connection goes
// through ODBC for real), a task failing in the middle and retried, and
// downloads cancelled.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "core/installer_state.h"
#include "res/resource_ids.h"
#include "support/journey.h"
#include "support/net_fixtures.h"
#include "support/process_fixtures.h"

namespace {

const e2e::ExistingServer kServer = {L"db01\\SQLEXPRESS", L"files", L"sa", L"pa ss\\"};
const std::wstring kInitDb = L"DeployCfgCmd initdb true \"db01\\SQLEXPRESS\" \"sa\" \"pa ss\\\\\" \"files\"";

class ExistingServerJourney : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(machine_.ok());
    ASSERT_TRUE(e2e::UseSqliteAsSqlServerDriver()) << "ODBCSYSINI must name the journeys' ODBC folder (ctest sets it)";
  }
  // Starts the installer and walks it to the commit page with the server.
  HWND StartAtCommitPage() {
    setup_ = machine_.Start();
    HWND wizard = kt::WaitForWindow(e2e::kWizardCaption, setup_.pid());
    if (wizard == nullptr || !e2e::WalkToCommitPage(wizard, &kServer)) return nullptr;
    return wizard;
  }
  // The same, then presses Install once it can be pressed.
  HWND StartTheRun() {
    HWND wizard = StartAtCommitPage();
    if (wizard == nullptr) return nullptr;
    HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
    if (!kt::WaitUntil([&] { return kt::IsEnabled(finish); })) return nullptr;
    kt::PressButton(wizard, ID_WIZFINISH);
    return wizard;
  }
  std::vector<std::wstring> Labels(HWND wizard) const {
    std::vector<std::wstring> labels;
    for (const auto& row : e2e::TaskRows(wizard)) labels.push_back(row.label);
    return labels;
  }
  void CloseAndExpectExit(HWND wizard) {
    EXPECT_TRUE(machine_.WaitForLastTrace("commit:task completed"));
    ASSERT_TRUE(kt::WaitUntil([&] { return kt::WindowText(kt::FindControl(wizard, IDCANCEL)) == L"Close"; }));
    kt::PressButton(wizard, IDCANCEL);
    DWORD code = 1;
    ASSERT_TRUE(setup_.Wait(&code));
    EXPECT_EQ(code, 3010u) << "the restart question was answered No";
  }

  e2e::FreshMachine machine_{e2e::kWindows10};
  kt::Process setup_;
};

TEST_F(ExistingServerJourney, InstallsWithoutSqlServerExpress) {
  HWND wizard = StartAtCommitPage();
  ASSERT_NE(wizard, nullptr);
  EXPECT_EQ(Labels(wizard), (std::vector<std::wstring>{L"Check and install IIS Web Server", L"Install Marrowfield Package",
                                                       L"Configure Web Applications", L"Initialize Database",
                                                       L"Finalize the installation"}));
  EXPECT_EQ(e2e::RunTheTasks(wizard, setup_.pid()), L"Reboot is needed to complete the installation, reboot now?");
  for (const auto& row : e2e::TaskRows(wizard)) EXPECT_TRUE(e2e::IsDone(row.status)) << testing::PrintToString(row.label);
  CloseAndExpectExit(wizard);

  EXPECT_EQ(machine_.config().LogLines(), (std::vector<std::wstring>{L"DeployCfgCmd configapp", kInitDb}))
      << "the typed texts reach the tool exactly";
  EXPECT_TRUE(machine_.sqlSetup().LogLines().empty()) << "no SQL Server Express";
  std::string difference;
  EXPECT_TRUE(kt::SameTree(machine_.DefaultProductDir(), machine_.release(), &difference)) << difference;
  const auto traces = machine_.Traces();
  EXPECT_NE(std::find(traces.begin(), traces.end(), "ClusterMode:no existing sql server"), traces.end());
  EXPECT_EQ(std::find(traces.begin(), traces.end(), "ClusterMode:failed to test db:-1"), traces.end());
  ASSERT_FALSE(traces.empty());
  EXPECT_EQ(traces.back(), "commit:task completed");
}

// Opens the proxy dialog by clicking the link's "here". The link answers
// WM_NCHITTEST with HTCLIENT only over its link text, which finds the
// place to click; the button messages go to the control as sent messages
// (posted ones would go through the wizard's input handling first), the
// release without waiting, since it opens a modal dialog.
HWND OpenProxyDialog(HWND wizard, DWORD pid) {
  HWND link = kt::FindControl(kt::CurrentPage(wizard), IDC_PROXY_LINK);
  RECT client = {};
  if (link == nullptr || !::GetClientRect(link, &client)) return nullptr;
  const int y = (client.bottom - client.top) / 2;
  for (int x = 0; x < client.right; ++x) {
    POINT screen = {x, y};
    ::ClientToScreen(link, &screen);
    if (::SendMessageW(link, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)) != HTCLIENT) continue;
    ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::SendNotifyMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    return kt::WaitForWindow(L"Proxy Setup", pid);
  }
  return nullptr;
}

TEST_F(ExistingServerJourney, DownloadsThroughTheProxySetInTheDialog) {
  kt::TestProxy proxy(kt::ScratchFolder(L"e2e\\proxy"));
  ASSERT_TRUE(proxy.ok());
  HWND wizard = StartAtCommitPage();
  ASSERT_NE(wizard, nullptr);
  HWND dialog = OpenProxyDialog(wizard, setup_.pid());
  ASSERT_NE(dialog, nullptr);
  ::SendDlgItemMessageW(dialog, IDC_PROXY_TYPE, CB_SETCURSEL, 1, 0);
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PROXY_TYPE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDC_PROXY_TYPE)));
  const std::wstring port = std::to_wstring(proxy.port());
  ::SendDlgItemMessageW(dialog, IDC_PROXY_ADDRESS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"127.0.0.1"));
  ::SendDlgItemMessageW(dialog, IDC_PROXY_PORT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(port.c_str()));
  // The default bypass list ("localhost") would take the local server
  // past the proxy.
  ::SendDlgItemMessageW(dialog, IDC_PROXY_BYPASS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"intranet.corp"));
  kt::PressButton(dialog, IDOK);
  ASSERT_TRUE(kt::WaitUntil([&] { return !::IsWindow(dialog); }));

  EXPECT_EQ(e2e::RunTheTasks(wizard, setup_.pid()), L"Reboot is needed to complete the installation, reboot now?");
  CloseAndExpectExit(wizard);
  EXPECT_NE(proxy.Log().find("/QRE/zip/build4129.zip"), std::string::npos)
      << "the package came through the proxy: " << proxy.Log();
  const std::string config = kt::ReadFileBytes(machine_.DefaultProductDir() + L"\\root\\web.config");
  EXPECT_NE(config.find("<defaultProxy useDefaultCredentials=\"true\">"), std::string::npos) << config;
  EXPECT_NE(config.find("proxyaddress=\"http://127.0.0.1:" + std::to_string(proxy.port()) + "\""), std::string::npos)
      << config;
  EXPECT_NE(config.find("<add address=\"intranet.corp\" />"), std::string::npos) << config;
}

TEST_F(ExistingServerJourney, AFailedTaskIsRetriedFromTheFirstRow) {
  // The database cannot be reached at first: the tool answers 85.
  machine_.config().SetExitCodes(L"0,85");
  HWND wizard = StartTheRun();
  ASSERT_NE(wizard, nullptr);
  HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
  HWND question = kt::WaitForMessageBox(L"KestrelSetup", setup_.pid());
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(kt::MessageBoxText(question), L"Error connecting to database, please check database connection and settings");
  kt::PressButton(question, IDCANCEL);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::WindowText(finish) == L"Retry" && kt::IsEnabled(finish); }));
  auto rows = e2e::TaskRows(wizard);
  ASSERT_EQ(rows.size(), 5u);
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(e2e::IsDone(rows[row].status)) << row;
  EXPECT_TRUE(e2e::IsFailed(rows[3].status));
  EXPECT_EQ(rows[4].status, L"");

  // The cause removed, Retry runs every row again from the first.
  machine_.config().SetExitCodes(L"0");
  const size_t toolRunsBefore = machine_.config().LogLines().size();
  EXPECT_EQ(e2e::RunTheTasks(wizard, setup_.pid()), L"Reboot is needed to complete the installation, reboot now?");
  for (const auto& row : e2e::TaskRows(wizard)) EXPECT_TRUE(e2e::IsDone(row.status)) << testing::PrintToString(row.label);
  CloseAndExpectExit(wizard);
  const auto lines = machine_.config().LogLines();
  ASSERT_EQ(lines.size(), toolRunsBefore + 2);
  EXPECT_EQ(std::vector<std::wstring>(lines.end() - 2, lines.end()),
            (std::vector<std::wstring>{L"DeployCfgCmd configapp", kInitDb}));
  const auto traces = machine_.Traces();
  EXPECT_EQ(std::find(traces.begin(), traces.end(), "error connect to db"), traces.end()) << "sent only on Retry";
  EXPECT_NE(std::find(traces.begin(), traces.end(), "commit:failed task:INITDB"), traces.end());
  EXPECT_EQ(traces.back(), "commit:task completed");
}

TEST_F(ExistingServerJourney, TheWizardClosedAfterAFailedRunEndsWithTheFailure) {
  machine_.config().SetExitCodes(L"0,85");
  HWND wizard = StartTheRun();
  ASSERT_NE(wizard, nullptr);
  HWND question = kt::WaitForMessageBox(L"KestrelSetup", setup_.pid());
  ASSERT_NE(question, nullptr);
  kt::PressButton(question, IDCANCEL);
  HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::WindowText(finish) == L"Retry" && kt::IsEnabled(finish); }));
  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 0;
  ASSERT_TRUE(setup_.Wait(&code));
  EXPECT_EQ(code, 1603u) << "a task failed";
}

TEST_F(ExistingServerJourney, CancelDuringTheDownloadEndsAtOnceAndTheNextStartInstallsAgain) {
  // The package trickles in: the download is still running when the user
  // cancels.
  ASSERT_TRUE(machine_.SetReleasePath("/fault/slow=20000/QRE/zip/build4129.zip"));
  HWND wizard = StartTheRun();
  ASSERT_NE(wizard, nullptr);
  ASSERT_TRUE(kt::WaitUntil([&] {
    auto rows = e2e::TaskRows(wizard);
    return rows.size() > 1 && rows[1].status.rfind(L"#Progress:", 0) == 0;
  })) << "the package download shows its progress";
  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(setup_.Wait(&code)) << "the program ends at once";
  EXPECT_EQ(code, 1602u) << "cancelled by the user";
  EXPECT_EQ(kt::InstallerValueBytes(kestrel::kValueInstallState), (std::vector<unsigned char>{2, 0, 0, 0}));
  EXPECT_FALSE(kt::Exists(machine_.DefaultProductDir()));

  // The next start is a new installation, not an upgrade.
  ASSERT_TRUE(machine_.SetReleasePath("/QRE/zip/build4129.zip"));
  setup_ = machine_.Start();
  wizard = kt::WaitForWindow(e2e::kWizardCaption, setup_.pid());
  ASSERT_NE(wizard, nullptr);
  EXPECT_EQ(kt::WaitForMessageBox(L"KestrelSetup", setup_.pid(), 0), nullptr) << "no upgrade question";
  ASSERT_TRUE(e2e::WalkToCommitPage(wizard, &kServer));
  EXPECT_EQ(e2e::RunTheTasks(wizard, setup_.pid()), L"Reboot is needed to complete the installation, reboot now?");
  CloseAndExpectExit(wizard);
  std::string difference;
  EXPECT_TRUE(kt::SameTree(machine_.DefaultProductDir(), machine_.release(), &difference)) << difference;
}

// An audit service that accepts connections and never answers holds
// nothing up: the wizard appears, the whole installation runs, and the
// program ends within the 5 seconds it gives its traces once its last
// window closes.
TEST_F(ExistingServerJourney, ASilentAuditServiceHoldsNothingUp) {
  kt::SilentListener silent;
  ASSERT_TRUE(silent.ok());
  ASSERT_TRUE(machine_.SetAuditEndpoint("https://localhost:" + std::to_string(silent.port()) + "/audit"));
  HWND wizard = StartAtCommitPage();
  ASSERT_NE(wizard, nullptr);
  EXPECT_EQ(e2e::RunTheTasks(wizard, setup_.pid()), L"Reboot is needed to complete the installation, reboot now?");
  for (const auto& row : e2e::TaskRows(wizard)) EXPECT_TRUE(e2e::IsDone(row.status)) << testing::PrintToString(row.label);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::WindowText(kt::FindControl(wizard, IDCANCEL)) == L"Close"; }));
  EXPECT_GT(silent.connections(), 0) << "the traces went to the silent service";
  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  // 5 s for the queue, and room for the process to end on a loaded machine.
  ASSERT_TRUE(setup_.Wait(&code, 10000)) << "the program waited on its traces past its 5 seconds";
  EXPECT_EQ(code, 3010u);
  std::string difference;
  EXPECT_TRUE(kt::SameTree(machine_.DefaultProductDir(), machine_.release(), &difference)) << difference;
}

// Cancel while the worker writes progress texts into the list as fast as
// the loopback download lets it: the program ends at once, before the
// wizard and its list are torn down under the worker, and the run it cut
// off is traced neither as completed nor as failed.
TEST_F(ExistingServerJourney, CancelWhileTheWorkerWritesAsFastAsItCanTracesNoEndOfTheRun) {
  ASSERT_TRUE(machine_.server().AddFile("big/build.zip", std::string(size_t{128} << 20, 'k')));
  ASSERT_TRUE(machine_.SetReleasePath("/big/build.zip"));
  HWND wizard = StartTheRun();
  ASSERT_NE(wizard, nullptr);
  auto packageStatus = [&] {
    auto rows = e2e::TaskRows(wizard);
    return rows.size() > 1 ? rows[1].status : std::wstring();
  };
  std::wstring first;
  ASSERT_TRUE(kt::WaitUntil([&] {
    first = packageStatus();
    return first.rfind(L"#Progress:", 0) == 0;
  })) << "the package download shows its progress";
  ASSERT_TRUE(kt::WaitUntil([&] {
    const std::wstring now = packageStatus();
    return now != first && now.rfind(L"#Progress:", 0) == 0;
  })) << "and keeps writing it";
  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(setup_.Wait(&code)) << "the program ends at once";
  EXPECT_EQ(code, 1602u) << "cancelled by the user";
  for (const std::string& trace : machine_.Traces()) {
    EXPECT_NE(trace, "commit:task completed");
    EXPECT_NE(trace.rfind("commit:failed task:", 0), 0u) << trace;
  }
  EXPECT_EQ(kt::InstallerValueBytes(kestrel::kValueInstallState), (std::vector<unsigned char>{2, 0, 0, 0}));
}

}  // namespace
