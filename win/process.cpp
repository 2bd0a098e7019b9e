#include "win/process.h"

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
                        nullptr, nullptr, &startup, &info))
    return {};
  UniqueHandle thread(info.hThread);
  return UniqueHandle(info.hProcess);
}

SliceWait WaitInSlices(HANDLE process, DWORD sliceMs, int slices, const std::function<void(int)>& onSlice) {
  if (slices < 1) slices = 1;
  for (int i = 0; i < slices; ++i) {
    switch (::WaitForSingleObject(process, sliceMs)) {
      case WAIT_OBJECT_0:
        return SliceWait::kEnded;
      case WAIT_TIMEOUT:
        if (onSlice) onSlice(i);
        break;
      default:
        return SliceWait::kFailed;
    }
  }
  return SliceWait::kBudgetSpent;
}

}  // namespace win
