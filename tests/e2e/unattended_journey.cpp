// Unattended runs through the real installer, started the way a fleet tool
// starts it: a process that waits for the one it started and reads its
// exit code, no clicks. No window of the installer may become visible.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "core/installer_state.h"
#include "res/resource_ids.h"
#include "support/installed_product.h"
#include "support/journey.h"
#include "support/process_fixtures.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

const std::wstring kEntry = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Marrowfield";
const std::string kPassword = "s3cr-u-t\\";  // holds "-u" and a backslash

std::wstring EntryText(const wchar_t* name) {
  win::UniqueHkey entry = win::OpenKey(HKEY_LOCAL_MACHINE, kEntry);
  return entry ? win::QueryText(entry.get(), name, 1024).value_or(L"<missing>") : L"<no entry>";
}

bool HasLine(const std::string& log, const std::string& text) { return log.find(text) != std::string::npos; }

// What a quiet run left: its exit code, its log, and whether any window of
// it was seen on the screen while it ran.
struct QuietRun {
  bool ended = false;
  DWORD code = 0;
  std::string log;
  bool windowShown = false;
};

bool HasVisibleWindow(DWORD pid) {
  struct Search {
    DWORD pid;
    bool found;
  } search{pid, false};
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == s->pid && ::IsWindowVisible(window)) {
          s->found = true;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Runs the installer with the arguments and "/log <work>\<logName>" and
// watches the screen until it ends.
QuietRun RunQuietly(e2e::Machine& machine, const std::wstring& arguments, const std::wstring& logName = L"quiet.log",
                    const std::wstring& installer = L"") {
  const std::wstring log = machine.work() + L"\\" + logName;
  ::DeleteFileW(log.c_str());
  kt::Process setup = kt::Launch(installer.empty() ? machine.installer() : installer, arguments + L" /log " + log);
  QuietRun run;
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    while (!done) {
      if (HasVisibleWindow(setup.pid())) run.windowShown = true;
      ::Sleep(20);
    }
  });
  run.ended = setup.Wait(&run.code, 5 * kt::kPatienceMs);
  done = true;
  watcher.join();
  run.log = kt::ReadFileBytes(log);
  return run;
}

// The machine's state that an unattended run must not touch when it
// refuses to run, or when it finds nothing to do.
struct MachineState {
  std::vector<unsigned char> installState, partnerId, dbInstallState;
  std::wstring entryVersion;
  bool productFolder = false;
  bool operator==(const MachineState& o) const {
    return installState == o.installState && partnerId == o.partnerId && dbInstallState == o.dbInstallState &&
           entryVersion == o.entryVersion && productFolder == o.productFolder;
  }
};

MachineState ReadMachine(const e2e::FreshMachine& machine) {
  return MachineState{kt::InstallerValueBytes(kestrel::kValueInstallState),
                      kt::InstallerValueBytes(kestrel::kValuePartnerId),
                      kt::InstallerValueBytes(kestrel::kValueDbInstallState), EntryText(L"DisplayVersion"),
                      kt::Exists(machine.DefaultProductDir())};
}

// Watches a task list window until it closes; returns its row labels as
// last seen whole, and whether a row showed progress or a result.
std::vector<std::wstring> LabelsUntilClosed(HWND window, bool* sawProgressOrResult) {
  HWND list = kt::FindControl(window, IDC_TASK_LIST);
  std::vector<std::wstring> labels;
  kt::WaitUntil([&] {
    // The rows as they stand (a read that meets the closing window is
    // not kept).
    const int rows = kt::ListRowCount(list);
    std::vector<std::wstring> now;
    for (int row = 0; row < rows; ++row) now.push_back(kt::ListCellText(list, row, 1));
    if (now.size() >= labels.size() && std::find(now.begin(), now.end(), L"") == now.end()) labels = now;
    for (int row = 0; row < rows; ++row) {
      const std::wstring status = kt::ListCellText(list, row, 2);
      if (status.rfind(L"#Progress:", 0) == 0 || e2e::IsDone(status)) *sawProgressOrResult = true;
    }
    return !::IsWindow(window);
  }, 5 * kt::kPatienceMs);
  return labels;
}

