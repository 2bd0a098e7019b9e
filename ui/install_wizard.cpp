#include "ui/install_wizard.h"

#include "app/builtin_strings.h"
#include "win/message_box.h"

namespace kestrel {

CInstallWizard::CInstallWizard() : win::Dialog(IDD_WIZARD_HOST) {}

BOOL CInstallWizard::OnInitDialog() {
  win::SetMainWindow(hwnd());
  ::SetWindowTextW(hwnd(), LoadBuiltInString(kStrWizardTitle).c_str());
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HICON big = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED));
  HICON small = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  // Shared icons: the system owns them, nothing to destroy.
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  return TRUE;
}

}  // namespace kestrel
