#include "win/message_box.h"

#include <atomic>

#include "win/module.h"

namespace win {
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

int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
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
