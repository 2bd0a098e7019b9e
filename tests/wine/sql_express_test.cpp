// INSTALLSQL against the local package server: a stamped task host
// downloads real packages holding the fake tool as Setup.exe, extracts them
// and runs that setup, which creates the instance's service (a real
// service of the prefix's service manager) when it is told to.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "engine/product_package.h"
#include "engine/sql_express.h"
#include "res/resource_ids.h"
#include "support/net_fixtures.h"
#include "support/process_fixtures.h"
#include "support/task_host_run.h"
#include "support/test_support.h"
#include "tests/support/zip_test_support.h"
#include "win/shell.h"

namespace {

namespace zt = kestrel::ziptest;
using kestrel::kSqlInstanceService;


// The first attempt's command lines, with and without the licence switch.
const std::wstring kFirstAttempt =
    L"Setup.exe  /q /Action=Install /SQLSVCACCOUNT=\"NT AUTHORITY\\Network Service\" /Hideconsole "
    L"/Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"Builtin\\Administrators\"";
const std::wstring kFirstAttemptAcceptingLicence =
    L"Setup.exe  /q /IACCEPTSQLSERVERLICENSETERMS /Action=Install /SQLSVCACCOUNT=\"NT AUTHORITY\\Network Service\" "
    L"/Hideconsole /Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"Builtin\\Administrators\"";

// Every attempt without the licence switch, in order; the last one with
// the names this Windows (Wine, in English) gives the two accounts.
const std::vector<std::wstring> kAllAttempts = {
    kFirstAttempt,
    L"Setup.exe  /q /Action=Install /SQLSVCACCOUNT=\"NT-AUTORIT\u00C4T\\NETZWERKDIENST\" /Hideconsole "
    L"/Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"VORDEFINIERT\\Administratoren\"",
    L"Setup.exe  /q /Action=Install /SQLSVCACCOUNT=\"AUTORITE NT\\SERVICE R\u00C9SEAU\" /Hideconsole "
    L"/Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"BUILTIN\\Administrators\"",
    L"Setup.exe  /q /Action=Install /SQLSVCACCOUNT=\"NT AUTHORITY\\SERVIZIO DI RETE\" /Hideconsole "
    L"/Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"BUILTIN\\Administrators\"",
    L"Setup.exe  /q /Action=Install /SQLSVCACCOUNT=\"NT AUTHORITY\\SERVICIO DE RED\" /Hideconsole "
    L"/Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"BUILTIN\\Administradores\"",
    L"Setup.exe  /q /Action=Install /SQLSVCACCOUNT=\"NT AUTHORITY\\NETWORK SERVICE\" /Hideconsole "
    L"/Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"BUILTIN\\Administrators\"",
};

std::wstring ExtractionFolder() { return win::SpecialFolderPath(CSIDL_LOCAL_APPDATA, true) + L"\\sqltemp"; }
std::wstring PackageFile() { return kestrel::DownloadFolder() + L"\\sqlsvr.zip"; }

// The request lines of the log that fetched a package.
std::vector<std::string> PackageRequests(const std::string& log) { return kt::LinesContaining(log, " /sql/"); }

// One server for the suite: a package per link, each holding the fake
// setup only at the place its link's package has it.
class SqlExpress : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new kt::TestServer(kt::ScratchFolder(L"sql-server"));
    ASSERT_TRUE(server_->ok());
    const std::string setup = kt::ReadFileBytes(kt::kFakeToolExe);
    ASSERT_FALSE(setup.empty());
    const std::pair<const char*, const char*> packages[] = {
        {"/sql/137.zip", "sql2012"}, {"/sql/145.zip", "sql2012"}, {"/sql/134.zip", "sql64"}, {"/sql/135.zip", "sql32"}};
    for (const auto& [path, folder] : packages) {
      const std::string f = folder;
      ASSERT_TRUE(server_->AddFile(path, zt::BuildZipBytes({zt::Entry(f + "/"), zt::Entry(f + "/Setup.exe", setup, 8),
                                                            zt::Entry(f + "/readme.txt", path, 8)})));
    }
    ASSERT_TRUE(server_->AddFile("/sql/empty.zip", zt::BuildZipBytes({})));
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    root_ = kt::ScratchFolder(L"sql-run");
    Clean();
    setup_.SetText(L"CreateService", std::wstring(kSqlInstanceService) + L"|\"" + kt::kTestServiceExe + L"\"");
  }
  void TearDown() override {
    kt::ClearWineVersionFor(L"task_host.exe");
    Clean();
    kt::RemoveTree(root_);
  }

  // No instance, no package, no extracted setup (nor one still running).
  void Clean() {
    for (const wchar_t* folder : {L"\\sql2012", L"\\sql64", L"\\sql32"})
      kt::EndRunningCopies(ExtractionFolder() + folder + L"\\Setup.exe");
    kt::RemoveTree(ExtractionFolder());
    ::DeleteFileW(PackageFile().c_str());
    EXPECT_TRUE(kt::TestService::Remove(kSqlInstanceService));
  }

  // A task host whose four package links point at the server; changes
  // replace single links.
  std::wstring Host(const std::map<unsigned, std::wstring>& changes = {}) {
    std::map<unsigned, std::wstring> links;
    for (unsigned link : {kStrSql2012Link, kStrSql2012x86Link, kStrSql64Link, kStrSql86Link})
      links[link] = kt::Widen(server_->HttpUrl("/sql/" + std::to_string(link) + ".zip"));
    for (const auto& [link, text] : changes) links[link] = text;
    std::wstring host = kt::StampedTaskHost(root_, links);
    EXPECT_FALSE(host.empty());
    return host;
  }

  kt::TaskHostRun Run(const std::wstring& options = L"", const std::wstring& host = L"") {
    return kt::RunTaskHost(host.empty() ? Host() : host, options + L" INSTALLSQL");
  }

  static kt::TestServer* server_;
  std::wstring root_;
  // Scripts the setups extracted from the packages (the script goes by
  // file name).
  kt::FakeTool setup_{L"C:\\ktest\\sql-tools", L"Setup.exe"};
};
kt::TestServer* SqlExpress::server_ = nullptr;

