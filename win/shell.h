// Shell folders and starting programs through the shell.
#pragma once

#include <windows.h>

#include <string>

#include "win/handle.h"

namespace win {

// A special folder by CSIDL (for example CSIDL_PROGRAM_FILES), created when
// create is true; empty on failure.
std::wstring SpecialFolderPath(int csidl, bool create);

// Asks the shell to start a program with a verb, in this process's current
// folder; true when the shell accepted the request. Does not wait for the
// program: process receives its handle when the shell hands one back.
bool ShellExecuteVerb(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters, int show,
                      UniqueHandle* process = nullptr);

}  // namespace win
