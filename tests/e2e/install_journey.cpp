// Fresh all-in-one installations through the real installer on each class
// of Windows this Wine can present, checked on the machine they leave.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "core/installer_state.h"
#include "res/resource_ids.h"
#include "support/journey.h"
#include "support/process_fixtures.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

const std::wstring kEntry = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Marrowfield";
const std::wstring kSqlSetup =
    L"Setup.exe  /q /Action=Install /SQLSVCACCOUNT=\"NT AUTHORITY\\Network Service\" /Hideconsole "
    L"/Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"Builtin\\Administrators\"";
const std::wstring kSqlSetupWithLicence =
    L"Setup.exe  /q /IACCEPTSQLSERVERLICENSETERMS /Action=Install /SQLSVCACCOUNT=\"NT AUTHORITY\\Network Service\" "
    L"/Hideconsole /Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"Builtin\\Administrators\"";

enum class IisTool { kDism, kPkgMgr, kServerManager };

struct FreshCase {
  const char* name;
  const wchar_t* windows;
  bool dotNetRow;
  IisTool iisTool;
  std::wstring sqlSetup;
  std::string description;  // the first trace, UTF-8
};
void PrintTo(const FreshCase& c, std::ostream* os) { *os << c.name; }

class FreshInstall : public testing::TestWithParam<FreshCase> {};

std::wstring EntryText(const wchar_t* name) {
  win::UniqueHkey entry = win::OpenKey(HKEY_LOCAL_MACHINE, kEntry);
  return entry ? win::QueryText(entry.get(), name, 1024).value_or(L"<missing>") : L"<no entry>";
}

