#include "app/kestrel_setup_app.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <winsock2.h>

#include "app/builtin_strings.h"
#include "app/command_line.h"
#include "app/globals.h"
#include "app/installer_state.h"
#include "app/marker_folder.h"
#include "app/partner_id.h"
#include "app/system_inspection.h"
#include "net/audit_trace.h"
#include "net/text_convert.h"
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

void ReadPartnerIdFromFileName() {
  auto id = ParsePartnerId(win::ModulePath());
  if (!id) return;
  WriteInstallerValue(kValuePartnerId, *id);
  g_partnerId = WideToUtf8(*id).value_or(std::string());
}

bool DetectUpgradeNeeded() {
  const int32_t state = ReadInstallState();
  if (state == kInstallStateNeedsUpgrade) return true;
  if (state == kInstallStateRunning) return false;
  std::wstring root;
  if (!ReadLastInstallPath(root)) root = win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true);
  if (root.empty()) return false;
  std::wstring productParent;
  if (!FindMarkerFolder(root, productParent)) return false;
  return ReadDbServer();
}

int CKestrelSetupApp::InitInstance(const std::wstring& arguments) {
  WSADATA wsa;
  (void)::WSAStartup(MAKEWORD(2, 0), &wsa);

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);

  ReadPartnerIdFromFileName();

  // COM for the shell's folder picker; released when start-up returns.
  win::ComInit com;

  LoadRichEditLibrary();

  if (!HasSwitch(arguments, kSwitchRunas)) {
    ::OutputDebugStringW(L"[KestrelSetup]InitInstance, re-launch with admin rights\n");
    if (RelaunchElevated(arguments)) return FALSE;
    // Refused or failed: carry on in this process with the rights it has.
  }

  if (HasSwitch(arguments, kSwitchUninstall)) {
    UninstallDlg dialog;
    dialog.DoModal(nullptr);
    win::SetMainWindow(nullptr);
    return FALSE;
  }

  SendAuditTrace(ReadOsDescription());
  if (DetectUpgradeNeeded()) {
    SendAuditTrace("Start: needs upgrade");
    std::wstring question =
        L"You already have " + LoadBuiltInString(kStrDisplayName) + L" installed, Do you want to upgrade?";
    if (win::ShowMessage(nullptr, question, MB_YESNO) != IDYES) ::ExitProcess(0);
    g_upgradeMode = 1;
  }

  {
    CInstallWizard wizard;
    wizard.DoModal(nullptr);
    win::SetMainWindow(nullptr);
  }
  return FALSE;
}

}  // namespace kestrel
