#include "engine/child_process.h"

#include <atomic>
#include <string>

#include "engine/product_contract.h"
#include "net/audit_trace.h"

namespace kestrel {
namespace {

std::atomic<DWORD> g_waitSliceMs{1000};
std::atomic<int> g_setupBudget{900};

enum class WaitOutcome { kEnded, kBudgetSpent, kFailed };

std::wstring ProgressText(int done, int total) {
  return L"#Progress:" + std::to_wstring(done) + L" " + std::to_wstring(total) + L"@@Installing";
}

// One budget of slices. Whether the program has ended is asked of its
// process handle, not of its exit code: a program may itself exit with the
// code that otherwise means "still running".
WaitOutcome WaitOneBudget(TaskContext& ctx, HANDLE process, int budget) {
  for (int i = 0; i < budget; ++i) {
    switch (::WaitForSingleObject(process, WaitSliceMs())) {
      case WAIT_OBJECT_0:
        return WaitOutcome::kEnded;
      case WAIT_TIMEOUT:
        ctx.SetStatus(ProgressText(i, budget));
        break;
      default:
        return WaitOutcome::kFailed;
    }
  }
  return WaitOutcome::kBudgetSpent;
}

}  // namespace

DWORD WaitSliceMs() { return g_waitSliceMs.load(); }
void SetWaitSliceMs(DWORD milliseconds) { g_waitSliceMs.store(milliseconds); }
int SetupBudget() { return g_setupBudget.load(); }
void SetSetupBudget(int slices) { g_setupBudget.store(slices < 1 ? 1 : slices); }

win::UniqueHandle StartHidden(const std::wstring& appPath, const std::wstring& commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  std::wstring writable = commandLine;  // CreateProcessW may write into it
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(appPath.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
    return {};
  win::UniqueHandle thread(info.hThread);
  return win::UniqueHandle(info.hProcess);
}

int RunAndWait(TaskContext& ctx, const std::wstring& appPath, const std::wstring& commandLine, int budget) {
  if (budget < 1) budget = 1;
  win::UniqueHandle process = StartHidden(appPath, commandLine);
  if (!process) return 0;
  return WaitOneBudget(ctx, process.get(), budget) == WaitOutcome::kEnded ? 1 : 0;
}

int RunProcess(TaskContext& ctx, const std::wstring& appPath, const std::wstring& commandLine, int budget) {
  if (budget < 1) budget = 1;
  for (;;) {
    win::UniqueHandle process = StartHidden(appPath, commandLine);
    if (!process) return 0;

    WaitOutcome outcome;
    do {
      outcome = WaitOneBudget(ctx, process.get(), budget);
    } while (outcome == WaitOutcome::kBudgetSpent);
    // A handle that cannot be waited on cannot tell us the program's end
    // either; looping on it would spin.
    if (outcome == WaitOutcome::kFailed) return 0;

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
