#include "uninstall/uninstall_dlg.h"

#include "res/resource_ids.h"
#include "win/message_box.h"

namespace kestrel {

UninstallDlg::UninstallDlg() : win::Dialog(IDD_UNINSTALL) {}

BOOL UninstallDlg::OnInitDialog() {
  win::SetMainWindow(hwnd());
  SetItemText(IDC_UNINSTALL_STATUS, L"Please click 'Uninstall' to begin uninstallation process.");
  return TRUE;
}

void UninstallDlg::OnOK() {
  // The removal sequence is not built yet: the button does nothing.
}

}  // namespace kestrel
