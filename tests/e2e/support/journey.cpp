#include "support/journey.h"

#include <shlobj.h>

#include "app/installer_state.h"
#include "res/resource_ids.h"
#include "support/process_fixtures.h"
#include "win/registry.h"
#include "win/shell.h"

namespace e2e {
namespace {

const std::wstring kRoot = L"C:\\ktest\\e2e";
const std::wstring kUninstallRoot = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring LocalPath(const std::wstring& folder, const std::string& path) {
  std::wstring local = folder + L"\\" + Wide(path);
  for (auto& c : local)
    if (c == L'/') c = L'\\';
  if (!local.empty() && local.back() == L'\\') local.pop_back();
  return local;
}

// What an installation or uninstallation may leave outside the scratch
// folders.
void PutBackTheMachine() {
  kt::DeleteInstallerKey();
  win::UniqueHkey uninstall = win::OpenKey(HKEY_LOCAL_MACHINE, kUninstallRoot, KEY_ALL_ACCESS);
  if (uninstall) ::RegDeleteTreeW(uninstall.get(), L"Marrowfield");
  kt::RemoveTree(win::SpecialFolderPath(CSIDL_COMMON_PROGRAMS, true) + L"\\Marrowfield");
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true);
  ::DeleteFileW((desktop + L"\\Marrowfield Portal.URL").c_str());
  ::DeleteFileW((desktop + L"\\Marrowfield Cluster Manager.URL").c_str());
  kt::RemoveTree(win::SpecialFolderPath(CSIDL_LOCAL_APPDATA, true) + L"\\installtemp");
  kt::RemoveTree(win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true) + L"\\" + kProductFolder);
  kt::RemoveTree(win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true) + L"\\build");
  kt::ClearWineVersionFor(L"KestrelSetup.exe");
}

// The text between <Trace> and </Trace>.
std::string TraceText(const std::string& body) {
  const size_t start = body.find("<Trace>");
  const size_t end = body.find("</Trace>");
  if (start == std::string::npos || end == std::string::npos || end < start) return "<no trace element>";
  return body.substr(start + 7, end - start - 7);
}

}  // namespace

Machine::Machine(const std::wstring& windowsVersion) {
  PutBackTheMachine();
  kt::RemoveTree(kRoot);
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
  for (const auto& [number, url] : links) options += L" --string \"" + std::to_wstring(number) + L"=" + Wide(url) + L"\"";
  options += L" --string 139=6.11.0";
  if (!kt::Stamp(copy, options)) return;
  kt::SetWineVersionFor(L"KestrelSetup.exe", windowsVersion);
  installer_ = copy;
}

Machine::~Machine() {
  server_.reset();
  PutBackTheMachine();
  kt::RemoveTree(kRoot);
}

kt::Process Machine::Start(const std::wstring& arguments) { return kt::Launch(installer_, arguments); }

std::vector<std::string> Machine::Traces() const {
  std::vector<std::string> traces;
  for (int n = 1;; ++n) {
    wchar_t name[16];
    swprintf(name, 16, L"\\%04d.body", n);
    const std::wstring path = server_->postDir() + name;
    if (!kt::Exists(path)) break;
    traces.push_back(TraceText(kt::ReadFileBytes(path)));
  }
  return traces;
}

bool WriteTree(const std::wstring& folder, const kt::PackageTree& tree) {
  for (const auto& [path, bytes] : tree) {
    const std::wstring local = LocalPath(folder, path);
    if (path.back() == '/') {
      if (!kt::CreateFolders(local)) return false;
    } else if (!kt::CreateFolders(local.substr(0, local.rfind(L'\\'))) || !kt::WriteFileBytes(local, bytes)) {
      return false;
    }
  }
  return true;
}

bool SameTree(const std::wstring& folder, const kt::PackageTree& tree, std::string* difference) {
  for (const auto& [path, bytes] : tree) {
    const std::wstring local = LocalPath(folder, path);
    const bool same = path.back() == '/' ? kt::Exists(local) : kt::Exists(local) && kt::ReadFileBytes(local) == bytes;
    if (!same) {
      if (difference) *difference = path;
      return false;
    }
  }
  return true;
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
