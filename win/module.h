// Paths of the running executable and of system folders, without fixed
// buffers.
#pragma once

#include <windows.h>

#include <string>

namespace win {

// Full path of a loaded module (the executable when module is null).
std::wstring ModulePath(HMODULE module = nullptr);

// File name of the executable without folder and extension, e.g.
// "(acme)KestrelSetup". It is the caption of every message box.
std::wstring ExecutableBaseName();

// The folder that holds the executable, without a trailing backslash.
std::wstring ExecutableFolder();

// The Windows system folder (System32 for a native process).
std::wstring SystemFolder();

// Value of an environment variable; empty when it is not set.
std::wstring EnvironmentVariable(const wchar_t* name);

// Adds the "\\?\" prefix to a long absolute path (over 200 characters) so
// that file operations are not limited to MAX_PATH.
std::wstring LongPath(const std::wstring& path);

// The text after the last backslash.
std::wstring FileNamePart(const std::wstring& path);

}  // namespace win
