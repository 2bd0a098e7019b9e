#include "ui/install_wizard.h"

#include <commctrl.h>
#include <prsht.h>

#include "app/builtin_strings.h"
#include "ui/commit_page.h"
#include "win/message_box.h"

namespace kestrel {

CInstallWizard::CInstallWizard() : win::Dialog(IDD_WIZARD_HOST), commitPage_(std::make_unique<CommitPage>(*this)) {}

CInstallWizard::~CInstallWizard() = default;

BOOL CInstallWizard::OnInitDialog() {
  win::SetMainWindow(hwnd());
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // Shared icons: the system owns them, nothing to destroy.
  HANDLE big = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                            ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED);
  HANDLE small = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                              ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED);
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

  // The proxy link of the commit page is a link control, a class the
  // start-up's registration of the classic controls does not cover.
  INITCOMMONCONTROLSEX link = {sizeof link, ICC_LINK_CLASS};
  ::InitCommonControlsEx(&link);

  // The page fills the area above the buttons.
  HWND page = commitPage_->Create(hwnd());
  if (page != nullptr) {
    RECT area = {0, 0, 410, 232};
    ::MapDialogRect(hwnd(), &area);
    ::SetWindowPos(page, nullptr, 0, 30, area.right, area.bottom - 30, SWP_NOZORDER | SWP_SHOWWINDOW);
    commitPage_->OnSetActive();
  }
  return TRUE;
}

void CInstallWizard::ApplyWizardButtons(unsigned flags) {
  const bool finish = (flags & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) != 0;
  ::EnableWindow(Button(ID_WIZBACK), (flags & PSWIZB_BACK) ? TRUE : FALSE);
  ::EnableWindow(Button(ID_WIZNEXT), (flags & PSWIZB_NEXT) ? TRUE : FALSE);
  ::ShowWindow(Button(ID_WIZNEXT), finish ? SW_HIDE : SW_SHOW);
  ::ShowWindow(Button(ID_WIZFINISH), finish ? SW_SHOW : SW_HIDE);
  ::EnableWindow(Button(ID_WIZFINISH), (flags & PSWIZB_FINISH) ? TRUE : FALSE);
}

bool CInstallWizard::OnMessage(UINT message, WPARAM, LPARAM lParam, INT_PTR* result) {
  if (message != PSM_SETWIZBUTTONS) return false;
  ApplyWizardButtons(static_cast<unsigned>(lParam));
  *result = TRUE;
  return true;
}

void CInstallWizard::OnCommand(int id, int code, HWND control) {
  if (id == ID_WIZFINISH) {
    commitPage_->OnWizardFinish();
    return;
  }
  // Back and Next have nowhere to go while the commit page is alone.
  if (id == ID_WIZBACK || id == ID_WIZNEXT) return;
  win::Dialog::OnCommand(id, code, control);
}

}  // namespace kestrel
