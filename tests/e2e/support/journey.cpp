#include "support/journey.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "core/installer_state.h"
#include "engine/product_package.h"
#include "res/resource_ids.h"
#include "support/installed_product.h"
#include "support/process_fixtures.h"
#include "tests/support/zip_test_support.h"
#include "win/registry.h"
#include "win/shell.h"

namespace e2e {
namespace {

const std::wstring kRoot = L"C:\\ktest\\e2e";

// What each Windows class calls itself (see Machine).
struct WindowsName {
  const wchar_t* version;
  const wchar_t* productName;
  const wchar_t* buildLabel;
};
constexpr WindowsName kWindowsNames[] = {
    {kServer2008R2, L"Windows Server 2008 R2 Standard", L"7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707"},
    {kWindows7, L"Windows 7 Professional", L"7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707"},
    {kServer2008, L"Windows Server\u00AE 2008 Standard", L"6002.18005.amd64fre.lh_sp2rtm.090410-1830"},
    {kWindows10, L"Windows 10 Pro", L"19041.1.amd64fre.vb_release.191206-1406"},
    {kWindowsXp, L"Microsoft Windows XP", L"2600.5512.x86fre.xpsp.080413-2111"},
};

// What an installation or uninstallation may leave outside the scratch
// folders.
void PutBackTheMachine() {
  kt::DeleteInstallerKey();
  kt::RemoveProductRegistration();
  kt::RemoveTree(win::SpecialFolderPath(CSIDL_LOCAL_APPDATA, true) + L"\\installtemp");
  kt::RemoveTree(win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true) + L"\\" + kProductFolder);
  kt::RemoveTree(win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true) + L"\\" + kestrel::kStagingFolderName);
  kt::ClearWineVersionFor(L"KestrelSetup.exe");
}

}  // namespace

Machine::Machine(const std::wstring& windowsVersion) {
  // An installer left running by a journey that failed half-way.
  kt::EndRunningCopies(kRoot + L"\\setup\\KestrelSetup.exe");
  PutBackTheMachine();
  kt::RemoveTree(kRoot);
  const WindowsName* name = std::find_if(std::begin(kWindowsNames), std::end(kWindowsNames),
                                         [&](const WindowsName& n) { return windowsVersion == n.version; });
  if (name == std::end(kWindowsNames)) return;
  windowsName_ = std::make_unique<kt::WindowsNameScope>(name->productName, name->buildLabel);
  work_ = kt::ScratchFolder(L"e2e\\work");
  server_ = std::make_unique<kt::TestServer>(kt::ScratchFolder(L"e2e\\server"), /*https=*/true);
  if (!server_->ok()) return;
  release_ = kt::ProductTree("6.10.4129");
  upgrade_ = kt::ProductTree("6.11.0", {{"VantorisCloudMonitor.exe", kt::ReadFileBytes(kt::kFakeToolExe)},
                                        {"bin/new.dll", "new in 6.11"}});
  if (!server_->AddFile("/QRE/zip/build4129.zip", kt::PackageArchive(release_)) ||
      !server_->AddFile("/QRE/upgrade.zip", kt::PackageArchive(upgrade_)))
    return;

  const std::wstring folder = kt::ScratchFolder(L"e2e\\setup");
  const std::wstring copy = kt::CopyInstaller(folder);
  if (copy.empty()) return;
  const std::map<unsigned, std::string> links = {
      {kStrPackageLink, server_->HttpUrl("/QRE/zip/build4129.zip")},
      {kStrUpgradeLink, server_->HttpUrl("/QRE/upgrade.zip")},
      {kStrDotNetLink, server_->HttpUrl("/thirdparty/netfull.exe")},
      {kStrSql64Link, server_->HttpUrl("/thirdparty/sql64.zip")},
      {kStrSql86Link, server_->HttpUrl("/thirdparty/sql86.zip")},
      {kStrSql2012Link, server_->HttpUrl("/thirdparty/sql2012.zip")},
      {kStrSql2012x86Link, server_->HttpUrl("/thirdparty/sql2012_32.zip")},
      {kStrAuditEndpoint, server_->HttpsUrl("/namespace/n.svc/partneraudittrace")},
  };
  std::wstring options;
  for (const auto& [number, url] : links) options += L" --string \"" + std::to_wstring(number) + L"=" + kt::Widen(url) + L"\"";
  options += L" --string 139=6.11.0";
  if (!kt::Stamp(copy, options)) return;
  kt::SetWineVersionFor(L"KestrelSetup.exe", windowsVersion);
  installer_ = copy;
}

