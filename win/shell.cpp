#include "win/shell.h"

#include <shellapi.h>
#include <shlobj.h>

namespace win {

std::wstring SpecialFolderPath(int csidl, bool create) {
  // The API writes at most MAX_PATH characters.
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, create ? TRUE : FALSE)) return {};
  return buffer;
}

bool ShellExecuteVerb(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters, int show,
                      UniqueHandle* process) {
  // An elevated program starts in the system folder unless told otherwise:
  // relative paths among the parameters keep meaning what they meant here.
  std::wstring folder(MAX_PATH + 1, L'\0');
  DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
  if (length >= folder.size()) {
    folder.assign(length + 1, L'\0');
    length = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
  }
  folder.resize(length < folder.size() ? length : 0);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = process != nullptr ? SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC : 0;
  info.hwnd = nullptr;
  info.lpVerb = verb;
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = show;
  if (!::ShellExecuteExW(&info)) return false;
  if (process != nullptr) process->reset(info.hProcess);
  return true;
}

}  // namespace win
