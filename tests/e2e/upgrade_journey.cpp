// An installed copy upgraded by the real installer, then removed through
// the command its uninstall entry registers.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <regex>

#include "core/installer_state.h"
#include "engine/product_package.h"
#include "res/resource_ids.h"
#include "support/installed_product.h"
#include "support/journey.h"
#include "support/process_fixtures.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

const std::wstring kEntry = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Marrowfield";

DWORD ServiceProcess(const std::wstring& name) {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  win::UniqueService service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed))
    return 0;
  return status.dwCurrentState == SERVICE_RUNNING ? status.dwProcessId : 0;
}

std::wstring EntryText(const wchar_t* name) {
  win::UniqueHkey entry = win::OpenKey(HKEY_LOCAL_MACHINE, kEntry);
  return entry ? win::QueryText(entry.get(), name, 1024).value_or(L"<missing>") : L"<no entry>";
}

TEST(UpgradeJourney, UpgradesAnInstalledCopyThenUninstallsIt) {
  e2e::Machine machine(e2e::kServer2008R2);
  ASSERT_TRUE(machine.ok());
  // The machine an installation of 6.10.4129 left, configured and running.
  const std::wstring base = machine.work() + L"\\Apps";
  const std::wstring product = base + L"\\" + e2e::kProductFolder;
  ASSERT_TRUE(kt::WriteTree(product, machine.release()));
  ASSERT_TRUE(kt::WriteFileBytes(product + L"\\root\\uploads.txt", "the user's data"));
  kt::SetInstallerText(kestrel::kValueLastInstallPath, base);
  kt::SetInstallerText(kestrel::kValueDbServer, L"localhost\\MARROWFIELD");
  kt::SetInstallerInt(kestrel::kValueInstallState, 0);
  {
    win::UniqueHkey entry = win::CreateKey(HKEY_LOCAL_MACHINE, kEntry);
    win::SetString(entry.get(), L"DisplayName", L"Marrowfield");
    win::SetString(entry.get(), L"DisplayVersion", L"6.10.4129");
    win::SetString(entry.get(), L"Version", L"6.10.4129");
    win::SetString(entry.get(), L"UninstallString", L"\"" + product + L"\\KestrelSetup.exe\" -u");
  }
  kt::TestService monitorService(L"VEVer", L"");
  ASSERT_TRUE(monitorService.StartAndWaitRunning());
  const DWORD serviceBefore = ServiceProcess(L"VEVer");
  kt::FakeTool iisreset(kt::SystemFolder(), L"iisreset.exe");
  kt::FakeTool config(machine.work() + L"\\tools", L"DeployCfgCmd.exe");  // scripts the installed copies
  // The configuration tool runs, the way Windows holds a running program.
  win::UniqueHandle running(::CreateFileW((product + L"\\DeployCfgCmd.exe").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(running);

  kt::Process setup = machine.Start();
  HWND question = kt::WaitForMessageBox(L"KestrelSetup", setup.pid());
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(kt::MessageBoxText(question), L"You already have Marrowfield installed, Do you want to upgrade?");
  kt::PressButton(question, IDYES);
  HWND wizard = kt::WaitForWindow(e2e::kWizardCaption, setup.pid());
  ASSERT_NE(wizard, nullptr);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Upgrade now"));
  std::vector<std::wstring> labels;
  for (const auto& row : e2e::TaskRows(wizard)) labels.push_back(row.label);
  EXPECT_EQ(labels, (std::vector<std::wstring>{L"Stop Cloud Monitor", L"Download and extract upgrade package",
                                               L"Stop Web Server", L"Patch the installation", L"Start Web Server",
                                               L"Start Cloud Monitor", L"Finalize the upgrade"}));

  HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::IsEnabled(finish); }));
  kt::PressButton(wizard, ID_WIZFINISH);
  HWND cancel = kt::FindControl(wizard, IDCANCEL);
  ASSERT_TRUE(kt::WaitUntil([&] { return kt::WindowText(cancel) == L"Close"; }))
      << "the upgrade did not finish; last row: " << testing::PrintToString(e2e::TaskRows(wizard).back().status);
  for (const auto& row : e2e::TaskRows(wizard)) EXPECT_TRUE(e2e::IsDone(row.status)) << testing::PrintToString(row.label);
  EXPECT_TRUE(machine.WaitForLastTrace("commit:task completed"));
  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(setup.Wait(&code));
  EXPECT_EQ(code, 0u);

  // What the machine shows now.
  std::string difference;
  EXPECT_TRUE(kt::SameTree(product, machine.upgrade(), &difference)) << difference;
  EXPECT_EQ(kt::ReadFileBytes(product + L"\\root\\uploads.txt"), "the user's data");
  EXPECT_FALSE(kt::Exists(base + L"\\" + kestrel::kStagingFolderName)) << "the extracted upgrade is used up";
  WIN32_FIND_DATAW aside;
  win::UniqueFind found(::FindFirstFileW((product + L"\\DeployCfgCmd.exe_*").c_str(), &aside));
  ASSERT_TRUE(found) << "the running program's file was moved aside";
  EXPECT_TRUE(std::regex_match(std::wstring(aside.cFileName), std::wregex(LR"(DeployCfgCmd\.exe_[0-9]+)")));
  const DWORD serviceAfter = ServiceProcess(L"VEVer");
  EXPECT_NE(serviceAfter, 0u) << "the monitor service runs again";
  EXPECT_NE(serviceAfter, serviceBefore) << "it was stopped and started";
  EXPECT_EQ(iisreset.LogLines(), (std::vector<std::wstring>{L"iisreset /stop", L"iisreset /start"}));
  EXPECT_EQ(EntryText(L"DisplayVersion"), L"6.11.0");
  EXPECT_EQ(EntryText(L"Version"), L"6.11.0");
  EXPECT_EQ(EntryText(L"DisplayName"), L"Marrowfield") << "the rest of the entry stays";
  // The system description first, then the run.
  EXPECT_EQ(machine.Traces(),
            (std::vector<std::string>{"Windows Server 2008 R2 Standard (7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707)",
                                      "Start: needs upgrade", "commit page", "commit:task completed"}));
  running.reset();

  // Removed through the command the entry registers.
  config.SetExitCodes(L"0");
  const std::wstring record = machine.work() + L"\\restart.txt";
  std::string failure;
  EXPECT_EQ(kt::RunRegisteredUninstall(record, IDYES, &failure), 1641) << failure;
  EXPECT_EQ(kt::ReadFileBytes(record).empty(), false) << "Yes restarts the machine (through the seam)";
  EXPECT_EQ(config.LogLines().back(), L"DeployCfgCmd uninstall");
  EXPECT_TRUE(kt::TestService::Remove(L"VEVer")) << "the service is gone";
  EXPECT_FALSE(kt::Exists(product + L"\\root")) << "the product's files are gone";
  EXPECT_FALSE(win::OpenKey(HKEY_LOCAL_MACHINE, kEntry)) << "the uninstall entry is gone";
  EXPECT_TRUE(kt::InstallerValueBytes(kestrel::kValueDbServer).empty());
  EXPECT_EQ(machine.Traces().size(), 4u) << "nothing is sent while uninstalling";
}

}  // namespace