TEST_F(SqlExpress, ThePackageAndItsSetupFollowTheWindowsClassAndBitness) {
  struct Case {
    const char* name;
    const wchar_t* wineVersion;  // the version Wine reports to the host, or
    std::wstring options;        // the version fed to the classification
    bool wide;
    unsigned link;
    const wchar_t* folder;
    bool licence;
  } const cases[] = {
      {"Server 2012, 64-bit", nullptr, L"--os-version 6.2.0.3", true, kStrSql2012Link, L"sql2012", true},
      {"Server 2012 R2, 32-bit", nullptr, L"--os-version 6.3.0.3", false, kStrSql2012x86Link, L"sql2012", true},
      {"Windows 8 as Wine reports it, 64-bit", L"win8", L"--check-os", true, kStrSql2012Link, L"sql2012", true},
      {"Windows 10, 32-bit", nullptr, L"--os-version 10.0.0.1", false, kStrSql2012x86Link, L"sql2012", true},
      {"Windows 7, 64-bit", nullptr, L"--os-version 6.1.1.1", true, kStrSql64Link, L"sql64", false},
      {"Windows 7, 32-bit", nullptr, L"--os-version 6.1.1.1", false, kStrSql86Link, L"sql32", false},
      {"Server 2008 as Wine reports it, 64-bit", L"win2008", L"--check-os", true, kStrSql64Link, L"sql64", false},
      {"Server 2008 R2, 32-bit", nullptr, L"--os-version 6.1.1.3", false, kStrSql86Link, L"sql32", false},
      {"Vista SP2, no class of its own, 64-bit", nullptr, L"--os-version 6.0.2.1", true, kStrSql64Link, L"sql64",
       false},
  };
  const std::wstring host = Host();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    if (c.wineVersion != nullptr) kt::SetWineVersionFor(L"task_host.exe", c.wineVersion);
    const size_t logBefore = server_->Log().size();
    const size_t runsBefore = setup_.LogLines().size();

    const kt::TaskHostRun run = Run(c.options + (c.wide ? L"" : L" --unset-env ProgramFiles(x86)"), host);
    kt::ClearWineVersionFor(L"task_host.exe");

    EXPECT_EQ(run.result(), 1) << run.output;
    EXPECT_EQ(PackageRequests(server_->Log().substr(logBefore)),
              std::vector<std::string>{"GET /sql/" + std::to_string(c.link) + ".zip status=200"});
    EXPECT_TRUE(kt::Exists(ExtractionFolder() + L"\\" + c.folder + L"\\Setup.exe"));
    const std::vector<std::wstring> lines = setup_.LogLines();
    EXPECT_EQ(std::vector<std::wstring>(lines.begin() + static_cast<std::ptrdiff_t>(runsBefore), lines.end()),
              std::vector<std::wstring>{c.licence ? kFirstAttemptAcceptingLicence : kFirstAttempt});
    EXPECT_TRUE(run.questions.empty()) << testing::PrintToString(run.questionTexts());
  }
}

