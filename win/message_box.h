// The one way the program shows a message or asks a question. The caption
// is always the executable's base name ("KestrelSetup", or
// "(acme)KestrelSetup" for a partner copy).
#pragma once

#include <windows.h>

#include <string>

namespace win {

// Window that owns message boxes shown without an explicit owner: the
// application's main window (the wizard or the uninstall dialog).
void SetMainWindow(HWND window);
HWND MainWindow();

// Shows a modal message box and returns the button pressed (IDOK, IDYES,
// ...). When type names no icon, the customary one is added: a question
// mark for Yes/No, an exclamation mark for OK and OK/Cancel.
int ShowMessage(const std::wstring& text, UINT type = MB_OK);
int ShowMessage(HWND owner, const std::wstring& text, UINT type);

// Shows a message box with an explicit caption and no owner, no icon added.
int ShowMessageCaptioned(const std::wstring& text, const std::wstring& caption, UINT type);

// The name of a message box answer ("OK", "Retry", "No"...), as the log
// writes it.
const wchar_t* AnswerText(int answer);

}  // namespace win
