#include "win/message_box.h"

#include <atomic>

#include "win/module.h"
#include "win/run_log.h"

namespace win {

const wchar_t* AnswerText(int answer) {
  switch (answer) {
    case IDOK: return L"OK";
    case IDCANCEL: return L"Cancel";
    case IDABORT: return L"Abort";
    case IDRETRY: return L"Retry";
    case IDIGNORE: return L"Ignore";
    case IDYES: return L"Yes";
    case IDNO: return L"No";
    default: return L"none";
  }
}

namespace {

std::atomic<HWND> g_mainWindow{nullptr};

UINT WithCustomaryIcon(UINT type) {
  if ((type & MB_ICONMASK) != 0) return type;
  switch (type & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
      return type | MB_ICONEXCLAMATION;
    case MB_YESNO:
    case MB_YESNOCANCEL:
      return type | MB_ICONQUESTION;
    default:
      return type;
  }
}

// Every message and question goes to the log with the answer it got.
int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  Log(L"message: " + text);
  const int answer = ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
  Log(std::wstring(L"answer: ") + AnswerText(answer));
  return answer;
}

}  // namespace

void SetMainWindow(HWND window) { g_mainWindow = window; }
HWND MainWindow() { return g_mainWindow; }

int ShowMessage(const std::wstring& text, UINT type) { return ShowMessage(MainWindow(), text, type); }

int ShowMessage(HWND owner, const std::wstring& text, UINT type) {
  if (owner != nullptr && !::IsWindow(owner)) owner = nullptr;
  return Show(owner, text, ExecutableBaseName(), WithCustomaryIcon(type));
}

int ShowMessageCaptioned(const std::wstring& text, const std::wstring& caption, UINT type) {
  return Show(nullptr, text, caption, type);
}

}  // namespace win
