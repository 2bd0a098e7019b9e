// Thin dialogs over the Win32 dialog manager: the template comes from the
// executable's resources, messages go to one virtual dispatch. DialogBase
// is what a modal or modeless dialog and a property page share; no
// exception ever leaves their dialog procedures.
#pragma once

#include <windows.h>

#include <string>

namespace win {

class DialogBase {
 public:
  DialogBase() = default;
  virtual ~DialogBase() = default;
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
  std::wstring ItemText(int id) const;
  void SetItemText(int id, const std::wstring& text) const { ::SetDlgItemTextW(hwnd_, id, text.c_str()); }
  // Sets the result of a notification handled in OnMessage.
  void SetMessageResult(LRESULT result) const { ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result); }

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnCommand(int /*id*/, int /*code*/, HWND /*control*/) {}
  // Handles a message first; return true with *result set when handled.
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, INT_PTR* /*result*/) {
    return false;
  }
  // OnMessage, then WM_INITDIALOG and WM_COMMAND to their handlers.
  virtual INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  // The body of every dialog procedure: attaching is the object that owns
  // the window at WM_INITDIALOG (null for every other message, which finds
  // the object in the window's user data).
  static INT_PTR Route(DialogBase* attaching, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  HWND hwnd_ = nullptr;
};

class Dialog : public DialogBase {
 public:
  explicit Dialog(int templateId) : templateId_(templateId) {}

  // Runs the dialog modally; returns the value given to EndDialog, or -1.
  INT_PTR DoModal(HWND parent);
  // Creates the dialog modelessly (a child page, for one); null on failure.
  HWND Create(HWND parent);

  void EndDialog(INT_PTR result) { ::EndDialog(hwnd(), result); }

 protected:
  // IDOK and IDCANCEL go to OnOK and OnCancel.
  void OnCommand(int id, int code, HWND control) override;
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
};

// Text of any window, of any length.
std::wstring WindowText(HWND window);

}  // namespace win