class UnattendedJourney : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(machine_.ok()); }
  e2e::FreshMachine machine_{e2e::kServer2008R2};
};

TEST_F(UnattendedJourney, FreshAllInOneInstallationThenTheSameCommandAgainChangesNothing) {
  const QuietRun run = RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1");
  ASSERT_TRUE(run.ended) << run.log;
  EXPECT_EQ(run.code, 3010u) << "installed; the restart it needs was not made\n" << run.log;
  EXPECT_FALSE(run.windowShown);

  // The machine the interactive journey leaves.
  const std::wstring product = machine_.DefaultProductDir();
  std::string difference;
  EXPECT_TRUE(kt::SameTree(product, machine_.release(), &difference)) << difference;
  EXPECT_EQ(machine_.netfull().LogLines(), std::vector<std::wstring>{L"netfull.exe /q"});
  EXPECT_EQ(machine_.sqlSetup().LogLines().size(), 1u);
  EXPECT_GT(machine_.dism().Runs(), 0u);
  EXPECT_EQ(machine_.config().LogLines(), (std::vector<std::wstring>{L"DeployCfgCmd configapp",
                                                                     L"DeployCfgCmd initdb true localhost\\MARROWFIELD # default"}));
  EXPECT_EQ(machine_.launcher().LogLines(), std::vector<std::wstring>{L"runportal.exe"});
  EXPECT_EQ(kt::InstallerValueBytes(kestrel::kValueInstallState), (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_EQ(kt::InstallerValueBytes(kestrel::kValueDbInstallState), (std::vector<unsigned char>{1, 0, 0, 0}));
  EXPECT_EQ(EntryText(L"UninstallString"), L"\"" + product + L"\\KestrelSetup.exe\" -u");
  EXPECT_EQ(EntryText(L"QuietUninstallString"), L"\"" + product + L"\\KestrelSetup.exe\" -u /quiet");
  EXPECT_EQ(EntryText(L"DisplayVersion"), L"6.11.0");
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true);
  EXPECT_TRUE(kt::Exists(desktop + L"\\Marrowfield Portal.URL"));
  EXPECT_TRUE(kt::Exists(desktop + L"\\Marrowfield Cluster Manager.URL"));
  const auto traces = machine_.Traces();
  ASSERT_GE(traces.size(), 4u);
  EXPECT_EQ(traces.front(), "Windows Server 2008 R2 Standard (7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707)");
  auto at = [&](const char* text) { return std::find(traces.begin(), traces.end(), text) - traces.begin(); };
  EXPECT_LT(at("ClusterMode:no existing sql server"), at("commit page")) << "the database page's order";
  EXPECT_EQ(traces.back(), "commit:task completed");

  // The log: UTF-8 with its mark, CRLF, a line per event.
  ASSERT_EQ(run.log.rfind("\xEF\xBB\xBF", 0), 0u) << "a byte-order mark";
  EXPECT_EQ(run.log.find("\n"), run.log.find("\r\n") + 1) << "CRLF line ends";
  for (const char* line : {"mode: quiet", "property ACCEPTLICENSE=1", "task list: INSTALLNET (Install .Net 4.0)",
                           "task INSTALLQRE (Install Marrowfield Package) done", "download http://",
                           "HTTP status 200", "process ", "ended with exit code 0", "audit trace: commit:task completed",
                           "question: Reboot is needed to complete the installation, reboot now?",
                           "answer: No", "exit code 3010"})
    EXPECT_TRUE(HasLine(run.log, line)) << line << "\n" << run.log;

  // The product configured (its own tool records the server), a fleet tool
  // runs the same command again: nothing to do, nothing changed.
  kt::SetInstallerText(kestrel::kValueDbServer, L"localhost\\MARROWFIELD");
  const MachineState before = ReadMachine(machine_);
  const size_t configRuns = machine_.config().LogLines().size();
  const QuietRun again = RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1", L"again.log");
  ASSERT_TRUE(again.ended);
  EXPECT_EQ(again.code, 0u) << again.log;
  EXPECT_FALSE(again.windowShown);
  EXPECT_TRUE(HasLine(again.log, "already has version 6.11.0: nothing to do")) << again.log;
  EXPECT_TRUE(ReadMachine(machine_) == before);
  EXPECT_EQ(machine_.config().LogLines().size(), configRuns) << "no tool ran";
  EXPECT_TRUE(kt::SameTree(product, machine_.release(), &difference)) << difference;
}

TEST_F(UnattendedJourney, ExistingServerFromASettingsFileKeepsThePasswordOutOfEveryLog) {
  ASSERT_TRUE(e2e::UseSqliteAsSqlServerDriver()) << "ODBCSYSINI must name the journeys' ODBC folder (ctest sets it)";
  const std::wstring settings = machine_.work() + L"\\fleet.ini";
  // UTF-16 with its mark, as an editor saves it. The password on the
  // command line wins over the file's.
  std::wstring text = L"\uFEFF# database of the fleet\r\nDBSERVER=db01\\SQLEXPRESS\r\nDBNAME=files\r\nDBUSER=sa\r\n"
                      L"DBPASSWORD=older-secret\r\n";
  ASSERT_TRUE(kt::WriteFileBytes(settings, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2)));
  const QuietRun run =
      RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1 /settings " + settings + L" DBPASSWORD=" + kt::Widen(kPassword));
  ASSERT_TRUE(run.ended) << run.log;
  EXPECT_EQ(run.code, 3010u) << run.log;
  EXPECT_FALSE(run.windowShown);
  EXPECT_TRUE(machine_.sqlSetup().LogLines().empty()) << "no SQL Server Express";
  const auto toolRuns = machine_.config().LogLines();
  ASSERT_FALSE(toolRuns.empty()) << run.log;
  EXPECT_EQ(toolRuns.back(), L"DeployCfgCmd initdb true \"db01\\SQLEXPRESS\" \"sa\" \"s3cr-u-t\\\\\" \"files\"")
      << "the file's texts reach the tool exactly";
  EXPECT_TRUE(HasLine(run.log, "DeployCfgCmd initdb true \"db01\\SQLEXPRESS\" \"sa\" \"*****\" \"files\"")) << run.log;
  EXPECT_TRUE(HasLine(run.log, "database: the test connection to db01\\SQLEXPRESS succeeded")) << run.log;
  EXPECT_EQ(run.log.find("s3cr"), std::string::npos) << "the password is in the log:\n" << run.log;
  EXPECT_TRUE(HasLine(run.log, "property DBPASSWORD=*****")) << run.log;
  for (const std::string& trace : machine_.Traces()) EXPECT_EQ(trace.find("s3cr"), std::string::npos) << trace;
  EXPECT_TRUE(win::OpenKey(HKEY_LOCAL_MACHINE, kEntry)) << "installed, and \"-u\" in the password removed nothing";
}

