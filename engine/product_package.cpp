#include "engine/product_package.h"

#include "engine/product_contract.h"

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <vector>

#include "core/ascii_text.h"
#include "core/builtin_strings.h"
#include "core/status_throttle.h"
#include "core/installer_state.h"
#include "engine/marker_folder.h"
#include "engine/zip_extract.h"
#include "net/audit_trace.h"
#include "net/download.h"
#include "win/folder_walk.h"
#include "win/handle.h"
#include "win/module.h"
#include "win/shell.h"

namespace kestrel {
namespace {

constexpr wchar_t kLinkMissing[] = L"Download link for the specified product is missing.";
constexpr wchar_t kDownloadFailed[] = L"Failed to download product installation package";
constexpr wchar_t kExtractFailed[] = L"Failed to extract product installation package";

std::wstring PackagePath() { return DownloadFolder() + L"\\qre.zip"; }

// LastInstallPath when present, else Program Files.
std::wstring BaseFolder() {
  std::wstring base;
  if (!ReadLastInstallPath(base)) base = win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true);
  return base;
}

bool MakeStagingFolder(const std::wstring& staging) {
  return ::CreateDirectoryW(win::LongPath(staging).c_str(), nullptr) != FALSE;
}

}  // namespace

std::wstring StagingFolder(const std::wstring& parent) { return parent + L"\\" + kStagingFolderName; }

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

namespace {

// Files and folders go as the walk passes them; a link (junction) is
// removed as a link, never followed: what it points to is not ours.
class TreeDeletion : public win::FolderVisitor {
 public:
  win::WalkStep Visit(const win::FolderEntry& entry) override {
    if (entry.IsFolder() && entry.IsLink()) {
      ::RemoveDirectoryW(win::LongPath(entry.path).c_str());
    } else if (!entry.IsFolder()) {
      ::DeleteFileW(win::LongPath(entry.path).c_str());
    }
    return win::WalkStep::kContinue;
  }
  win::WalkStep Leave(const std::wstring& path, const std::wstring&) override {
    ::RemoveDirectoryW(win::LongPath(path).c_str());
    return win::WalkStep::kContinue;
  }
};

// Moves each file of the source tree over the same place in the target,
// creating folders as it goes; emptied source folders are removed. Links
// in the extracted tree are not followed into other places.
class TreePatch : public win::FolderVisitor {
 public:
  TreePatch(TaskContext& ctx, const std::wstring& target)
      : ctx_(ctx),
        target_(target),
        status_([&ctx](const std::wstring& text) { ctx.SetStatus(text); },
                [] { return static_cast<uint64_t>(::GetTickCount64()); }) {}

  win::WalkStep Visit(const win::FolderEntry& entry) override {
    // One text per entry, at a human rate: the row shows the file it is at.
    status_.Progress(L"Patching:" + entry.name);
    const std::wstring to = target_ + L"\\" + entry.relativePath;
    if (entry.IsFolder()) {
      if (!entry.IsLink()) ::CreateDirectoryW(win::LongPath(to).c_str(), nullptr);
      return win::WalkStep::kContinue;
    }
    if (!MoveReplacing(entry.path, to)) {
      const DWORD error = ::GetLastError();
      status_.Flush();  // the row names the file the message is about
      ctx_.Ask(L"Patching:" + entry.name + L"\n" + to + L", Failed:" + std::to_wstring(static_cast<int>(error)),
               MB_OK);
      error_ = error;
      return win::WalkStep::kStop;
    }
    // The move took the source away: nothing left to delete.
    return win::WalkStep::kContinue;
  }
  win::WalkStep Leave(const std::wstring& path, const std::wstring&) override {
    ::RemoveDirectoryW(win::LongPath(path).c_str());
    return win::WalkStep::kContinue;
  }

  // The error of the file that stopped the patch.
  DWORD error() const { return error_; }

 private:
  TaskContext& ctx_;
  const std::wstring& target_;
  StatusThrottle status_;  // flushed when the patch ends
  DWORD error_ = ERROR_SUCCESS;
};

}  // namespace

void DeleteTree(const std::wstring& folder) {
  TreeDeletion deletion;
  win::WalkFolder(folder, deletion);
}

