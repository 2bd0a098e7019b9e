#include "engine/child_process.h"

#include <string>

#include "core/progress_markup.h"
#include "engine/product_contract.h"
#include "net/audit_trace.h"
#include "win/process.h"

namespace kestrel {
namespace {

// "#Progress:<slices waited> <budget>@@Installing" after every slice the
// program is still running.
win::SliceWait WaitOneBudget(TaskContext& ctx, HANDLE process, int budget) {
  return win::WaitInSlices(process, ctx.Settings().waitSliceMs, budget,
                           [&](int slice) { ctx.SetStatus(ProgressMarkup(slice, budget, L"Installing")); });
}

}  // namespace

int RunAndWait(TaskContext& ctx, const std::wstring& appPath, const std::wstring& commandLine, int budget) {
  if (budget < 1) budget = 1;
  win::UniqueHandle process = win::StartHidden(appPath, commandLine);
  if (!process) return 0;
  return WaitOneBudget(ctx, process.get(), budget) == win::SliceWait::kEnded ? 1 : 0;
}

int RunProcess(TaskContext& ctx, const std::wstring& appPath, const std::wstring& commandLine, int budget) {
  if (budget < 1) budget = 1;
  for (;;) {
    win::UniqueHandle process = win::StartHidden(appPath, commandLine);
    if (!process) return 0;

    win::SliceWait outcome;
    do {
      outcome = WaitOneBudget(ctx, process.get(), budget);
    } while (outcome == win::SliceWait::kBudgetSpent);
    // A handle that cannot be waited on cannot tell us the program's end
    // either; looping on it would spin.
    if (outcome == win::SliceWait::kFailed) return 0;

    DWORD rawCode = 0;
    if (!::GetExitCodeProcess(process.get(), &rawCode)) return 0;
    process.reset();
    const int code = static_cast<int>(rawCode);

    if (code == product::kExitSuccess) return 1;
    if (code == product::kExitDatabaseUnreachable) {
      if (ctx.Ask(L"Error connecting to database, please check database connection and settings", MB_RETRYCANCEL) !=
          IDRETRY)
        return 0;
      SendAuditTrace("error connect to db");
      continue;
    }
    if (code == product::kExitWebServerNotReady || code == product::kExitWebServerNotReadyToo) {
      if (ctx.Ask(L"IIS Web Server Not Ready. Please check http://localhost with a web browser and make sure the "
                  L"web page comes up normally. Once IIS web server is ready, please click the 'Retry' button "
                  L"below to continue the installation.",
                  MB_RETRYCANCEL) != IDRETRY)
        return 0;
      SendAuditTrace("iis not ready");
      continue;
    }
    ctx.Ask(L"Failed, error code:" + std::to_wstring(code), MB_OK);
    SendAuditTrace("Commit:runprocess:" + std::to_string(code));
    return 0;
  }
}

bool Is64BitWindows() {
  // Only the presence matters: an empty value counts as absent.
  wchar_t value[MAX_PATH] = {};
  return ::GetEnvironmentVariableW(L"ProgramFiles(x86)", value, MAX_PATH) > 0;
}

bool SystemToolsNeedSysnative() {
  if constexpr (sizeof(void*) == 4) {
    return Is64BitWindows();
  } else {
    return false;
  }
}

std::wstring SystemToolPath(const std::wstring& tool) {
  // The Windows folder as the system knows it: not every machine has it at
  // C:\Windows.
  std::wstring windows(MAX_PATH, L'\0');
  UINT n = ::GetSystemWindowsDirectoryW(windows.data(), static_cast<UINT>(windows.size()));
  if (n >= windows.size()) {
    windows.resize(n);
    n = ::GetSystemWindowsDirectoryW(windows.data(), static_cast<UINT>(windows.size()));
  }
  if (n == 0 || n >= windows.size()) {
    windows = L"C:\\Windows";
  } else {
    windows.resize(n);
  }
  if (!windows.empty() && windows.back() == L'\\') windows.pop_back();
  return windows + (SystemToolsNeedSysnative() ? L"\\Sysnative\\" : L"\\System32\\") + tool;
}

}  // namespace kestrel
