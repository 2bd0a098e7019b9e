// A thin modal or modeless dialog over the Win32 dialog manager: the
// template comes from the executable's resources, messages go to one
// virtual dispatch. No exception ever leaves the dialog procedure.
#pragma once

#include <windows.h>

#include <string>

namespace win {

class Dialog {
 public:
  explicit Dialog(int templateId) : templateId_(templateId) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; returns the value given to EndDialog, or -1.
  INT_PTR DoModal(HWND parent);
  // Creates the dialog modelessly (a child page, for one); null on failure.
  HWND Create(HWND parent);

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
  std::wstring ItemText(int id) const;
  void SetItemText(int id, const std::wstring& text) const { ::SetDlgItemTextW(hwnd_, id, text.c_str()); }
  void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }
  // Sets the result of a notification handled in OnMessage.
  void SetMessageResult(LRESULT result) const { ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result); }

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnCommand(int id, int code, HWND control);
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Handles a message; return true with *result set when it was handled.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
  HWND hwnd_ = nullptr;
};

// Text of any window, of any length.
std::wstring WindowText(HWND window);

}  // namespace win
