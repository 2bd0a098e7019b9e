// The installed product as the uninstall entry registers it.
#pragma once

#include <windows.h>

#include <string>

namespace kt {

// The product's uninstall command ("UninstallString" of its entry), empty
// when there is none.
std::wstring RegisteredUninstallCommand();

// Removes what finalization registers outside the product folder: the
// uninstall entry, the start-menu folder and the two desktop shortcuts.
void RemoveProductRegistration();

// Runs the registered command as a user would: it relaunches itself
// elevated, the test presses "Uninstall " and answers the restart question
// with restartAnswer (IDYES / IDNO). The restart seam writes to
// restartRecord. Returns the uninstaller's exit code, or -1 with *failure
// set when a step did not happen.
int RunRegisteredUninstall(const std::wstring& restartRecord, int restartAnswer, std::string* failure);

}  // namespace kt
