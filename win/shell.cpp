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

bool ShellExecuteVerb(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters, int show) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = 0;
  info.hwnd = nullptr;
  info.lpVerb = verb;
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = nullptr;
  info.nShow = show;
  return ::ShellExecuteExW(&info) != FALSE;
}

}  // namespace win
