#include "engine/finalization.h"

#include <shlobj.h>

#include <cstdlib>
#include <mutex>

#include "app/builtin_strings.h"
#include "app/installer_state.h"
#include "ui/proxy_page.h"
#include "engine/child_process.h"
#include "net/text_convert.h"
#include "win/handle.h"
#include "win/message_box.h"
#include "win/module.h"
#include "win/registry.h"
#include "win/shell.h"

namespace kestrel {
namespace {

constexpr wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::mutex g_restartMutex;
std::function<void()> g_restarter;

bool SetUninstallText(const wchar_t* name, const std::wstring& text) {
  return SetUninstallValue(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void RestartForReal() {
  EnableShutdownPrivilege();
  if (::ExitWindowsEx(EWX_REBOOT | EWX_FORCE, SHTDN_REASON_MINOR_INSTALLATION)) return;
  // system() runs the command interpreter named by COMSPEC (cmd.exe when unset).
  (void)std::system("shutdown /r /t 1");
}

void AskForRestart() {
  if (win::ShowMessageCaptioned(L"Reboot is needed to complete the installation, reboot now?", L"Reboot", MB_YESNO) ==
      IDYES)
    RestartMachine();
}

}  // namespace

std::string InternetShortcutText(const std::wstring& url, const std::wstring& iconPath) {
  const std::wstring text = L"[InternetShortcut]\r\nURL=" + url + L"\r\nIconFile=" + iconPath +
                            L"\r\nIconIndex=0\r\nShowCommand=7\r\n\r\n";
  return WideToUtf8(text).value_or(std::string());
}

void WriteInternetShortcut(const std::wstring& url, const std::wstring& filePath, const std::wstring& iconPath) {
  win::UniqueHandle file(::CreateFileW(win::LongPath(filePath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string bytes = InternetShortcutText(url, iconPath);
  DWORD written = 0;
  ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void CreateShortcuts(const std::wstring& installDir) {
  const std::wstring icon = installDir + L"\\brand.ico";
  const std::wstring programs = win::SpecialFolderPath(CSIDL_COMMON_PROGRAMS, true);
  const std::wstring folderName = LoadBuiltInString(kStrStartMenuFolder);
  if (!programs.empty() && !folderName.empty()) {
    const std::wstring folder = programs + L"\\" + folderName;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    WriteInternetShortcut(kPortalUrl, folder + L"\\Portal.URL", icon);
    WriteInternetShortcut(kClusterManagerUrl, folder + L"\\Cluster Manager.URL", icon);
  }
  // On the common desktop itself, where a person looks for them.
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true);
  if (!desktop.empty()) {
    WriteInternetShortcut(kPortalUrl, desktop + L"\\Marrowfield Portal.URL", icon);
    WriteInternetShortcut(kClusterManagerUrl, desktop + L"\\Marrowfield Cluster Manager.URL", icon);
  }
}

std::optional<std::wstring> UninstallEntryKeyPath() {
  const std::wstring name = LoadBuiltInString(kStrDisplayName);
  if (name.empty() || name.find(L'\\') != std::wstring::npos || name == L"." || name == L"..") return std::nullopt;
  return std::wstring(kUninstallRoot) + name;
}

bool SetUninstallValue(const wchar_t* name, DWORD type, const void* data, DWORD byteCount) {
  auto path = UninstallEntryKeyPath();
  if (!path) return false;
  win::UniqueHkey key = win::CreateKey(HKEY_LOCAL_MACHINE, *path);
  return key && win::SetRaw(key.get(), name, type, data, byteCount);
}

int WriteUninstallEntry(const std::wstring& installDir) {
  SYSTEMTIME now = {};
  ::GetSystemTime(&now);
  wchar_t date[16] = {};
  ::swprintf(date, 16, L"%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
  const DWORD one = 1;
  const std::wstring version = LoadBuiltInString(kStrVersion);
  SetUninstallText(L"DisplayIcon", installDir + L"\\brand.ico,0");
  SetUninstallText(L"DisplayName", LoadBuiltInString(kStrDisplayName));
  SetUninstallText(L"DisplayVersion", version);
  SetUninstallText(L"InstallDate", date);
  SetUninstallText(L"InstallLocation", installDir);
  SetUninstallValue(L"NoModify", REG_DWORD, &one, sizeof one);
  SetUninstallValue(L"NoRepair", REG_DWORD, &one, sizeof one);
  SetUninstallText(L"Publisher", LoadBuiltInString(kStrPublisher));
  SetUninstallText(L"Version", version);
  SetUninstallText(L"UninstallString", L"\"" + installDir + L"\\KestrelSetup.exe\" -u");
  return 1;
}

void EnableShutdownPrivilege() {
  win::UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return;
  TOKEN_PRIVILEGES privileges = {};
  if (!::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

void RestartMachine() {
  std::function<void()> restarter;
  {
    std::lock_guard<std::mutex> lock(g_restartMutex);
    restarter = g_restarter;
  }
  if (restarter) {
    restarter();
    return;
  }
  // Tests of the real executable name a file here instead of restarting
  // the machine they run on.
  const std::wstring record = win::EnvironmentVariable(L"KESTREL_RESTART_RECORD");
  if (!record.empty()) {
    win::UniqueHandle file(::CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), "restart\r\n", 9, &written, nullptr);
    return;
  }
  RestartForReal();
}

void SetMachineRestarter(std::function<void()> restarter) {
  std::lock_guard<std::mutex> lock(g_restartMutex);
  g_restarter = std::move(restarter);
}

int FinalizeInstall(TaskContext& ctx) {
  const std::wstring installDir = ctx.InstallDir();
  CreateShortcuts(installDir);
  (void)RunAndWait(ctx, installDir + L"\\runportal.exe", L"runportal.exe", 30);
  WriteUninstallEntry(installDir);
  (void)ApplyProxyToWebConfig(ctx);
  WriteInstallState(kInstallStateIdle);
  ctx.SetButtonCaption(IDCANCEL, L"Close");
  AskForRestart();
  return 1;
}

int FinalizeUpgrade(TaskContext& ctx) {
  const std::wstring version = LoadBuiltInString(kStrVersion);
  SetUninstallText(L"DisplayVersion", version);
  SetUninstallText(L"Version", version);
  ctx.SetButtonCaption(IDCANCEL, L"Close");
  return 1;
}

}  // namespace kestrel
