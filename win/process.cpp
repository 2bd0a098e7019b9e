#include "win/process.h"

#include "win/run_log.h"

namespace win {

UniqueHandle StartHidden(const std::wstring& appPath, const std::wstring& commandLine, HANDLE output) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  if (output != nullptr) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  std::wstring writable = commandLine;  // CreateProcessW may write into it
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(appPath.c_str(), writable.data(), nullptr, nullptr, output != nullptr ? TRUE : FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
    const DWORD error = ::GetLastError();
    Log(L"process: " + commandLine + L" could not start: " + ErrorText(error));
    ::SetLastError(error);
    return {};
  }
  Log(L"process " + std::to_wstring(info.dwProcessId) + L" started: " + commandLine);
  UniqueHandle thread(info.hThread);
  return UniqueHandle(info.hProcess);
}

void LogExitCode(HANDLE process) {
  DWORD code = 0;
  if (::GetExitCodeProcess(process, &code))
    Log(L"process " + std::to_wstring(::GetProcessId(process)) + L" ended with exit code " +
        std::to_wstring(static_cast<long long>(static_cast<int>(code))));
}

SliceWait WaitInSlices(HANDLE process, DWORD sliceMs, int slices, const std::function<void(int)>& onSlice) {
  if (slices < 1) slices = 1;
  for (int i = 0; i < slices; ++i) {
    switch (::WaitForSingleObject(process, sliceMs)) {
      case WAIT_OBJECT_0:
        LogExitCode(process);
        return SliceWait::kEnded;
      case WAIT_TIMEOUT:
        if (onSlice) onSlice(i);
        break;
      default:
        return SliceWait::kFailed;
    }
  }
  Log(L"process " + std::to_wstring(::GetProcessId(process)) + L" still runs after its waiting budget");
  return SliceWait::kBudgetSpent;
}

}  // namespace win
