#include "engine/product_contract.h"
#include "engine/product_package.h"

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <vector>

#include "app/builtin_strings.h"
#include "app/installer_state.h"
#include "app/marker_folder.h"
#include "net/download.h"
#include "engine/zip_extract.h"
#include "net/audit_trace.h"
#include "win/handle.h"
#include "win/module.h"
#include "win/shell.h"

namespace kestrel {
namespace {

constexpr wchar_t kLinkMissing[] = L"Download link for the specified product is missing.";
constexpr wchar_t kDownloadFailed[] = L"Failed to download product installation package";
constexpr wchar_t kExtractFailed[] = L"Failed to extract product installation package";

bool IsDotOrDotDot(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

std::wstring PackagePath() { return DownloadFolder() + L"\\qre.zip"; }

// LastInstallPath when present, else Program Files.
std::wstring BaseFolder() {
  std::wstring base;
  if (!ReadLastInstallPath(base)) base = win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true);
  return base;
}

}  // namespace

void ReportAndTrace(TaskContext& ctx, const wchar_t* text) {
  ctx.Ask(text, MB_OK);
  std::string narrow;
  for (const wchar_t* p = text; *p != L'\0'; ++p) narrow.push_back(static_cast<char>(*p));
  SendAuditTrace(narrow);
}

std::wstring DownloadFolder() {
  const std::wstring folder = win::SpecialFolderPath(CSIDL_LOCAL_APPDATA, true) + L"\\installtemp";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

bool IsPlainFolderName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring::npos;
}

std::wstring FindInstallDir() {
  const std::wstring base = BaseFolder();
  std::wstring product;
  if (FindMarkerFolder(base, product)) return product;
  return base + L"\\" + LoadBuiltInString(kStrProductFolder);
}

void DeleteTree(const std::wstring& folder) {
  const std::wstring path = win::LongPath(folder);
  WIN32_FIND_DATAW entry;
  win::UniqueFind find(::FindFirstFileW((path + L"\\*.*").c_str(), &entry));
  if (find) {
    do {
      if (IsDotOrDotDot(entry.cFileName)) continue;
      const std::wstring child = folder + L"\\" + entry.cFileName;
      const bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (directory && link) {
        // A junction: remove the link itself; what it points to is not ours.
        ::RemoveDirectoryW(win::LongPath(child).c_str());
      } else if (directory) {
        DeleteTree(child);
      } else {
        ::DeleteFileW(win::LongPath(child).c_str());
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  ::RemoveDirectoryW(path.c_str());
}

bool MoveReplacing(const std::wstring& source, const std::wstring& target) {
  const std::wstring from = win::LongPath(source), to = win::LongPath(target);
  ::SetFileAttributesW(to.c_str(), 0);
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) return true;
  if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
  // In use (a running program's file): rename it aside, then move again.
  // The tick count names the old copy; a name already taken (two locked
  // files within one tick) takes the next number.
  int ticks = static_cast<int>(::GetTickCount());
  std::wstring aside;
  do {
    aside = to + L"_" + std::to_wstring(ticks++);
  } while (::GetFileAttributesW(aside.c_str()) != INVALID_FILE_ATTRIBUTES);
  if (!::MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool PatchTree(TaskContext& ctx, const std::wstring& source, const std::wstring& target) {
  WIN32_FIND_DATAW entry;
  win::UniqueFind find(::FindFirstFileW((win::LongPath(source) + L"\\*.*").c_str(), &entry));
  if (!find) {
    ::RemoveDirectoryW(win::LongPath(source).c_str());
    return true;
  }
  do {
    if (IsDotOrDotDot(entry.cFileName)) continue;
    const std::wstring name = entry.cFileName;
    ctx.SetStatus(L"Patching:" + name);
    const std::wstring from = source + L"\\" + name, to = target + L"\\" + name;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      // Links in the extracted tree are not followed into other places.
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
      ::CreateDirectoryW(win::LongPath(to).c_str(), nullptr);
      if (!PatchTree(ctx, from, to)) return false;
    } else {
      if (!MoveReplacing(from, to)) {
        const DWORD error = ::GetLastError();
        ctx.Ask(L"Patching:" + name + L"\n" + to + L", Failed:" + std::to_wstring(static_cast<int>(error)), MB_OK);
        ::SetLastError(error);
        return false;
      }
      ::DeleteFileW(win::LongPath(from).c_str());
    }
  } while (::FindNextFileW(find.get(), &entry));
  find.reset();
  ::RemoveDirectoryW(win::LongPath(source).c_str());
  return true;
}

void KillMonitorProcess() {
  std::vector<DWORD> ids(2048);
  DWORD bytes = 0;
  if (!::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return;
  ids.resize(bytes / sizeof(DWORD));
  for (DWORD id : ids) {
    if (id == 0) continue;
    win::UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE, id));
    if (!process) continue;
    wchar_t image[1024] = {};
    if (::GetProcessImageFileNameW(process.get(), image, 1024) == 0) continue;
    const wchar_t* name = wcsrchr(image, L'\\');
    name = name != nullptr ? name + 1 : image;
    if (lstrcmpiW(name, product::kMonitorExe) == 0) {
      ::TerminateProcess(process.get(), 0);
      return;
    }
  }
}

int InstallProductPackage(TaskContext& ctx) {
  const std::wstring package = PackagePath();
  auto link = LoadBuiltInStringUtf8(kStrPackageLink);
  if (!link) {
    ReportAndTrace(ctx, kLinkMissing);
    return 0;
  }
  const std::wstring productFolder = LoadBuiltInString(kStrProductFolder);
  if (!IsPlainFolderName(productFolder)) {
    // Deleting installFolder + "\" + an empty or path-like name would reach
    // the install folder itself, or places outside it.
    ReportAndTrace(ctx, L"The product folder name of this installer is not valid.");
    return 0;
  }
  if (!DownloadToFile(ctx, package, *link)) {
    ReportAndTrace(ctx, kDownloadFailed);
    return 0;
  }
  const std::wstring installFolder = ctx.InstallFolder();
  WriteInstallerValue(kValueLastInstallPath, installFolder);
  const std::wstring installDir = installFolder + L"\\" + productFolder;
  ctx.SetInstallDir(installDir);
  ctx.SetStatus(L"Preparing for installation...");
  DeleteTree(installDir);
  DeleteTree(installFolder + L"\\build");
  ctx.SetStatus(L"Extracting files...");
  if (!ExtractZip(package, installFolder)) {
    ReportAndTrace(ctx, kExtractFailed);
    return 0;
  }
  const std::wstring extracted = installFolder + L"\\build";
  if (_wrename(extracted.c_str(), installDir.c_str()) != 0) {
    const DWORD error = ::GetLastError();
    SendAuditTrace("Failed to commit installation package");
    ctx.Ask(L"Failed to commit product installation package:-1, " + std::to_wstring(static_cast<int>(error)) + L", " +
                extracted + L", " + installDir,
            MB_OK);
    return 0;
  }
  WriteInstallerValue(kValueInstallDir, installDir);
  return 1;
}

int UpgradePackage(TaskContext& ctx, bool download) {
  const std::wstring package = PackagePath();
  auto link = LoadBuiltInStringUtf8(kStrUpgradeLink);
  if (!link) {
    ctx.Ask(kLinkMissing, MB_OK);
    return 0;
  }
  if (download) {
    if (!DownloadToFile(ctx, package, *link)) {
      ctx.Ask(kDownloadFailed, MB_OK);
      return 0;
    }
    ctx.SetInstallDir(FindInstallDir());
  }
  const std::wstring base = BaseFolder();
  if (download) {
    ctx.SetStatus(L"Extracting files...");
    if (!ExtractZip(package, base)) {
      ctx.Ask(kExtractFailed, MB_OK);
      return 0;
    }
    return 1;
  }
  std::wstring installDir = ctx.InstallDir();
  // Patching without a download in the same run: find the product the same
  // way the download half does.
  if (installDir.empty()) installDir = FindInstallDir();
  KillMonitorProcess();
  ctx.SetStatus(L"Patching files...");
  if (!PatchTree(ctx, base + L"\\build", installDir)) {
    const DWORD error = ::GetLastError();
    ctx.Ask(L"Failed to commit product installation package:" + std::to_wstring(static_cast<int>(error)), MB_OK);
    return 0;
  }
  return 1;
}

}  // namespace kestrel