Machine::~Machine() {
  if (!installer_.empty()) kt::EndRunningCopies(installer_);
  server_.reset();
  PutBackTheMachine();
  kt::RemoveTree(kRoot);
}

bool Machine::SetReleasePath(const std::string& path) {
  return kt::Stamp(installer_, L"--string \"" + std::to_wstring(kStrPackageLink) + L"=" +
                                   kt::Widen(server_->HttpUrl(path)) + L"\"");
}

bool Machine::SetAuditEndpoint(const std::string& url) {
  return kt::Stamp(installer_, L"--string \"" + std::to_wstring(kStrAuditEndpoint) + L"=" + kt::Widen(url) + L"\"");
}

kt::Process Machine::Start(const std::wstring& arguments) { return kt::Launch(installer_, arguments); }

std::vector<std::string> Machine::Traces() const { return server_->ReceivedTraces(); }

namespace {

const std::wstring kNdpV4 = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4";

void RemoveFrameworkKey() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP", 0,
                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, &raw) != ERROR_SUCCESS)
    return;
  win::UniqueHkey ndp(raw);
  ::RegDeleteTreeW(ndp.get(), L"v4");
}

}  // namespace

FreshMachine::FreshMachine(const std::wstring& windowsVersion) : Machine(windowsVersion) {
  kt::TestService::Remove(L"MSSQL$MARROWFIELD");
  RemoveFrameworkKey();
  const std::wstring tools = work() + L"\\tools";
  for (const wchar_t* name : {L"Dism.exe", L"PkgMgr.exe", L"ServerManagerCmd.exe", L"iisreset.exe"})
    tools_.push_back(std::make_unique<kt::FakeTool>(kt::SystemFolder(), name));
  // These are scripted by name; the copies that run come from the server.
  for (const wchar_t* name : {L"Setup.exe", L"netfull.exe", L"DeployCfgCmd.exe", L"runportal.exe"})
    tools_.push_back(std::make_unique<kt::FakeTool>(tools, name));
  listing_ = tools + L"\\listing.txt";
  kt::WriteListing(listing_, {});
  dism().SetListing(listing_, true);
  sqlSetup().SetText(L"CreateService", L"MSSQL$MARROWFIELD|\"" + kt::kTestServiceExe + L"\"");
  netfull().SetText(L"SetValue", kNdpV4 + L"\\Full|Version|4.5.51209");

  const std::string fakeTool = kt::ReadFileBytes(kt::kFakeToolExe);
  namespace zt = kestrel::ziptest;
  server().AddFile("/thirdparty/netfull.exe", fakeTool);
  server().AddFile("/thirdparty/sql64.zip", zt::BuildZipBytes({zt::Entry("sql64/Setup.exe", fakeTool, 8)}));
  server().AddFile("/thirdparty/sql86.zip", zt::BuildZipBytes({zt::Entry("sql32/Setup.exe", fakeTool, 8)}));
  const std::string sql2012 = zt::BuildZipBytes({zt::Entry("sql2012/Setup.exe", fakeTool, 8)});
  server().AddFile("/thirdparty/sql2012.zip", sql2012);
  server().AddFile("/thirdparty/sql2012_32.zip", sql2012);
}

FreshMachine::~FreshMachine() {
  tools_.clear();
  kt::TestService::Remove(L"MSSQL$MARROWFIELD");
  RemoveFrameworkKey();
  kt::RemoveTree(win::SpecialFolderPath(CSIDL_LOCAL_APPDATA, true) + L"\\sqltemp");
}

std::wstring FreshMachine::DefaultProductDir() const {
  return win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true) + L"\\" + kProductFolder;
}