TEST_F(SqlExpress, AnExistingInstanceIsKeptAndNothingIsDownloaded) {
  kt::TestService instance(kSqlInstanceService, L"");
  ASSERT_TRUE(instance.created());
  const kt::TaskHostRun run = Run();
  EXPECT_EQ(run.result(), 1) << run.output;
  EXPECT_TRUE(PackageRequests(server_->Log()).empty()) << server_->Log();
  EXPECT_FALSE(kt::Exists(PackageFile()));
  EXPECT_TRUE(setup_.LogLines().empty());
  EXPECT_TRUE(run.statuses.empty()) << testing::PrintToString(run.statuses);
  EXPECT_TRUE(run.questions.empty());
}

TEST_F(SqlExpress, ADefaultInstanceDoesNotCount) {
  kt::TestService defaultInstance(L"MSSQLSERVER", L"");
  ASSERT_TRUE(defaultInstance.created());
  const size_t logBefore = server_->Log().size();
  const kt::TaskHostRun run = Run();
  EXPECT_EQ(run.result(), 1) << run.output;
  EXPECT_EQ(PackageRequests(server_->Log().substr(logBefore)).size(), 1u);
  EXPECT_EQ(setup_.LogLines(), std::vector<std::wstring>{kFirstAttempt});
  EXPECT_TRUE(kestrel::IsSqlInstancePresent());
}

TEST_F(SqlExpress, AFirstAttemptEndingInTimeIsTheOnlyOneWhateverItsExitCode) {
  setup_.SetExitCodes(L"-1");
  const kt::TaskHostRun run = Run();
  EXPECT_EQ(run.result(), 1) << run.output;
  EXPECT_EQ(setup_.LogLines(), std::vector<std::wstring>{kFirstAttempt});
  EXPECT_NE(std::find(run.statuses.begin(), run.statuses.end(), L"Extracting files..."), run.statuses.end());
  EXPECT_TRUE(run.questions.empty());
  EXPECT_TRUE(run.traces.empty()) << testing::PrintToString(run.traces);
}

TEST_F(SqlExpress, ASetupThatEndsWithoutCreatingTheInstanceFails) {
  setup_.SetText(L"CreateService", L"");
  const kt::TaskHostRun run = Run();
  EXPECT_EQ(run.result(), 0) << run.output;
  EXPECT_EQ(setup_.LogLines(), std::vector<std::wstring>{kFirstAttempt}) << "no further attempt";
  EXPECT_TRUE(run.questions.empty());
  EXPECT_TRUE(run.traces.empty());
}