TEST_P(FreshInstall, AllInOne) {
  const FreshCase& c = GetParam();
  e2e::FreshMachine machine(c.windows);
  ASSERT_TRUE(machine.ok());
  kt::Process setup = machine.Start();
  HWND wizard = kt::WaitForWindow(e2e::kWizardCaption, setup.pid());
  ASSERT_NE(wizard, nullptr);
  ASSERT_TRUE(e2e::WalkToCommitPage(wizard));

  std::vector<std::wstring> labels;
  for (const auto& row : e2e::TaskRows(wizard)) labels.push_back(row.label);
  std::vector<std::wstring> expected;
  if (c.dotNetRow) expected.push_back(L"Install .Net 4.0");
  for (const wchar_t* label : {L"Install SQL Express", L"Check and install IIS Web Server", L"Install Marrowfield Package",
                               L"Configure Web Applications", L"Initialize Database", L"Finalize the installation"})
    expected.push_back(label);
  EXPECT_EQ(labels, expected);

  EXPECT_EQ(e2e::RunTheTasks(wizard, setup.pid()), L"Reboot is needed to complete the installation, reboot now?");
  for (const auto& row : e2e::TaskRows(wizard)) EXPECT_TRUE(e2e::IsDone(row.status)) << testing::PrintToString(row.label);
  EXPECT_TRUE(kt::WaitUntil([&] { return kt::WindowText(kt::FindControl(wizard, IDCANCEL)) == L"Close"; }));
  EXPECT_TRUE(machine.WaitForLastTrace("commit:task completed"));
  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(setup.Wait(&code));
  EXPECT_EQ(code, 3010u) << "the restart question was answered No";

  // The prerequisites.
  EXPECT_EQ(machine.netfull().LogLines(), c.dotNetRow ? std::vector<std::wstring>{L"netfull.exe /q"}
                                                      : std::vector<std::wstring>{});
  EXPECT_EQ(machine.sqlSetup().LogLines(), std::vector<std::wstring>{c.sqlSetup}) << "the first attempt did it";
  {
    win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    EXPECT_TRUE(win::UniqueService(::OpenServiceW(manager.get(), L"MSSQL$MARROWFIELD", SERVICE_QUERY_STATUS)))
        << "the instance's service exists";
  }
  kt::FakeTool& iis = c.iisTool == IisTool::kDism      ? machine.dism()
                      : c.iisTool == IisTool::kPkgMgr  ? machine.pkgmgr()
                                                       : machine.serverManager();
  EXPECT_GT(iis.Runs(), 0u) << "the web server's features were enabled with the tool of this Windows";

  // The product.
  const std::wstring product = machine.DefaultProductDir();
  std::string difference;
  EXPECT_TRUE(kt::SameTree(product, machine.release(), &difference)) << difference;
  EXPECT_EQ(machine.config().LogLines(), (std::vector<std::wstring>{L"DeployCfgCmd configapp",
                                                                    L"DeployCfgCmd initdb true localhost\\MARROWFIELD # default"}));
  EXPECT_EQ(machine.launcher().LogLines(), std::vector<std::wstring>{L"runportal.exe"});

  // The installer's state, the entry and the shortcuts.
  DWORD type = 0;
  EXPECT_EQ(kt::InstallerValueBytes(kestrel::kValueInstallState, &type), (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(kt::InstallerValueBytes(L"DBInstallState", &type), (std::vector<unsigned char>{1, 0, 0, 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(EntryText(L"UninstallString"), L"\"" + product + L"\\KestrelSetup.exe\" -u");
  EXPECT_EQ(EntryText(L"DisplayVersion"), L"6.11.0");
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true);
  const std::string portal = kt::ReadFileBytes(desktop + L"\\Marrowfield Portal.URL");
  EXPECT_EQ(portal.rfind("[InternetShortcut]\r\nURL=http://localhost/portal/WebAppPage.aspx\r\n", 0), 0u) << portal;
  EXPECT_TRUE(kt::Exists(desktop + L"\\Marrowfield Cluster Manager.URL"));

  // What the audit service heard: the system first, the end last.
  const auto traces = machine.Traces();
  ASSERT_GE(traces.size(), 3u);
  EXPECT_EQ(traces.front(), c.description);
  EXPECT_NE(std::find(traces.begin(), traces.end(), "ClusterMode:no existing sql server"), traces.end());
  EXPECT_NE(std::find(traces.begin(), traces.end(), "commit page"), traces.end());
  EXPECT_EQ(traces.back(), "commit:task completed");
}

INSTANTIATE_TEST_SUITE_P(
    Windows, FreshInstall,
    testing::Values(FreshCase{"Server2008R2", e2e::kServer2008R2, true, IisTool::kDism, kSqlSetup,
                              "Windows Server 2008 R2 Standard (7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707)"},
                    FreshCase{"Windows7", e2e::kWindows7, true, IisTool::kPkgMgr, kSqlSetup,
                              "Windows 7 Professional (7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707)"},
                    FreshCase{"Server2008", e2e::kServer2008, true, IisTool::kServerManager, kSqlSetup,
                              "Windows Server\xC2\xAE 2008 Standard (6002.18005.amd64fre.lh_sp2rtm.090410-1830)"},
                    FreshCase{"Windows10", e2e::kWindows10, false, IisTool::kDism, kSqlSetupWithLicence,
                              "Windows 10 Pro (19041.1.amd64fre.vb_release.191206-1406)"}),
    [](const testing::TestParamInfo<FreshCase>& info) { return std::string(info.param.name); });

TEST(UnsupportedWindows, WindowsXpCannotInstall) {
  e2e::Machine machine(e2e::kWindowsXp);
  ASSERT_TRUE(machine.ok());
  kt::Process setup = machine.Start();
  HWND wizard = kt::WaitForWindow(e2e::kWizardCaption, setup.pid());
  ASSERT_NE(wizard, nullptr);
  HWND next = kt::FindControl(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Welcome"));
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::IsEnabled(next); }));
  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"License Agreement"));
  kt::SetChecked(kt::FindControl(kt::CurrentPage(wizard), IDC_EULA_AGREE), true);
  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Choose Installation Type"));
  kt::PressButton(wizard, ID_WIZNEXT);
  HWND box = kt::WaitForMessageBox(L"KestrelSetup", setup.pid());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(kt::MessageBoxText(box), L"Failed to check os type");
  kt::PressButton(box, IDOK);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Install now"));
  EXPECT_TRUE(e2e::TaskRows(wizard).empty()) << "nothing to install";
  kt::PressButton(wizard, IDCANCEL);
  EXPECT_TRUE(setup.Wait(nullptr));
  EXPECT_TRUE(kt::InstallerValueBytes(kestrel::kValueLastInstallPath).empty()) << "nothing was installed";
  const auto traces = machine.Traces();
  ASSERT_FALSE(traces.empty());
  EXPECT_EQ(traces.front(), "Microsoft Windows XP (2600.5512.x86fre.xpsp.080413-2111)");
}

}  // namespace
