#include "engine/uninstall.h"

#include <shlobj.h>


#include "core/builtin_strings.h"
#include "core/installer_state.h"
#include "core/text_convert.h"
#include "engine/finalization.h"
#include "engine/product_contract.h"
#include "engine/product_package.h"
#include "win/folder_walk.h"
#include "win/handle.h"
#include "win/module.h"
#include "win/process.h"
#include "win/registry.h"
#include "win/run_log.h"
#include "win/shell.h"

namespace kestrel {
namespace {

// How long a service control command may take.
constexpr DWORD kServiceControlWaitMs = 30000;

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

// Each entry is shown and goes when the walk passes it, each folder after
// its entries; a link (junction) goes as a link: what it points to is not
// the product's.
class RemovalWalk : public win::FolderVisitor {
 public:
  explicit RemovalWalk(UninstallContext& ctx) : ctx_(ctx) {}
  win::WalkStep Visit(const win::FolderEntry& entry) override {
    if (entry.IsFolder() && !entry.IsLink()) return win::WalkStep::kContinue;
    Remove(entry.path, entry.IsFolder());
    return win::WalkStep::kContinue;
  }
  win::WalkStep Leave(const std::wstring& path, const std::wstring&) override {
    Remove(path, true);
    return win::WalkStep::kContinue;
  }

 private:
  void Remove(const std::wstring& path, bool folder) {
    ctx_.SetStatus(L"Delete:" + path);
    ctx_.ProgressStep(1);
    DeleteNowOrAtRestart(path, folder);
  }
  UninstallContext& ctx_;
};

// The host's context with every status text also in the log.
class LoggedUninstallContext : public UninstallContext {
 public:
  explicit LoggedUninstallContext(UninstallContext& inner) : inner_(inner) {}
  void SetStatus(const std::wstring& text) override {
    inner_.SetStatus(text);
    win::Log(L"status: " + text);
  }
  void ProgressStep(int n) override { inner_.ProgressStep(n); }
  int Ask(const std::wstring& text, UINT type) override { return inner_.Ask(text, type); }
  int AskRestart(const std::wstring& question) override { return inner_.AskRestart(question); }
  void RestartMachine() override { inner_.RestartMachine(); }
  const RunSettings& Settings() override { return inner_.Settings(); }

 private:
  UninstallContext& inner_;
};

// Runs the service control tool hidden (no console window flashes up, in
// a quiet removal least of all) and waits for it a while; the start and
// the exit code go to the log.
void RunServiceControl(const std::wstring& verb) {
  const std::wstring command = L"sc " + verb + L" " + product::kMonitorService;
  win::UniqueHandle process = win::StartHidden(win::SystemFolder() + L"\\sc.exe", command);
  if (process) (void)win::WaitInSlices(process.get(), kServiceControlWaitMs, 1);
}

}  // namespace

bool RunToolUninstall(UninstallContext& ctx, const std::wstring& toolPath) {
  win::UniqueHandle process = win::StartHidden(toolPath, product::kUninstallCommand);
  if (!process) return false;
  return win::WaitInSlices(process.get(), ctx.Settings().waitSliceMs, ctx.Settings().toolUninstallSlices,
                           [&](int) { ctx.ProgressStep(1); }) == win::SliceWait::kEnded;
}

void UninstallDeleteTree(UninstallContext& ctx, const std::wstring& folder) {
  RemovalWalk removal(ctx);
  win::WalkFolder(folder, removal);
}

void RunUninstall(UninstallContext& host) {
  LoggedUninstallContext ctx(host);
  win::Log(L"removal started");
  DeleteMonitorService();
  RunServiceControl(L"stop");
  RunServiceControl(L"delete");

  std::wstring base;
  if (!ReadLastInstallPath(base)) base = win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true);
  const std::wstring productFolder = LoadBuiltInString(kStrProductFolder);
  const std::wstring productDir = base + L"\\" + productFolder;
  ctx.SetStatus(L"Remove registry");
  (void)RunToolUninstall(ctx, productDir + L"\\" + product::kConfigToolExe);
  ctx.ProgressStep(10);
  DeleteDbServerValue();

  // An empty or path-like folder name would make these reach the parent.
  const std::wstring startMenuFolder = LoadBuiltInString(kStrStartMenuFolder);
  if (IsPlainFolderName(startMenuFolder))
    UninstallDeleteTree(ctx, win::SpecialFolderPath(CSIDL_COMMON_PROGRAMS, true) + L"\\" + startMenuFolder);
  if (IsPlainFolderName(productFolder) && !base.empty()) UninstallDeleteTree(ctx, productDir);
  DeleteUninstallEntry();
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, false);
  if (!desktop.empty()) {
    ::DeleteFileW((desktop + L"\\" + kDesktopPortalShortcut).c_str());
    ::DeleteFileW((desktop + L"\\" + kDesktopClusterShortcut).c_str());
  }

  win::Log(L"removal finished");
  OfferRestart(ctx, L"Reboot is needed to complete the uninstallation, reboot now?");
}

}  // namespace kestrel