// Refused before anything on the machine changes: exit code 1639 and the
// reason in the log; the partner copy has not even stored its identifier.
TEST_F(UnattendedJourney, RefusedCommandLinesChangeNothing) {
  const std::wstring partner = machine_.work() + L"\\(fleet)KestrelSetup.exe";
  ASSERT_TRUE(::CopyFileW(machine_.installer().c_str(), partner.c_str(), FALSE));
  struct Case {
    const char* name;
    std::wstring arguments;
    std::string reason;
  } const cases[] = {
      {"no licence", L"/quiet", "ACCEPTLICENSE=1"},
      {"unknown switch", L"/quiet ACCEPTLICENSE=1 /silent", "/silent"},
      {"refused password", L"/quiet ACCEPTLICENSE=1 DBSERVER=db01 DBUSER=sa \"DBPASSWORD=a;b\"",
       "Database password can not contain ';', '\"'."},
      {"relative folder", L"/quiet ACCEPTLICENSE=1 INSTALLFOLDER=apps\\files", "apps\\files"},
      {"both restart switches", L"/quiet ACCEPTLICENSE=1 /norestart /forcerestart", "/forcerestart"},
      {"quiet and passive", L"/passive ACCEPTLICENSE=1 /quiet", "/quiet and /passive"},
      {"layout with the removal", L"/quiet -u /layout C:\\ktest\\never", "/layout can not be used with -u"},
  };
  const MachineState before = ReadMachine(machine_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QuietRun run = RunQuietly(machine_, c.arguments, L"refused.log", partner);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.code, 1639u) << run.log;
    EXPECT_FALSE(run.windowShown);
    EXPECT_TRUE(HasLine(run.log, c.reason)) << run.log;
    EXPECT_TRUE(HasLine(run.log, "exit code 1639")) << run.log;
    EXPECT_TRUE(ReadMachine(machine_) == before) << "PartnerId, the state and the product untouched";
  }
  EXPECT_TRUE(machine_.Traces().empty()) << "not even the first trace";
}

