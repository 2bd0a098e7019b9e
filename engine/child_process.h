// Running an external program hidden while the current task row's progress
// bar moves once per wait slice: redistributable installers, system tools
// and the product's configuration tool.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "engine/task_context.h"
#include "win/handle.h"

namespace kestrel {

// Starts appPath hidden with commandLine (its first token the bare program
// name) and waits up to budget slices (the settings' waitSliceMs) for its
// end, writing
// "#Progress:<slices waited> <budget>@@Installing" after each slice that
// did not see it end. 1 when it ended in time, whatever its exit code; 0
// when it could not be started (silently) or is still running, in which
// case it is left to run on its own. A budget below 1 counts as 1.
int RunAndWait(TaskContext& ctx, const std::wstring& appPath, const std::wstring& commandLine, int budget);

// Starts the program and waits for as long as it runs (the bar starting
// again at 0 after each budget), then judges its exit code: 0 is success;
// 85 (database) and 86 / 87 (web server) ask Retry / Cancel and run the
// program again on Retry; any other code is shown and traced. 0 silently
// when the program cannot be started.
int RunProcess(TaskContext& ctx, const std::wstring& appPath, const std::wstring& commandLine, int budget);

// True when the environment names a 32-bit Program Files folder, that is on
// 64-bit Windows.
bool Is64BitWindows();

// A 32-bit process on 64-bit Windows reaches the native system tools only
// through the Sysnative alias; every other process finds them in System32.
bool SystemToolsNeedSysnative();

// <Windows folder>\Sysnative\<tool> or <Windows folder>\System32\<tool>.
std::wstring SystemToolPath(const std::wstring& tool);

}  // namespace kestrel
