// The last task of each list: shortcuts, the uninstall entry, the finished
// install state and the restart question (asked through the context).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "engine/product_contract.h"
#include "engine/task_context.h"

namespace kestrel {

// The installed product's pages on the local web server.
inline const std::wstring kPortalUrl = std::wstring(L"http://localhost") + product::kPortalPage;
inline const std::wstring kClusterManagerUrl = std::wstring(L"http://localhost") + product::kClusterPage;

// The shortcuts on the common desktop (the uninstallation removes them).
inline constexpr wchar_t kDesktopPortalShortcut[] = L"Marrowfield Portal.URL";
inline constexpr wchar_t kDesktopClusterShortcut[] = L"Marrowfield Cluster Manager.URL";

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

// Whether the uninstall entry is there: an installed copy to remove.
bool IsProductRegistered();
// The entry's DisplayVersion; nothing without an entry or the value.
std::optional<std::wstring> RegisteredVersion();
int WriteUninstallEntry(const std::wstring& installDir);
bool SetUninstallValue(const wchar_t* name, DWORD type, const void* data, DWORD byteCount);

}  // namespace kestrel