// Passive: the task list alone shows the run, nothing is asked, and the
// window closes by itself.
TEST_F(UnattendedJourney, PassiveInstallationShowsItsRowsAndClosesByItself) {
  const std::wstring log = machine_.work() + L"\\passive.log";
  kt::Process setup = kt::Launch(machine_.installer(), L"/passive ACCEPTLICENSE=1 /log " + log);
  HWND window = kt::WaitForWindow(e2e::kWizardCaption, setup.pid());
  ASSERT_NE(window, nullptr);
  HWND list = kt::FindControl(window, IDC_TASK_LIST);
  ASSERT_NE(list, nullptr);
  std::atomic<bool> questionSeen{false}, done{false};
  std::thread watcher([&] {
    while (!done) {
      if (kt::WaitForMessageBox(L"KestrelSetup", setup.pid(), 0) || kt::WaitForMessageBox(L"Reboot", setup.pid(), 0))
        questionSeen = true;
      ::Sleep(20);
    }
  });
  bool sawProgressOrResult = false;
  const std::vector<std::wstring> labels = LabelsUntilClosed(window, &sawProgressOrResult);
  DWORD code = 0;
  const bool ended = setup.Wait(&code, 5 * kt::kPatienceMs);
  done = true;
  watcher.join();
  ASSERT_TRUE(ended);
  EXPECT_EQ(code, 3010u) << kt::ReadFileBytes(log);
  EXPECT_FALSE(::IsWindow(window)) << "the window closed by itself";
  EXPECT_FALSE(questionSeen) << "nothing was asked";
  EXPECT_EQ(labels, (std::vector<std::wstring>{L"Install .Net 4.0", L"Install SQL Express",
                                               L"Check and install IIS Web Server", L"Install Marrowfield Package",
                                               L"Configure Web Applications", L"Initialize Database",
                                               L"Finalize the installation"}));
  EXPECT_TRUE(sawProgressOrResult) << "the rows showed the run";
  std::string difference;
  EXPECT_TRUE(kt::SameTree(machine_.DefaultProductDir(), machine_.release(), &difference)) << difference;
  EXPECT_TRUE(HasLine(kt::ReadFileBytes(log), "mode: passive"));
}

TEST_F(UnattendedJourney, AFailingTaskEndsWith1603AndTheLogNamesItsTaskAndMessage) {
  machine_.config().SetExitCodes(L"0,85");
  const QuietRun run = RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1");
  ASSERT_TRUE(run.ended) << run.log;
  EXPECT_EQ(run.code, 1603u) << run.log;
  EXPECT_FALSE(run.windowShown);
  EXPECT_TRUE(HasLine(run.log, "task INITDB (Initialize Database) failed")) << run.log;
  EXPECT_TRUE(HasLine(run.log, "question: Error connecting to database, please check database connection and settings"))
      << run.log;
  EXPECT_TRUE(HasLine(run.log, "answer: Cancel")) << run.log;
  EXPECT_EQ(kt::InstallerValueBytes(kestrel::kValueInstallState), (std::vector<unsigned char>{2, 0, 0, 0}));
  ASSERT_FALSE(machine_.Traces().empty());
  EXPECT_EQ(machine_.Traces().back(), "commit:failed task:INITDB");
}

