#include "engine/product_contract.h"
#include "uninstall/uninstall_dlg.h"

#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <cstdlib>

#include "app/builtin_strings.h"
#include "app/installer_state.h"
#include "engine/finalization.h"
#include "engine/product_package.h"
#include "res/resource_ids.h"
#include "win/message_box.h"
#include "win/module.h"
#include "win/registry.h"
#include "win/shell.h"

namespace kestrel {
namespace {

std::atomic<int> g_toolCap{900};

bool IsDotOrDotDot(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

void DeleteNowOrAtRestart(const std::wstring& path, bool folder) {
  const std::wstring longPath = win::LongPath(path);
  const BOOL deleted = folder ? ::RemoveDirectoryW(longPath.c_str()) : ::DeleteFileW(longPath.c_str());
  if (!deleted) ::MoveFileExW(longPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void DeleteMonitorService() {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  win::UniqueService service(::OpenServiceW(manager.get(), product::kMonitorService, DELETE));
  if (service) ::DeleteService(service.get());
}

void DeleteUninstallEntry() {
  auto path = UninstallEntryKeyPath();
  if (!path) return;
  const size_t slash = path->find_last_of(L'\\');
  win::UniqueHkey parent = win::OpenKey(HKEY_LOCAL_MACHINE, path->substr(0, slash), KEY_ALL_ACCESS);
  if (parent) ::RegDeleteTreeW(parent.get(), path->substr(slash + 1).c_str());
}

void DeleteDbServerValue() {
  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, kInstallerKeyPath, KEY_SET_VALUE);
  if (key) ::RegDeleteValueW(key.get(), kValueDbServer);
}

}  // namespace

void SetToolUninstallCap(int seconds) { g_toolCap = seconds < 1 ? 1 : seconds; }

UninstallDlg::UninstallDlg() : win::Dialog(IDD_UNINSTALL) {}

BOOL UninstallDlg::OnInitDialog() {
  win::SetMainWindow(hwnd());
  SetItemText(IDC_UNINSTALL_STATUS, L"Please click 'Uninstall' to begin uninstallation process.");
  return TRUE;
}

void UninstallDlg::SetStatus(const std::wstring& text) { SetItemText(IDC_UNINSTALL_STATUS, text); }

void UninstallDlg::ProgressStep(int n) {
  HWND bar = Item(IDC_UNINSTALL_PROGRESS);
  const int position = static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
  ::SendMessageW(bar, PBM_SETPOS, (position + n) % 100, 0);
}

void UninstallDlg::OnOK() {
  if (uninstallThread_) return;
  ::ShowWindow(Item(IDOK), SW_HIDE);
  ::SendMessageW(Item(IDC_UNINSTALL_PROGRESS), PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  uninstallThread_.reset(::CreateThread(nullptr, 0, &UninstallDlg::WorkerEntry, this, 0, nullptr));
}

void UninstallDlg::OnCancel() {
  if (uninstallThread_) {
    // The steps have no safe point to stop at: end the process here and now,
    // leaving done what was done.
    ::TerminateProcess(::GetCurrentProcess(), 0);
  }
  EndDialog(IDCANCEL);
}

DWORD WINAPI UninstallDlg::WorkerEntry(void* dialog) {
  try {
    RunUninstall(*static_cast<UninstallDlg*>(dialog));
  } catch (...) {
  }
  ::ExitProcess(0);
}

bool RunToolUninstall(UninstallDlg& dialog, const std::wstring& toolPath) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  std::wstring commandLine = product::kUninstallCommand;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(toolPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
    return false;
  win::UniqueHandle process(info.hProcess), thread(info.hThread);
  const int cap = g_toolCap;
  for (int i = 0; i < cap; ++i) {
    if (::WaitForSingleObject(process.get(), 1000) == WAIT_OBJECT_0) return true;
    dialog.ProgressStep(1);
  }
  // Given up on, not ended: it goes on by itself.
  return false;
}

void UninstallDeleteTree(UninstallDlg& dialog, const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  win::UniqueFind find(::FindFirstFileW((win::LongPath(folder) + L"\\*.*").c_str(), &entry));
  if (find) {
    do {
      if (IsDotOrDotDot(entry.cFileName)) continue;
      const std::wstring path = folder + L"\\" + entry.cFileName;
      const bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (directory && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        UninstallDeleteTree(dialog, path);
        continue;
      }
      // A file, or a link (junction) that is removed as a link: what it
      // points to is not the product's.
      dialog.SetStatus(L"Delete:" + path);
      dialog.ProgressStep(1);
      DeleteNowOrAtRestart(path, directory);
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  dialog.SetStatus(L"Delete:" + folder);
  dialog.ProgressStep(1);
  DeleteNowOrAtRestart(folder, true);
}

void RunUninstall(UninstallDlg& dialog) {
  DeleteMonitorService();
  (void)std::system("sc stop VEVer");
  (void)std::system("sc delete VEVer");

  std::wstring base;
  if (!ReadLastInstallPath(base)) base = win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true);
  const std::wstring productFolder = LoadBuiltInString(kStrProductFolder);
  const std::wstring productDir = base + L"\\" + productFolder;
  dialog.SetStatus(L"Remove registry");
  (void)RunToolUninstall(dialog, productDir + L"\\" + product::kConfigToolExe);
  dialog.ProgressStep(10);
  DeleteDbServerValue();

  // An empty or path-like folder name would make these reach the parent.
  const std::wstring startMenuFolder = LoadBuiltInString(kStrStartMenuFolder);
  if (IsPlainFolderName(startMenuFolder))
    UninstallDeleteTree(dialog, win::SpecialFolderPath(CSIDL_COMMON_PROGRAMS, true) + L"\\" + startMenuFolder);
  if (IsPlainFolderName(productFolder) && !base.empty()) UninstallDeleteTree(dialog, productDir);
  DeleteUninstallEntry();
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, false);
  if (!desktop.empty()) {
    ::DeleteFileW((desktop + L"\\Marrowfield Portal.URL").c_str());
    ::DeleteFileW((desktop + L"\\Marrowfield Cluster Manager.URL").c_str());
  }

  if (win::ShowMessageCaptioned(L"Reboot is needed to complete the uninstallation, reboot now?", L"Reboot",
                                MB_YESNO) == IDYES)
    RestartMachine();
  ::ExitProcess(0);
}

}  // namespace kestrel
