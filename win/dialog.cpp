#include "win/dialog.h"

namespace win {

std::wstring WindowText(HWND window) {
  int n = ::GetWindowTextLengthW(window);
  if (n <= 0) return {};
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  n = ::GetWindowTextW(window, text.data(), n + 1);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::wstring DialogBase::ItemText(int id) const { return WindowText(Item(id)); }

INT_PTR DialogBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result = 0;
  if (OnMessage(message, wParam, lParam, &result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR DialogBase::Route(DialogBase* attaching, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogBase* self = attaching;
  if (self != nullptr) {
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<DialogBase*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  try {
    INT_PTR result = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) self->hwnd_ = nullptr;
    return result;
  } catch (...) {
    // Out of memory inside a handler: the message counts as not handled.
    return FALSE;
  }
}

INT_PTR Dialog::DoModal(HWND parent) {
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent, &Dialog::Procedure,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::Create(HWND parent) {
  return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent, &Dialog::Procedure,
                              reinterpret_cast<LPARAM>(this));
}

void Dialog::OnCommand(int id, int /*code*/, HWND /*control*/) {
  if (id == IDOK) OnOK();
  if (id == IDCANCEL) OnCancel();
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // The object travels in the creation parameter.
  Dialog* attaching = message == WM_INITDIALOG ? reinterpret_cast<Dialog*>(lParam) : nullptr;
  return Route(attaching, hwnd, message, wParam, lParam);
}

}  // namespace win