bool MoveReplacing(const std::wstring& source, const std::wstring& target) {
  const std::wstring from = win::LongPath(source), to = win::LongPath(target);
  constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
  // Most targets are plain files and the move simply succeeds; only a
  // refused one is looked at (each extra call costs per file of a patch).
  if (::MoveFileExW(from.c_str(), to.c_str(), kReplace)) return true;
  if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
  // A read-only target of an earlier installation is replaced all the same.
  const DWORD attributes = ::GetFileAttributesW(to.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesW(to.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (::MoveFileExW(from.c_str(), to.c_str(), kReplace)) return true;
    if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
  }
  // In use (a running program's file): rename it aside, then move again.
  // The tick count names the old copy; a name already taken (two locked
  // files within one tick) takes the next number.
  int ticks = static_cast<int>(::GetTickCount());
  std::wstring aside;
  do {
    aside = to + L"_" + std::to_wstring(ticks++);
  } while (::GetFileAttributesW(aside.c_str()) != INVALID_FILE_ATTRIBUTES);
  if (!::MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
  return ::MoveFileExW(from.c_str(), to.c_str(), kReplace) != FALSE;
}

bool PatchTree(TaskContext& ctx, const std::wstring& source, const std::wstring& target) {
  bool stopped = false;
  DWORD error = ERROR_SUCCESS;
  {
    TreePatch patch(ctx, target);
    stopped = win::WalkFolder(source, patch) == win::WalkResult::kStopped;
    error = patch.error();
  }  // the row gets its last text here
  // The caller reports a failure with the error the failed file left.
  ::SetLastError(error);
  return !stopped;
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
    if (EqualsNoCase(name, product::kMonitorExe)) {
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
  if (!DownloadToFile(ctx, package, *link, LoadLinkPin(kStrPackageLink))) {
    ReportAndTrace(ctx, kDownloadFailed);
    return 0;
  }
  const std::wstring installFolder = ctx.InstallFolder();
  WriteInstallerValue(kValueLastInstallPath, installFolder);
  const std::wstring installDir = installFolder + L"\\" + productFolder;
  ctx.SetInstallDir(installDir);
  ctx.SetStatus(L"Preparing for installation...");
  DeleteTree(installDir);
  // Only the staging folder is ours to clear: a "build" folder of the
  // customer's beside the product stays where it is.
  const std::wstring staging = StagingFolder(installFolder);
  DeleteTree(staging);
  ctx.SetStatus(L"Extracting files...");
  if (!MakeStagingFolder(staging) || !ExtractZip(package, staging)) {
    DeleteTree(staging);
    ReportAndTrace(ctx, kExtractFailed);
    return 0;
  }
  const std::wstring extracted = staging + L"\\" + product::kPackageTopFolder;
  if (_wrename(extracted.c_str(), installDir.c_str()) != 0) {
    const DWORD error = ::GetLastError();
    DeleteTree(staging);
    SendAuditTrace("Failed to commit installation package");
    ctx.Ask(L"Failed to commit product installation package:-1, " + std::to_wstring(static_cast<int>(error)) + L", " +
                extracted + L", " + installDir,
            MB_OK);
    return 0;
  }
  DeleteTree(staging);
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
    if (!DownloadToFile(ctx, package, *link, LoadLinkPin(kStrUpgradeLink))) {
      ctx.Ask(kDownloadFailed, MB_OK);
      return 0;
    }
    ctx.SetInstallDir(FindInstallDir());
    // Beside the installation, in a folder of the installer's own that the
    // second half of the upgrade patches from.
    const std::wstring staging = StagingFolder(BaseFolder());
    DeleteTree(staging);
    ctx.SetStatus(L"Extracting files...");
    if (!MakeStagingFolder(staging) || !ExtractZip(package, staging)) {
      DeleteTree(staging);
      ctx.Ask(kExtractFailed, MB_OK);
      return 0;
    }
    ctx.SetStagingDir(staging);
    return 1;
  }
  std::wstring staging = ctx.StagingDir();
  if (staging.empty()) staging = StagingFolder(BaseFolder());
  std::wstring installDir = ctx.InstallDir();
  // Patching without a download in the same run: find the product the same
  // way the download half does.
  if (installDir.empty()) installDir = FindInstallDir();
  KillMonitorProcess();
  ctx.SetStatus(L"Patching files...");
  if (!PatchTree(ctx, staging + L"\\" + product::kPackageTopFolder, installDir)) {
    const DWORD error = ::GetLastError();
    ctx.Ask(L"Failed to commit product installation package:" + std::to_wstring(static_cast<int>(error)), MB_OK);
    return 0;
  }
  DeleteTree(staging);
  return 1;
}

}  // namespace kestrel
