// Shell folders and starting programs through the shell.
#pragma once

#include <windows.h>

#include <string>

namespace win {

// A special folder by CSIDL (for example CSIDL_PROGRAM_FILES), created when
// create is true; empty on failure.
std::wstring SpecialFolderPath(int csidl, bool create);

// Asks the shell to start a program with a verb; true when the shell
// accepted the request. Does not wait for the program.
bool ShellExecuteVerb(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters, int show);

}  // namespace win