bool WalkToCommitPage(HWND wizard, const ExistingServer* existing) {
  if (existing == nullptr) return kt::WalkToCommitPage(wizard);
  return kt::WalkToCommitPage(wizard, [&](HWND page) {
    // Radio buttons set by message do not clear each other.
    kt::SetChecked(kt::FindControl(page, IDC_DB_ALL_IN_ONE), false);
    kt::SetChecked(kt::FindControl(page, IDC_DB_EXISTING), true);
    auto type = [&](int id, const std::wstring& text) {
      ::SendMessageW(kt::FindControl(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    };
    type(IDC_DB_SERVER, existing->server);
    type(IDC_DB_NAME, existing->name);
    type(IDC_DB_USER, existing->user);
    type(IDC_DB_PASSWORD, existing->password);
  });
}

bool UseSqliteAsSqlServerDriver() {
  const char* folder = std::getenv("ODBCSYSINI");
  if (folder == nullptr) return false;
  std::wstring windowsFolder = L"Z:" + kt::Widen(folder);
  for (auto& c : windowsFolder)
    if (c == L'/') c = L'\\';
  return kt::CreateFolders(windowsFolder) &&
         kt::WriteFileBytes(windowsFolder + L"\\odbcinst.ini",
                            "[SQL Server]\nDescription=test driver\n"
                            "Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n");
}

std::wstring RunTheTasks(HWND wizard, DWORD pid, const std::function<void()>& whileRunning, DWORD timeoutMs) {
  HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
  if (!kt::WaitUntil([&] { return kt::IsEnabled(finish); })) return L"<Install never enabled>";
  kt::PressButton(wizard, ID_WIZFINISH);
  // The run has begun once the button is disabled (a Retry left from an
  // earlier run must not pass for this run's end).
  if (!kt::WaitUntil([&] { return !kt::IsEnabled(finish); })) return L"<the run did not start>";
  // Message boxes carry the executable's name as their caption; the
  // restart question has its own. A failed task without a message of its
  // own leaves Retry behind.
  HWND box = nullptr;
  bool retry = false;
  if (!kt::WaitUntil(
          [&] {
            if (whileRunning) whileRunning();
            box = kt::WaitForMessageBox(L"Reboot", pid, 0);
            if (box == nullptr) box = kt::WaitForMessageBox(L"KestrelSetup", pid, 0);
            retry = box == nullptr && kt::WindowText(finish) == L"Retry" && kt::IsEnabled(finish);
            return box != nullptr || retry;
          },
          timeoutMs))
    return L"<the run did not end>";
  if (retry) return L"<Retry>";
  const std::wstring text = kt::MessageBoxText(box);
  const bool restartQuestion = kt::WindowText(box) == L"Reboot";
  kt::PressButton(box, restartQuestion ? IDNO : IDOK);
  if (restartQuestion) {
    // The question is the last task's last step: its row shows its result
    // only once the answer is in.
    kt::WaitUntil([&] {
      for (const Row& row : TaskRows(wizard))
        if (!row.status.empty() && !IsDone(row.status) && !IsFailed(row.status)) return false;
      return true;
    });
  }
  return text;
}

bool Machine::WaitForLastTrace(const std::string& text) const {
  return kt::WaitUntil([&] {
    const auto traces = Traces();
    return !traces.empty() && traces.back() == text;
  });
}

std::vector<Row> TaskRows(HWND wizard) {
  HWND list = kt::FindControl(wizard, IDC_TASK_LIST);
  std::vector<Row> rows;
  const int count = kt::ListRowCount(list);
  for (int row = 0; row < count; ++row) rows.push_back({kt::ListCellText(list, row, 1), kt::ListCellText(list, row, 2)});
  return rows;
}

bool IsDone(const std::wstring& status) {
  return status.size() >= 7 && status.compare(status.size() - 7, 7, L"#@@Done") == 0;
}
bool IsFailed(const std::wstring& status) {
  return status.size() >= 9 && status.compare(status.size() - 9, 9, L"#@@Failed") == 0;
}

}  // namespace e2e