// The first five setups never end; the sixth, given the names looked up on
// this machine, ends at once. The budget is short but leaves that sixth
// run seconds to start and end on a loaded machine.
TEST_F(SqlExpress, SetupsStillRunningAfterTheirBudgetLeadToTheNextSpellingsAndTheLookedUpNamesLast) {
  kt::NamedEvent never(L"sql-never");
  setup_.WaitFor(never);
  setup_.SetWaitRuns(5);
  const kt::TaskHostRun run = Run(L"--setup-budget 5");
  EXPECT_EQ(run.result(), 1) << run.output;
  EXPECT_EQ(setup_.LogLines(), kAllAttempts);
  EXPECT_EQ(kt::RunningCopies(ExtractionFolder() + L"\\sql64\\Setup.exe"), 5u) << "timed-out setups are left running";
  EXPECT_NE(std::find(run.statuses.begin(), run.statuses.end(), L"#Progress:4 5@@Installing"), run.statuses.end());
  EXPECT_TRUE(run.questions.empty());
}

TEST_F(SqlExpress, WhenEverySetupOutlastsItsBudgetTheTaskFailsSilently) {
  kt::NamedEvent never(L"sql-never");
  setup_.WaitFor(never);
  const kt::TaskHostRun run = Run(L"--setup-budget 2 --wait-slice-ms 20");
  EXPECT_EQ(run.result(), 0) << run.output;
  // Setups this short-lived may log out of order.
  ASSERT_TRUE(setup_.WaitForLogLines(kAllAttempts.size()));
  std::vector<std::wstring> lines = setup_.LogLines(), expected = kAllAttempts;
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(run.questions.empty());
  EXPECT_TRUE(run.traces.empty());
}

TEST_F(SqlExpress, APackageThatCannotBeHadStopsTheTask) {
  struct Case {
    const char* name;
    std::wstring link;
    std::vector<std::wstring> messages;
  } const cases[] = {
      {"link missing", L"", {L"Download link for the specified product is missing."}},
      {"download failed", kt::Widen(server_->HttpUrl("/sql/missing.zip")), {L"Failed to download SQL Server Express package"}},
      // Nothing to run: every attempt fails to start, without a message.
      {"damaged package", kt::Widen(server_->HttpUrl("/sql/empty.zip")), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clean();
    const kt::TaskHostRun run = Run(L"", Host({{kStrSql64Link, c.link}}));
    EXPECT_EQ(run.result(), 0) << run.output;
    EXPECT_EQ(run.questionTexts(), c.messages);
    for (const auto& q : run.questions) EXPECT_EQ(q.type, static_cast<UINT>(MB_OK));
    EXPECT_TRUE(run.traces.empty()) << testing::PrintToString(run.traces);
    EXPECT_TRUE(setup_.LogLines().empty());
    EXPECT_FALSE(kestrel::IsSqlInstancePresent());
  }
}

TEST(WellKnownAccountName, ComposesDomainAndAccountAndCopiesOnlyWhenItFits) {
  struct Case {
    WELL_KNOWN_SID_TYPE type;
    std::wstring expected;
  } const cases[] = {
      {WinNetworkServiceSid, L"NT AUTHORITY\\NETWORK SERVICE"},
      {WinBuiltinAdministratorsSid, L"BUILTIN\\Administrators"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.expected));
    const DWORD length = static_cast<DWORD>(c.expected.size());
    std::wstring name(64, L'x');
    DWORD capacity = length;  // no room for the terminator
    EXPECT_FALSE(kestrel::GetWellKnownAccountName(c.type, name.data(), capacity));
    EXPECT_EQ(capacity, length);
    EXPECT_EQ(name, std::wstring(64, L'x')) << "nothing copied";

    capacity = length + 1;
    ASSERT_TRUE(kestrel::GetWellKnownAccountName(c.type, name.data(), capacity));
    EXPECT_EQ(capacity, length);
    EXPECT_EQ(std::wstring(name.c_str()), c.expected);
  }
  // A SID that needs a domain cannot be made for the local machine.
  wchar_t name[64];
  DWORD capacity = 64;
  EXPECT_FALSE(kestrel::GetWellKnownAccountName(WinAccountAdministratorSid, name, capacity));
}

}  // namespace
