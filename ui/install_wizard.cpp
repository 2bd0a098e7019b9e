#include "ui/install_wizard.h"

#include <commctrl.h>
#include <prsht.h>

#include "core/run_values.h"
#include "res/resource_ids.h"
#include "ui/cluster_mode_page.h"
#include "ui/commit_page.h"
#include "ui/edition_page.h"
#include "ui/eula_page.h"
#include "ui/welcome_page.h"
#include "win/message_box.h"

namespace kestrel {

CInstallWizard::CInstallWizard(const RunSettings& settings, const WizardPresets& presets)
    : CVantPropertySheet(L"Test"), settings_(settings) {
  // The commit page's proxy link is a link control, a class the start-up's
  // registration of the classic controls does not cover.
  INITCOMMONCONTROLSEX link = {sizeof link, ICC_LINK_CLASS};
  ::InitCommonControlsEx(&link);

  header().dwFlags &= ~static_cast<DWORD>(PSH_HASHELP);
  header().dwFlags |= PSH_WIZARD | PSH_WIZARD97 | PSH_HEADER | PSH_USEHBMHEADER;

  welcomePage_ = std::make_unique<WelcomePage>(*this);
  editionPage_ = std::make_unique<EditionPage>(*this);
  clusterModePage_ = std::make_unique<ClusterMode>(*this);
  if (presets.database) clusterModePage_->Preset(*presets.database);
  commitPage_ = std::make_unique<CommitPage>(*this);
  commitPage_->PresetInstallFolder(presets.installFolder);
  eulaPage_ = std::make_unique<EULA>(*this);

  if (g_upgradeMode == 0) {
    AddPage(*welcomePage_);
    AddPage(*eulaPage_);
    AddPage(*clusterModePage_);
  }
  AddPage(*commitPage_);
}

CInstallWizard::~CInstallWizard() = default;

DatabaseChoice CInstallWizard::DatabaseChoiceOfPage() const { return clusterModePage_->DatabaseChoiceOfPage(); }

int CInstallWizard::EnterpriseEdition() const { return editionPage_->enterpriseEdition; }

BOOL CInstallWizard::OnInitDialog(BOOL platformResult) {
  CVantPropertySheet::OnInitDialog(platformResult);
  win::SetMainWindow(hwnd());
  ::SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, WS_EX_APPWINDOW);
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // Shared icons: the system owns them, nothing to destroy.
  HANDLE big = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                            ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED);
  HANDLE small = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                              ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED);
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (HWND help = Item(IDC_HELP_BUTTON)) ::ShowWindow(help, SW_HIDE);
  return TRUE;
}

}  // namespace kestrel
