// Starting a program hidden and waiting for it in slices, so that the
// caller can show progress or give up after a budget.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "win/handle.h"

namespace win {

// Starts appPath with commandLine (its first token the bare program name),
// its window hidden, with our environment and current folder. Without an
// output handle nothing is inherited; with one, the program writes its
// standard output and error there (the handle must be inheritable).
// Returns the process handle (the thread handle is closed at once); empty
// when the start failed.
UniqueHandle StartHidden(const std::wstring& appPath, const std::wstring& commandLine, HANDLE output = nullptr);

// Writes the exit code of an ended process to the run's log.
void LogExitCode(HANDLE process);

enum class SliceWait { kEnded, kBudgetSpent, kFailed };

// Waits up to `slices` slices of sliceMs for the process to end, calling
// onSlice(i) after the i-th slice (from 0) that did not see it end. Whether
// it ended is asked of the handle, not of the exit code: a program may
// itself exit with the code that otherwise means "still running". A budget
// below 1 counts as 1.
SliceWait WaitInSlices(HANDLE process, DWORD sliceMs, int slices, const std::function<void(int)>& onSlice = {});

}  // namespace win
