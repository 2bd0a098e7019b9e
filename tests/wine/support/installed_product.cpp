#include "support/installed_product.h"

#include <shlobj.h>

#include "support/test_support.h"
#include "win/registry.h"
#include "win/shell.h"

namespace kt {

std::wstring RegisteredUninstallCommand() {
  win::UniqueHkey entry =
      win::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Marrowfield");
  return entry ? win::QueryText(entry.get(), L"UninstallString", 1024).value_or(L"") : L"";
}

void RemoveProductRegistration() {
  win::UniqueHkey uninstall =
      win::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", KEY_ALL_ACCESS);
  if (uninstall) ::RegDeleteTreeW(uninstall.get(), L"Marrowfield");
  RemoveTree(win::SpecialFolderPath(CSIDL_COMMON_PROGRAMS, true) + L"\\Marrowfield");
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true);
  ::DeleteFileW((desktop + L"\\Marrowfield Portal.URL").c_str());
  ::DeleteFileW((desktop + L"\\Marrowfield Cluster Manager.URL").c_str());
}

int RunRegisteredUninstall(const std::wstring& restartRecord, int restartAnswer, std::string* failure) {
  const std::wstring command = RegisteredUninstallCommand();
  const size_t close = command.find(L'"', 1);
  if (command.size() < 3 || command[0] != L'"' || close == std::wstring::npos) {
    *failure = "no quoted uninstall command registered";
    return -1;
  }
  const std::wstring arguments = close + 2 <= command.size() ? command.substr(close + 2) : L"";
  Process first = Launch(command.substr(1, close - 1), arguments, {L"KESTREL_RESTART_RECORD=" + restartRecord});
  HWND dialog = WaitForWindow(L"Uninstall");
  if (dialog == nullptr) {
    *failure = "no Uninstall window";
    return -1;
  }
  Process uninstaller = Attach(WindowProcess(dialog));
  PressButton(dialog, IDOK);
  HWND box = WaitForMessageBox(L"Reboot", uninstaller.pid());
  if (box == nullptr) {
    *failure = "no restart question";
    return -1;
  }
  PressButton(box, restartAnswer);
  DWORD code = 0;
  if (!uninstaller.Wait(&code)) {
    *failure = "the uninstaller did not end";
    return -1;
  }
  // The registered command's own process waited for the relaunched one
  // and ends with its exit code.
  DWORD firstCode = 0;
  if (!first.Wait(&firstCode) || firstCode != code) {
    *failure = "the started process did not end with the uninstaller's exit code";
    return -1;
  }
  return static_cast<int>(code);
}

}  // namespace kt
