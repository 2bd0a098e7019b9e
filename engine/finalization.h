// The last task of each list: shortcuts, the uninstall entry, the finished
// install state and the restart question.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "engine/task_context.h"

namespace kestrel {

inline constexpr wchar_t kPortalUrl[] = L"http://localhost/portal/WebAppPage.aspx";
inline constexpr wchar_t kClusterManagerUrl[] = L"http://localhost/management/ClusterMgr.aspx";

int FinalizeInstall(TaskContext& ctx);
int FinalizeUpgrade(TaskContext& ctx);

void CreateShortcuts(const std::wstring& installDir);
void WriteInternetShortcut(const std::wstring& url, const std::wstring& filePath, const std::wstring& iconPath);
// The bytes of a .URL file (UTF-8, CR LF line ends, an empty last line).
std::string InternetShortcutText(const std::wstring& url, const std::wstring& iconPath);

// The product's uninstall entry key (32-bit view) below HKLM; nullopt when
// the product name is empty or not a plain key name, so nothing can ever
// write to or delete the whole list of installed programs.
std::optional<std::wstring> UninstallEntryKeyPath();
int WriteUninstallEntry(const std::wstring& installDir);
bool SetUninstallValue(const wchar_t* name, DWORD type, const void* data, DWORD byteCount);

void EnableShutdownPrivilege();

// Restarts the machine (forced, reason "installation"), falling back to the
// shutdown command. Tests put a recorder in its place (in-process through
// SetMachineRestarter, or for the real executable a file named by the
// environment variable KESTREL_RESTART_RECORD, which gets a line instead):
// nothing in a test ever restarts the machine.
void RestartMachine();
void SetMachineRestarter(std::function<void()> restarter);

}  // namespace kestrel
