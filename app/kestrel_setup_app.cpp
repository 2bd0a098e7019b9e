#include "app/kestrel_setup_app.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <winsock2.h>

#include "app/command_line.h"
#include "app/startup_settings.h"
#include "core/builtin_strings.h"
#include "core/installer_state.h"
#include "core/partner_id.h"
#include "core/run_values.h"
#include "core/system_inspection.h"
#include "core/text_convert.h"
#include "engine/marker_folder.h"
#include "net/audit_trace.h"
#include "ui/install_wizard.h"
#include "uninstall/uninstall_dlg.h"
#include "win/handle.h"
#include "win/message_box.h"
#include "win/module.h"
#include "win/shell.h"

namespace kestrel {
namespace {

// The licence page's rich text box lives in RICHED20.DLL. An installer
// usually runs from the Downloads folder, where a planted DLL of that name
// would be found first, so the library is named by its full system path.
void LoadRichEditLibrary() {
  std::wstring path = win::SystemFolder() + L"\\RICHED20.DLL";
  // Kept loaded for the life of the process.
  (void)::LoadLibraryW(path.c_str());
}

}  // namespace

bool RelaunchElevated(const std::wstring& arguments) {
  return win::ShellExecuteVerb(L"runas", win::ModulePath(), RelaunchParameters(arguments), SW_SHOW);
}

std::optional<std::string> ReadPartnerIdFromFileName() {
  auto id = ParsePartnerId(win::ModulePath());
  if (!id) return std::nullopt;
  WriteInstallerValue(kValuePartnerId, *id);
  return WideToUtf8(*id).value_or(std::string());
}

CKestrelSetupApp::CKestrelSetupApp() = default;
CKestrelSetupApp::~CKestrelSetupApp() = default;

int CKestrelSetupApp::InitInstance(const std::wstring& arguments) {
  settings_ = StartupRunSettings();
  WSADATA wsa;
  (void)::WSAStartup(MAKEWORD(2, 0), &wsa);

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);

  AuditTraceConfig audit;
  if (auto partnerId = ReadPartnerIdFromFileName()) audit.partnerId = std::move(*partnerId);
  audit.endpoint = settings_.auditEndpoint ? *settings_.auditEndpoint
                                           : LoadBuiltInStringUtf8(kStrAuditEndpoint).value_or(std::string());
  ConfigureAuditTrace(std::move(audit));

  // COM for the shell's folder picker; released when start-up returns.
  win::ComInit com;

  LoadRichEditLibrary();

  if (!HasSwitch(arguments, kSwitchRunas)) {
    ::OutputDebugStringW(L"[KestrelSetup]InitInstance, re-launch with admin rights\n");
    if (RelaunchElevated(arguments)) return FALSE;
    // Refused or failed: carry on in this process with the rights it has.
  }

  // The windows live as long as the process: a worker thread may still
  // use them when the window closes, and the process ends (with every
  // thread) before anything here is destroyed.
  if (HasSwitch(arguments, kSwitchUninstall)) {
    uninstallDialog_ = std::make_unique<UninstallDlg>(settings_);
    uninstallDialog_->DoModal(nullptr);
    win::SetMainWindow(nullptr);
    return FALSE;
  }

  SendAuditTrace(ReadOsDescription());
  if (DetectUpgradeNeeded()) {
    SendAuditTrace("Start: needs upgrade");
    std::wstring question =
        L"You already have " + LoadBuiltInString(kStrDisplayName) + L" installed, Do you want to upgrade?";
    if (win::ShowMessage(nullptr, question, MB_YESNO) != IDYES) return FALSE;
    g_upgradeMode = 1;
  }

  wizard_ = std::make_unique<CInstallWizard>(settings_);
  wizard_->DoModal(nullptr);
  win::SetMainWindow(nullptr);
  return FALSE;
}

}  // namespace kestrel
