#include "engine/finalization.h"

#include <shlobj.h>


#include "core/builtin_strings.h"
#include "core/installer_state.h"
#include "core/text_convert.h"
#include "engine/child_process.h"
#include "engine/product_contract.h"
#include "engine/web_config.h"
#include "win/handle.h"
#include "win/module.h"
#include "win/registry.h"
#include "win/shell.h"

namespace kestrel {
namespace {

constexpr wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool SetUninstallText(const wchar_t* name, const std::wstring& text) {
  return SetUninstallValue(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
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
  const std::wstring icon = installDir + L"\\" + product::kBrandIcon;
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
    WriteInternetShortcut(kPortalUrl, desktop + L"\\" + kDesktopPortalShortcut, icon);
    WriteInternetShortcut(kClusterManagerUrl, desktop + L"\\" + kDesktopClusterShortcut, icon);
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
  SetUninstallText(L"DisplayIcon", installDir + L"\\" + product::kBrandIcon + L",0");
  SetUninstallText(L"DisplayName", LoadBuiltInString(kStrDisplayName));
  SetUninstallText(L"DisplayVersion", version);
  SetUninstallText(L"InstallDate", date);
  SetUninstallText(L"InstallLocation", installDir);
  SetUninstallValue(L"NoModify", REG_DWORD, &one, sizeof one);
  SetUninstallValue(L"NoRepair", REG_DWORD, &one, sizeof one);
  SetUninstallText(L"Publisher", LoadBuiltInString(kStrPublisher));
  SetUninstallText(L"Version", version);
  const std::wstring uninstall = L"\"" + installDir + L"\\" + product::kUninstallerExe + L"\" -u";
  SetUninstallText(L"UninstallString", uninstall);
  // What fleet tools run to remove the product without a window.
  SetUninstallText(L"QuietUninstallString", uninstall + L" /quiet");
  return 1;
}

int FinalizeInstall(TaskContext& ctx) {
  const std::wstring installDir = ctx.InstallDir();
  CreateShortcuts(installDir);
  (void)RunAndWait(ctx, installDir + L"\\" + product::kLauncherExe, product::kLauncherCommand, 30);
  WriteUninstallEntry(installDir);
  (void)ApplyProxyToWebConfig(ctx);
  WriteInstallState(kInstallStateIdle);
  ctx.SetButtonCaption(IDCANCEL, L"Close");
  OfferRestart(ctx, L"Reboot is needed to complete the installation, reboot now?");
  return 1;
}

int FinalizeUpgrade(TaskContext& ctx) {
  const std::wstring version = LoadBuiltInString(kStrVersion);
  SetUninstallText(L"DisplayVersion", version);
  SetUninstallText(L"Version", version);
  ctx.SetButtonCaption(IDCANCEL, L"Close");
  return 1;
}

bool IsProductRegistered() {
  auto path = UninstallEntryKeyPath();
  return path && static_cast<bool>(win::OpenKey(HKEY_LOCAL_MACHINE, *path));
}

std::optional<std::wstring> RegisteredVersion() {
  auto path = UninstallEntryKeyPath();
  if (!path) return std::nullopt;
  win::UniqueHkey entry = win::OpenKey(HKEY_LOCAL_MACHINE, *path);
  if (!entry) return std::nullopt;
  return win::QueryText(entry.get(), L"DisplayVersion", 1024);
}

}  // namespace kestrel
