#include "win/machine_restart.h"

#include <windows.h>

#include <cstdlib>

#include "win/handle.h"

namespace win {
namespace {

void EnableShutdownPrivilege() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return;
  TOKEN_PRIVILEGES privileges = {};
  if (!::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

}  // namespace

void RestartMachine() {
  EnableShutdownPrivilege();
  if (::ExitWindowsEx(EWX_REBOOT | EWX_FORCE, SHTDN_REASON_MINOR_INSTALLATION)) return;
  // system() runs the command interpreter named by COMSPEC (cmd.exe when unset).
  (void)std::system("shutdown /r /t 1");
}

}  // namespace win