TEST_F(UnattendedJourney, ASecondInstallerWhileOneRunsEndsWith1618) {
  // The first one waits on a package that trickles in.
  ASSERT_TRUE(machine_.SetReleasePath("/fault/slow=20000/QRE/zip/build4129.zip"));
  const std::wstring log = machine_.work() + L"\\first.log";
  kt::Process first = kt::Launch(machine_.installer(), L"/quiet ACCEPTLICENSE=1 /log " + log);
  ASSERT_TRUE(kt::WaitUntil([&] { return HasLine(kt::ReadFileBytes(log), "download http"); }))
      << kt::ReadFileBytes(log);
  const QuietRun second = RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1", L"second.log");
  ASSERT_TRUE(second.ended);
  EXPECT_EQ(second.code, 1618u) << second.log;
  EXPECT_TRUE(HasLine(second.log, "Another installer is running")) << second.log;
  EXPECT_TRUE(first.running()) << "the first one goes on";
}

TEST_F(UnattendedJourney, RemovalThenRemovalOfNothing) {
  ASSERT_EQ(RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1").code, 3010u);
  const std::wstring product = machine_.DefaultProductDir();
  const QuietRun removal = RunQuietly(machine_, L"-u /quiet", L"removal.log");
  ASSERT_TRUE(removal.ended);
  EXPECT_EQ(removal.code, 3010u) << removal.log;
  EXPECT_FALSE(removal.windowShown);
  ASSERT_FALSE(machine_.config().LogLines().empty());
  EXPECT_EQ(machine_.config().LogLines().back(), L"DeployCfgCmd uninstall");
  EXPECT_FALSE(kt::Exists(product + L"\\root")) << "the product's files are gone";
  EXPECT_FALSE(win::OpenKey(HKEY_LOCAL_MACHINE, kEntry)) << "the uninstall entry is gone";
  EXPECT_TRUE(HasLine(removal.log, "status: Delete:")) << removal.log;
  EXPECT_TRUE(HasLine(removal.log, "question: Reboot is needed to complete the uninstallation, reboot now?"));

  const QuietRun nothing = RunQuietly(machine_, L"-u /quiet", L"nothing.log");
  ASSERT_TRUE(nothing.ended);
  EXPECT_EQ(nothing.code, 1605u) << nothing.log;
  EXPECT_FALSE(nothing.windowShown);
}

TEST_F(UnattendedJourney, PassiveRemovalShowsItsWindowAndAsksNothing) {
  ASSERT_EQ(RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1").code, 3010u);
  const std::wstring log = machine_.work() + L"\\passive-removal.log";
  kt::Process removal = kt::Launch(machine_.installer(), L"-u /passive /log " + log);
  EXPECT_NE(kt::WaitForWindow(L"Uninstall", removal.pid()), nullptr) << "the removal shows its window";
  DWORD code = 0;
  ASSERT_TRUE(removal.Wait(&code, 5 * kt::kPatienceMs)) << "nothing waits for an answer";
  EXPECT_EQ(code, 3010u) << kt::ReadFileBytes(log);
  EXPECT_FALSE(win::OpenKey(HKEY_LOCAL_MACHINE, kEntry)) << "the uninstall entry is gone";
  EXPECT_TRUE(HasLine(kt::ReadFileBytes(log), "answer: No (an unattended run restarts only with /forcerestart)"));
}

// The registered quiet command, with /forcerestart: the restart is made
// (through the test build's seam) and reported.
TEST_F(UnattendedJourney, ForcedRestartEndsWith1641) {
  ASSERT_EQ(RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1 /norestart").code, 3010u);
  const std::wstring record = machine_.work() + L"\\restart.txt";
  const std::wstring quietCommand = EntryText(L"QuietUninstallString");
  const size_t close = quietCommand.find(L'"', 1);
  ASSERT_NE(close, std::wstring::npos) << testing::PrintToString(quietCommand);
  kt::Process removal = kt::Launch(quietCommand.substr(1, close - 1), quietCommand.substr(close + 2) + L" /forcerestart",
                                   {L"KESTREL_RESTART_RECORD=" + record});
  DWORD code = 0;
  ASSERT_TRUE(removal.Wait(&code, 5 * kt::kPatienceMs));
  EXPECT_EQ(code, 1641u);
  EXPECT_EQ(kt::ReadFileBytes(record), "restart\r\n");
}

// An offline copy made from the local server, then a fresh installation
// from it on a machine whose network reaches none of the links.
TEST_F(UnattendedJourney, LayoutThenAnInstallationFromItWithoutTheNetwork) {
  const std::wstring layout = machine_.work() + L"\\offline copy";
  const QuietRun made = RunQuietly(machine_, L"/quiet /layout \"" + layout + L"\"", L"layout.log");
  ASSERT_TRUE(made.ended);
  ASSERT_EQ(made.code, 0u) << made.log;
  EXPECT_FALSE(made.windowShown);
  for (const wchar_t* name : {L"build4129.zip", L"upgrade.zip", L"netfull.exe", L"sql64.zip", L"sql86.zip",
                              L"sql2012.zip", L"sql2012_32.zip", L"KestrelSetup.exe"})
    EXPECT_TRUE(kt::Exists(layout + L"\\" + name)) << testing::PrintToString(std::wstring(name));
  EXPECT_TRUE(HasLine(made.log, "task LAYOUT (Download build4129.zip) done")) << made.log;
  EXPECT_TRUE(kt::InstallerValueBytes(kestrel::kValueInstallState).empty()) << "a layout installs nothing";
  machine_.server().Kill();

  // Unpinned files beside the installer are not taken unless /source
  // names their folder: this run finds no network and fails.
  const std::wstring copy = layout + L"\\KestrelSetup.exe";
  const QuietRun stray = RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1", L"stray.log", copy);
  ASSERT_TRUE(stray.ended);
  EXPECT_EQ(stray.code, 1603u) << stray.log;
  EXPECT_TRUE(HasLine(stray.log, "netfull.exe is not used (no pin")) << stray.log;

  // The copy in the folder, stamped with the pins of what it holds except
  // the SQL Server package this Windows uses: the pinned payloads are
  // taken from beside it once their hash matches, the unpinned one only
  // because /source names the folder.
  std::wstring pins;
  for (const auto& [link, name] : std::vector<std::pair<int, std::wstring>>{
           {129, L"build4129.zip"}, {130, L"netfull.exe"}, {135, L"sql86.zip"}, {137, L"sql2012.zip"},
           {143, L"upgrade.zip"}, {145, L"sql2012_32.zip"}})
    pins += L" --pin \"" + std::to_wstring(link) + L"=" + layout + L"\\" + name + L"\"";
  ASSERT_TRUE(kt::Stamp(copy, pins));
  const QuietRun offline =
      RunQuietly(machine_, L"/quiet ACCEPTLICENSE=1 /source \"" + layout + L"\"", L"offline.log", copy);
  ASSERT_TRUE(offline.ended);
  EXPECT_EQ(offline.code, 3010u) << offline.log;
  EXPECT_FALSE(offline.windowShown);
  std::string difference;
  EXPECT_TRUE(kt::SameTree(machine_.DefaultProductDir(), machine_.release(), &difference)) << difference;
  EXPECT_EQ(machine_.config().LogLines().back(), L"DeployCfgCmd initdb true localhost\\MARROWFIELD # default");
  EXPECT_EQ(EntryText(L"DisplayVersion"), L"6.11.0");
  EXPECT_TRUE(HasLine(offline.log, "\\build4129.zip taken (its hash matches the pin)")) << offline.log;
  EXPECT_TRUE(HasLine(offline.log, "(its hash matches the pin)")) << offline.log;
  EXPECT_TRUE(HasLine(offline.log, ": verified sha256:")) << offline.log;
  EXPECT_TRUE(HasLine(offline.log, "\\sql64.zip taken (unverified: no pin)")) << offline.log;
  EXPECT_TRUE(HasLine(offline.log, "(unverified: no pin)")) << offline.log;
  EXPECT_FALSE(HasLine(offline.log, "download http")) << "nothing came over the network";
}

TEST_F(UnattendedJourney, AnInteractiveLayoutShowsOneRowAPayload) {
  const std::wstring layout = machine_.work() + L"\\shown";
  kt::Process run = kt::Launch(machine_.installer(), L"/runas /layout " + layout);
  HWND window = kt::WaitForWindow(e2e::kWizardCaption, run.pid());
  ASSERT_NE(window, nullptr);
  bool sawProgressOrResult = false;
  const std::vector<std::wstring> labels = LabelsUntilClosed(window, &sawProgressOrResult);
  DWORD code = 1;
  ASSERT_TRUE(run.Wait(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(labels, (std::vector<std::wstring>{L"Download build4129.zip", L"Download upgrade.zip", L"Download netfull.exe",
                                               L"Download sql64.zip", L"Download sql86.zip", L"Download sql2012.zip",
                                               L"Download sql2012_32.zip"}));
  EXPECT_TRUE(sawProgressOrResult);
  EXPECT_TRUE(kt::Exists(layout + L"\\KestrelSetup.exe"));
}

TEST(UnattendedUsage, TheUsageGoesToTheLogInAQuietRunAndIntoAMessageOtherwise) {
  e2e::Machine machine(e2e::kServer2008R2);
  ASSERT_TRUE(machine.ok());
  const QuietRun quiet = RunQuietly(machine, L"/quiet /?");
  ASSERT_TRUE(quiet.ended);
  EXPECT_EQ(quiet.code, 0u);
  EXPECT_FALSE(quiet.windowShown);
  for (const char* text : {"/quiet", "ACCEPTLICENSE", "3010"}) EXPECT_TRUE(HasLine(quiet.log, text)) << text;

  kt::Process help = machine.Start(L"/HELP /runas");
  HWND box = kt::WaitForMessageBox(L"KestrelSetup", help.pid());
  ASSERT_NE(box, nullptr);
  EXPECT_NE(kt::MessageBoxText(box).find(L"INSTALLFOLDER"), std::wstring::npos);
  kt::PressButton(box, IDOK);
  DWORD code = 1;
  ASSERT_TRUE(help.Wait(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(machine.Traces().empty());
}

TEST(UnattendedUpgradeJourney, AnInstalledCopyIsUpgradedWithoutAQuestion) {
  e2e::Machine machine(e2e::kServer2008R2);
  ASSERT_TRUE(machine.ok());
  const std::wstring base = machine.work() + L"\\Apps";
  const std::wstring product = base + L"\\" + e2e::kProductFolder;
  ASSERT_TRUE(kt::WriteTree(product, machine.release()));
  kt::SetInstallerText(kestrel::kValueLastInstallPath, base);
  kt::SetInstallerText(kestrel::kValueDbServer, L"localhost\\MARROWFIELD");
  kt::SetInstallerInt(kestrel::kValueInstallState, 0);
  {
    win::UniqueHkey entry = win::CreateKey(HKEY_LOCAL_MACHINE, kEntry);
    win::SetString(entry.get(), L"DisplayName", L"Marrowfield");
    win::SetString(entry.get(), L"DisplayVersion", L"6.10.4129");
  }
  kt::TestService monitorService(L"VEVer", L"");
  ASSERT_TRUE(monitorService.StartAndWaitRunning());
  kt::FakeTool iisreset(kt::SystemFolder(), L"iisreset.exe");
  const QuietRun run = RunQuietly(machine, L"/quiet");
  ASSERT_TRUE(run.ended) << run.log;
  EXPECT_EQ(run.code, 0u) << "an upgrade needs no restart\n" << run.log;
  EXPECT_FALSE(run.windowShown);
  std::string difference;
  EXPECT_TRUE(kt::SameTree(product, machine.upgrade(), &difference)) << difference;
  EXPECT_EQ(EntryText(L"DisplayVersion"), L"6.11.0");
  EXPECT_TRUE(HasLine(run.log, "answer: Yes (implied by a quiet run)")) << run.log;
  EXPECT_EQ(machine.Traces(),
            (std::vector<std::string>{"Windows Server 2008 R2 Standard (7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707)",
                                      "Start: needs upgrade", "commit page", "commit:task completed"}));
  kt::TestService::Remove(L"VEVer");
}

}  // namespace
