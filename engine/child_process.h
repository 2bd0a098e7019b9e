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

// Starts appPath with commandLine (its first token the bare program name)
// and waits up to budget slices for its end, writing
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

// Length of one wait slice, the step of the progress bar (1000 ms). Tests
// shorten it to keep long budgets quick, or lengthen it.
DWORD WaitSliceMs();
void SetWaitSliceMs(DWORD milliseconds);

// How many wait slices a redistributable's setup gets per run (900): the
// .NET Framework installer and each SQL Server Express attempt. Tests give
// fewer; below 1 counts as 1.
int SetupBudget();
void SetSetupBudget(int slices);

// Starts a program with its window hidden, no handles inherited, our own
// environment and current folder. Returns the process handle (the thread
// handle is closed at once); empty when the start failed.
win::UniqueHandle StartHidden(const std::wstring& appPath, const std::wstring& commandLine);

}  // namespace kestrel
