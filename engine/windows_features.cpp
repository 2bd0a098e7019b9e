#include "engine/windows_features.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/progress_markup.h"
#include "core/text_convert.h"
#include "engine/child_process.h"
#include "engine/feature_listing.h"
#include "net/audit_trace.h"
#include "win/file.h"
#include "win/handle.h"
#include "win/process.h"

namespace kestrel {
namespace {

// The names the last listing reported as enabled. Only the task worker
// uses it; the lock merely keeps a stray second caller harmless.
std::mutex g_listingMutex;
std::vector<std::string> g_enabledFeatures;

std::string Narrow(const std::wstring& text) { return WideToUtf8(text).value_or(std::string()); }

bool LastListingHas(const std::wstring& feature) {
  const std::string name = Narrow(feature);
  std::lock_guard<std::mutex> lock(g_listingMutex);
  return ContainsFeature(g_enabledFeatures, name);
}

std::wstring ExpandEnvironment(const std::wstring& text) {
  std::wstring expanded(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (n == 0) return {};
    if (n <= expanded.size()) {
      expanded.resize(n - 1);  // n counts the terminating zero
      return expanded;
    }
    expanded.resize(n);
  }
}

std::wstring TempFolder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  DWORD n = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (n > folder.size()) {
    folder.resize(n);
    n = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  }
  if (n == 0 || n >= folder.size()) return {};
  folder.resize(n);
  return folder;
}

// Deletes the query's scratch file however the query ends.
class ScratchFile {
 public:
  explicit ScratchFile(std::wstring path) : path_(std::move(path)) {}
  ~ScratchFile() { ::DeleteFileW(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// Runs the English feature listing into a scratch file and returns its
// text; empty when the tool cannot be run.
std::string TakeFeatureListing() {
  const std::wstring folder = TempFolder();
  if (folder.empty()) return {};
  wchar_t name[MAX_PATH] = {};  // the size GetTempFileNameW writes into
  if (::GetTempFileNameW(folder.c_str(), L"FeatureList", 0, name) == 0) return {};
  ScratchFile scratch(name);

  const std::wstring tool = ExpandEnvironment(SystemToolsNeedSysnative() ? L"%windir%\\Sysnative\\Dism.exe"
                                                                         : L"%windir%\\System32\\Dism.exe");
  if (tool.empty()) return {};

  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  win::UniqueHandle output(::CreateFileW(scratch.path().c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output) return {};

  win::UniqueHandle process =
      win::StartHidden(tool, L"Dism.exe /online /get-features /English", output.get());
  if (!process) return {};
  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return {};
  win::LogExitCode(process.get());
  process.reset();
  output.reset();

  std::string listing;
  if (!win::ReadWholeFile(scratch.path(), listing)) return {};
  return listing;
}

// Waits without a time limit, in budgets of slices as the other waits do.
// False when the handle cannot be waited on.
bool WaitUntilEnded(TaskContext& ctx, HANDLE process, int budget) {
  for (;;) {
    switch (win::WaitInSlices(process, ctx.Settings().waitSliceMs, budget)) {
      case win::SliceWait::kEnded:
        return true;
      case win::SliceWait::kBudgetSpent:
        break;
      case win::SliceWait::kFailed:
        return false;
    }
  }
}

void ReportStartFailure(TaskContext& ctx, const std::wstring& feature, const char* tracePrefix) {
  SendAuditTrace(tracePrefix + Narrow(feature));
  ctx.Ask(L"Failed to enable iis feature:" + feature, MB_OK);
}

std::wstring FailureMessage(const std::wstring& feature, int code) {
  return L"Failed enable feature:" + feature + L", error code:" + std::to_wstring(code);
}

// listingCurrent, when given, says whether the last listing was taken after
// the last tool run, so that it can answer this item's already-enabled
// test; it is set when this item leaves such a listing behind: one taken
// after its run, or the one that found it already enabled (nothing ran).
int EnableWithDism(TaskContext& ctx, const std::wstring& feature, int budget, bool all, bool* listingCurrent) {
  const bool reuse = listingCurrent != nullptr && *listingCurrent;
  if (listingCurrent != nullptr) *listingCurrent = false;
  if (reuse ? LastListingHas(feature) : IsFeatureEnabled(feature)) {
    if (listingCurrent != nullptr) *listingCurrent = true;
    return 1;
  }

  const std::wstring commandLine =
      L"Dism.exe /online /enable-feature /featurename:" + feature + (all ? L" /all" : L"");
  win::UniqueHandle process = win::StartHidden(SystemToolPath(L"Dism.exe"), commandLine);
  if (!process) {
    ReportStartFailure(ctx, feature, "Failed enable feature:");
    return 0;
  }
  if (!WaitUntilEnded(ctx, process.get(), budget)) return 0;
  // The tool's exit code is not trusted on its own: a code that asks for a
  // restart still leaves the feature on, and 0 has been seen without it.
  const int result = IsFeatureEnabled(feature) ? 1 : 0;
  if (listingCurrent != nullptr) *listingCurrent = true;

  DWORD rawCode = 0;
  if (::GetExitCodeProcess(process.get(), &rawCode) && rawCode != 0) {
    const int code = static_cast<int>(rawCode);
    SendAuditTrace("Failed enable feature:" + Narrow(feature) + ", " + std::to_string(code));
    ctx.Ask(FailureMessage(feature, code), MB_OK);
  }
  return result;
}

std::wstring StepText(int progress, const wchar_t* caption) { return ProgressMarkup(progress, 100, caption); }

enum class Tool { kServerManager, kDism, kDismAll, kPkgMgr };

struct Item {
  int progress;
  const wchar_t* caption;
  const wchar_t* feature;
  Tool tool;
};

constexpr int kItemBudget = 600;

// Walks the items in order and stops at the first that fails. In the Dism
// lists, the listing taken for one item (after its run, or the one that
// found it already on) is also the next item's already-enabled test:
// nothing runs in between, so a fresh one would say the same. A repeated
// run over features that are all on takes one listing, not one per item.
template <size_t N>
int EnableItems(TaskContext& ctx, const Item (&items)[N]) {
  bool listingCurrent = false;
  for (const Item& item : items) {
    ctx.SetStatus(StepText(item.progress, item.caption));
    int ok = 0;
    switch (item.tool) {
      case Tool::kServerManager:
        ok = EnableFeatureServerManager(ctx, item.feature);
        listingCurrent = false;
        break;
      case Tool::kDism:
        ok = EnableWithDism(ctx, item.feature, kItemBudget, false, &listingCurrent);
        break;
      case Tool::kDismAll:
        ok = EnableWithDism(ctx, item.feature, kItemBudget, true, &listingCurrent);
        break;
      case Tool::kPkgMgr:
        // PkgMgr is not waited for: it may still change features while the
        // next item is looked up, so every test takes a fresh listing.
        ok = EnableFeaturePkgMgr(ctx, item.feature);
        listingCurrent = false;
        break;
    }
    if (!ok) return 0;
  }
  return 1;
}

constexpr Item kWin7Items[] = {
    {0, L"Enabling IIS-WebServerRole", L"IIS-WebServerRole", Tool::kPkgMgr},
    {8, L"Enabling IIS-WebServer", L"IIS-WebServerRole\\IIS-WebServer", Tool::kPkgMgr},
    {16, L"Enabling IIS-ManagementConsole",
     L"IIS-WebServerRole\\IIS-WebServer\\IIS-ApplicationDevelopment\\IIS-ASPNET", Tool::kPkgMgr},
    {26, L"Enabling IIS-ISAPIFilter", L"IIS-WebServerRole\\IIS-WebServer\\IIS-ApplicationDevelopment\\IIS-ISAPIFilter",
     Tool::kPkgMgr},
    {32, L"Enabling IIS-ISAPIExtensions",
     L"IIS-WebServerRole\\IIS-WebServer\\IIS-ApplicationDevelopment\\IIS-ISAPIFilter\\IIS-ASPNET", Tool::kPkgMgr},
    {40, L"Enabling IIS-NetFxExtensibility",
     L"IIS-WebServerRole\\IIS-WebServer\\IIS-ApplicationDevelopment\\IIS-NetFxExtensibility", Tool::kPkgMgr},
    {42, L"Enabling IIS-NetFxExtensibility",
     L"IIS-WebServerRole\\IIS-WebServer\\IIS-ApplicationDevelopment\\IIS-NetFxExtensibility\\IIS-ASPNET",
     Tool::kPkgMgr},
    {45, L"Enabling WCF-HTTP-Activation",
     L"IIS-WebServerRole\\IIS-WebServer\\IIS-ApplicationDevelopment\\IIS-NetFxExtensibility\\WCF-HTTP-Activation",
     Tool::kPkgMgr},
    {48, L"Enabling IIS-CommonHttpFeatures", L"IIS-WebServerRole\\IIS-WebServer\\IIS-CommonHttpFeatures",
     Tool::kPkgMgr},
    {56, L"Enabling IIS-DefaultDocument",
     L"IIS-WebServerRole\\IIS-WebServer\\IIS-CommonHttpFeatures\\IIS-DefaultDocument", Tool::kPkgMgr},
    {64, L"Enabling DOC-IIS-ASPNET",
     L"IIS-WebServerRole\\IIS-WebServer\\IIS-CommonHttpFeatures\\IIS-DefaultDocument\\IIS-ASPNET", Tool::kPkgMgr},
    {72, L"Enabling IIS-HttpErrors", L"IIS-WebServerRole\\IIS-WebServer\\IIS-CommonHttpFeatures\\IIS-HttpErrors",
     Tool::kPkgMgr},
    {80, L"Enabling IIS-HttpRedirect", L"IIS-WebServerRole\\IIS-WebServer\\IIS-CommonHttpFeatures\\IIS-HttpRedirect",
     Tool::kPkgMgr},
    {88, L"Enabling IIS-StaticContent", L"IIS-WebServerRole\\IIS-WebServer\\IIS-CommonHttpFeatures\\IIS-StaticContent",
     Tool::kPkgMgr},
    {96, L"Enabling IIS-WebServerManagementTools", L"IIS-WebServerRole\\IIS-WebServerManagementTools", Tool::kPkgMgr},
    {97, L"Enabling IIS-ManagementConsole", L"IIS-WebServerRole\\IIS-WebServerManagementTools\\IIS-ManagementConsole",
     Tool::kPkgMgr},
    {98, L"Enabling  IIS-ManagementScriptingTools",
     L"IIS-WebServerRole\\IIS-WebServerManagementTools\\IIS-ManagementScriptingTools", Tool::kPkgMgr},
    {99, L"Enabling  IIS-ManagementService", L"IIS-WebServerRole\\IIS-WebServerManagementTools\\IIS-ManagementService",
     Tool::kPkgMgr},
};

constexpr Item kServer2008R2Items[] = {
    {0, L"Enabling IIS-WebServerRole", L"IIS-WebServerRole", Tool::kDism},
    {8, L"Enabling IIS-WebServer", L"IIS-WebServer", Tool::kDism},
    {16, L"Enabling IIS-ManagementConsole", L"IIS-ManagementConsole", Tool::kDism},
    {26, L"Enabling IIS-ISAPIFilter", L"IIS-ISAPIFilter", Tool::kDism},
    {32, L"Enabling IIS-ISAPIExtensions", L"IIS-ISAPIExtensions", Tool::kDism},
    {40, L"Enabling IIS-NetFxExtensibility", L"IIS-NetFxExtensibility", Tool::kDism},
    {45, L"Enabling IIS-DefaultDocument", L"IIS-DefaultDocument", Tool::kDism},
    {48, L"Enabling IIS-ASPNET", L"IIS-ASPNET", Tool::kDism},
    {56, L"Enabling NetFx3", L"NetFx3", Tool::kDism},
    {64, L"Enabling WAS-WindowsActivationService", L"WAS-WindowsActivationService", Tool::kDism},
    {72, L"Enabling WAS-ProcessModel", L"WAS-ProcessModel", Tool::kDism},
    {80, L"Enabling WAS-NetFxEnvironment", L"WAS-NetFxEnvironment", Tool::kDism},
    {88, L"Enabling WAS-ConfigurationAPI", L"WAS-ConfigurationAPI", Tool::kDism},
    {96, L"Enabling WCF-HTTP-Activation", L"WCF-HTTP-Activation", Tool::kDism},
    {97, L"Enabling  IIS-StaticContent", L"IIS-StaticContent", Tool::kDism},
    {98, L"Enabling  IIS-HttpRedirect", L"IIS-HttpRedirect", Tool::kDism},
};

constexpr Item kServer2012Items[] = {
    {0, L"Enabling IIS-WebServerRole", L"IIS-WebServerRole", Tool::kDismAll},
    {20, L"Enabling IIS-WebServer", L"IIS-WebServer", Tool::kDismAll},
    {40, L"Enabling IIS-ManagementConsole", L"IIS-ManagementConsole", Tool::kDismAll},
    {60, L"Enabling IIS-ASPNET45", L"IIS-ASPNET45", Tool::kDismAll},
    {80, L"Enabling WCF-HTTP-Activation45", L"WCF-HTTP-Activation45", Tool::kDismAll},
    {90, L"Enabling  IIS-StaticContent", L"IIS-StaticContent", Tool::kDism},
    {95, L"Enabling  IIS-HttpRedirect", L"IIS-HttpRedirect", Tool::kDism},
};

constexpr Item kServer2008Items[] = {
    {0, L"Enabling Web-Server", L"Web-Server", Tool::kServerManager},
    {25, L"Web-Mgmt-Console", L"Web-Mgmt-Console", Tool::kServerManager},
    {50, L"Web-Asp-Net", L"Web-Asp-Net", Tool::kServerManager},
    {75, L"NET-HTTP-Activation", L"NET-HTTP-Activation", Tool::kServerManager},
};

}  // namespace

void RefreshEnabledFeatures() {
  {
    std::lock_guard<std::mutex> lock(g_listingMutex);
    g_enabledFeatures.clear();
  }
  std::vector<std::string> enabled = ParseEnabledFeatures(TakeFeatureListing());
  std::lock_guard<std::mutex> lock(g_listingMutex);
  g_enabledFeatures = std::move(enabled);
}

bool IsFeatureEnabled(const std::wstring& feature) {
  RefreshEnabledFeatures();
  return LastListingHas(feature);
}

int EnableFeatureServerManager(TaskContext& ctx, const std::wstring& feature) {
  win::UniqueHandle process =
      win::StartHidden(SystemToolPath(L"ServerManagerCmd.exe"), L"ServerManagerCmd.exe -install " + feature);
  if (!process) {
    // This tool's start failure is shown before it is traced.
    ctx.Ask(L"Failed to enable iis feature:" + feature, MB_OK);
    SendAuditTrace("Failed enable feature:" + Narrow(feature));
    return 0;
  }
  if (!WaitUntilEnded(ctx, process.get(), kItemBudget)) return 0;
  DWORD rawCode = 0;
  if (!::GetExitCodeProcess(process.get(), &rawCode)) return 0;
  // 1003: the role was already installed.
  if (rawCode == 0 || rawCode == 1003) return 1;
  const int code = static_cast<int>(rawCode);
  SendAuditTrace("Failed enable feature:" + Narrow(feature) + ", error code:" + std::to_string(code));
  ctx.Ask(FailureMessage(feature, code), MB_OK);
  return 0;
}

int EnableFeatureDism(TaskContext& ctx, const std::wstring& feature, int budget) {
  return EnableWithDism(ctx, feature, budget, false, nullptr);
}

int EnableFeatureDismAll(TaskContext& ctx, const std::wstring& feature, int budget) {
  return EnableWithDism(ctx, feature, budget, true, nullptr);
}

int EnableFeaturePkgMgr(TaskContext& ctx, const std::wstring& feature) {
  if (IsFeatureEnabled(feature)) return 1;
  win::UniqueHandle process =
      win::StartHidden(SystemToolPath(L"PkgMgr.exe"), L"PkgMgr.exe /norestart /quiet /iu:" + feature);
  if (!process) {
    ReportStartFailure(ctx, feature, "PkgMgr Failed enable feature:");
    return 0;
  }
  return 1;
}

int ConfigIIS2008(TaskContext& ctx) { return EnableItems(ctx, kServer2008Items); }
int ConfigIIS2008R2(TaskContext& ctx) { return EnableItems(ctx, kServer2008R2Items); }
int ConfigIIS2012(TaskContext& ctx) { return EnableItems(ctx, kServer2012Items); }
int ConfigIISWin7(TaskContext& ctx) { return EnableItems(ctx, kWin7Items); }

}  // namespace kestrel
