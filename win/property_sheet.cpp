#include "win/property_sheet.h"

#include "win/dialog.h"
#include "win/handle.h"

namespace win {
namespace {

struct HookTraits {
  using type = HHOOK;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::UnhookWindowsHookEx(h); }
};
using UniqueHook = Unique<HookTraits>;

// The sheet whose window is being created on this thread, until the hook
// has seen that window.
thread_local PropertySheet* t_creating = nullptr;

}  // namespace

// ---------------------------------------------------------------- pages

PropertyPage::PropertyPage(int templateId) : templateId_(templateId) {
  record_.dwSize = sizeof record_;
  record_.hInstance = ::GetModuleHandleW(nullptr);
  record_.pszTemplate = MAKEINTRESOURCEW(templateId);
  record_.pfnDlgProc = &PropertyPage::Procedure;
  record_.lParam = reinterpret_cast<LPARAM>(this);
}

void PropertyPage::SetHeaderTitle(const std::wstring& title) {
  headerTitle_ = title;
  record_.pszHeaderTitle = headerTitle_.c_str();
  record_.dwFlags |= PSP_USEHEADERTITLE;
}

void PropertyPage::SetTitle(const std::wstring& title) {
  title_ = title;
  record_.pszTitle = title_.c_str();
  record_.dwFlags |= PSP_USETITLE;
}

void PropertyPage::SetIcon(int iconId) {
  iconId_ = iconId;
  record_.pszIcon = MAKEINTRESOURCEW(iconId);
  record_.dwFlags |= PSP_USEICONID;
}

bool PropertyPage::OnSheetNotify(const NMHDR& header) {
  switch (header.code) {
    case PSN_SETACTIVE:
      SetMessageResult(OnSetActive() ? 0 : -1);
      return true;
    case PSN_KILLACTIVE:
      SetMessageResult(FALSE);
      return true;
    case PSN_WIZNEXT:
      SetMessageResult(OnWizardNext());
      return true;
    case PSN_WIZBACK:
      SetMessageResult(OnWizardBack());
      return true;
    case PSN_WIZFINISH:
      // Non-zero keeps the sheet open.
      SetMessageResult(OnWizardFinish() ? 0 : 1);
      return true;
    case PSN_QUERYCANCEL:
      // Non-zero keeps the sheet open.
      SetMessageResult(OnQueryCancel() ? FALSE : TRUE);
      return true;
    default:
      return false;
  }
}

INT_PTR PropertyPage::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->hwndFrom == ::GetParent(hwnd()) && OnSheetNotify(*header)) return TRUE;
  }
  return DialogBase::Dispatch(message, wParam, lParam);
}

INT_PTR CALLBACK PropertyPage::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // The platform passes its own copy of the page record; our object
  // travels in its lParam.
  PropertyPage* attaching =
      message == WM_INITDIALOG
          ? reinterpret_cast<PropertyPage*>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam)
          : nullptr;
  return Route(attaching, hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------------- sheet

PropertySheet::PropertySheet(std::wstring caption) : caption_(std::move(caption)) {
  header_.dwSize = sizeof header_;
  header_.hInstance = ::GetModuleHandleW(nullptr);
  header_.pszCaption = caption_.c_str();
  header_.nStartPage = 0;
}

PropertyPage* PropertySheet::Page(int index) const {
  if (index < 0 || index >= PageCount()) return nullptr;
  return pages_[static_cast<size_t>(index)];
}

int PropertySheet::ActiveIndex() const {
  HWND page = PropSheet_GetCurrentPageHwnd(hwnd_);
  if (page == nullptr) return -1;
  for (int i = 0; i < PageCount(); ++i)
    if (pages_[static_cast<size_t>(i)]->hwnd() == page) return i;
  return -1;
}

bool PropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= PageCount()) return false;
  return PropSheet_SetCurSel(hwnd_, nullptr, index) != FALSE;
}

INT_PTR PropertySheet::DoModal(HWND parent) {
  std::vector<PROPSHEETPAGEW> records;
  records.reserve(pages_.size());
  for (PropertyPage* page : pages_) records.push_back(page->record());
  header_.hwndParent = parent;
  header_.dwFlags |= PSH_PROPSHEETPAGE;
  header_.dwFlags &= ~static_cast<DWORD>(PSH_MODELESS);
  header_.nPages = static_cast<UINT>(records.size());
  header_.ppsp = records.data();

  // The platform creates the sheet window and initialises it inside this
  // call: a creation hook subclasses the window before its first message.
  PropertySheet* previous = t_creating;
  t_creating = this;
  UniqueHook hook(::SetWindowsHookExW(WH_CBT, &PropertySheet::CreationHook, nullptr, ::GetCurrentThreadId()));
  INT_PTR result = ::PropertySheetW(&header_);
  hook.reset();
  t_creating = previous;
  hwnd_ = nullptr;
  return result;
}

LRESULT CALLBACK PropertySheet::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && t_creating != nullptr) {
    HWND window = reinterpret_cast<HWND>(wParam);
    const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 15);
    // The sheet is the first top-level dialog created during the call;
    // its pages and controls are children.
    if ((create->style & WS_CHILD) == 0 && std::wstring(className) == L"#32770") {
      PropertySheet* sheet = t_creating;
      t_creating = nullptr;
      sheet->hwnd_ = window;
      ::SetWindowSubclass(window, &PropertySheet::SubclassProcedure, 1, reinterpret_cast<DWORD_PTR>(sheet));
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT PropertySheet::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    LRESULT platform = ::DefSubclassProc(hwnd_, message, wParam, lParam);
    return OnInitDialog(static_cast<BOOL>(platform));
  }
  LRESULT result = 0;
  if (OnMessage(message, wParam, lParam, &result)) return result;
  return ::DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK PropertySheet::SubclassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                  UINT_PTR id, DWORD_PTR self) {
  auto* sheet = reinterpret_cast<PropertySheet*>(self);
  if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(hwnd, &PropertySheet::SubclassProcedure, id);
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
  }
  try {
    return sheet->Dispatch(message, wParam, lParam);
  } catch (...) {
    // Out of memory inside a handler: let the platform have the message.
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
  }
}

}  // namespace win
