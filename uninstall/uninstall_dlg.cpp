#include "uninstall/uninstall_dlg.h"

#include <commctrl.h>

#include "core/exit_codes.h"
#include "net/audit_trace.h"
#include "res/resource_ids.h"
#include "win/message_box.h"
#include "win/run_log.h"

namespace kestrel {

UninstallDlg::UninstallDlg(const RunSettings& settings, bool passive)
    : win::Dialog(IDD_UNINSTALL), settings_(settings), passive_(passive) {}

BOOL UninstallDlg::OnInitDialog() {
  win::SetMainWindow(hwnd());
  SetItemText(IDC_UNINSTALL_STATUS, L"Please click 'Uninstall' to begin uninstallation process.");
  if (passive_) ::PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return TRUE;
}

void UninstallDlg::SetStatus(const std::wstring& text) { SetItemText(IDC_UNINSTALL_STATUS, text); }

void UninstallDlg::ProgressStep(int n) {
  HWND bar = Item(IDC_UNINSTALL_PROGRESS);
  const int position = static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
  ::SendMessageW(bar, PBM_SETPOS, (position + n) % 100, 0);
}

int UninstallDlg::Ask(const std::wstring& text, UINT type) {
  return passive_ ? AbsentAnswer(text, type) : win::ShowMessage(text, type);
}

int UninstallDlg::AskRestart(const std::wstring& question) {
  int answer = passive_ ? AbsentRestartAnswer(Settings(), question) : PresetRestartAnswer(Settings(), question);
  if (answer == 0) answer = win::ShowMessageCaptioned(question, L"Reboot", MB_YESNO);
  if (answer != IDYES) outcome_.RestartDeclined();
  return answer;
}

void UninstallDlg::RestartMachine() { StartRestart(settings_, outcome_); }

void UninstallDlg::OnOK() {
  if (uninstallThread_) return;
  ::ShowWindow(Item(IDOK), SW_HIDE);
  ::SendMessageW(Item(IDC_UNINSTALL_PROGRESS), PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  uninstallThread_.reset(::CreateThread(nullptr, 0, &UninstallDlg::WorkerEntry, this, 0, nullptr));
  if (!uninstallThread_) {
    // Nothing was removed: say so and offer the button again.
    const DWORD error = ::GetLastError();
    win::ShowMessage(L"Failed to start tasks, error code:" + std::to_wstring(static_cast<int>(error)), MB_OK);
    ::ShowWindow(Item(IDOK), SW_SHOW);
  }
}

void UninstallDlg::OnCancel() {
  if (uninstallThread_) {
    // The steps have no safe point to stop at: end the process here and now,
    // leaving done what was done.
    win::Log(L"cancelled while the removal ran: the run ends here");
    ::TerminateProcess(::GetCurrentProcess(), kExitUserCancelled);
  }
  EndDialog(IDCANCEL);
}

DWORD WINAPI UninstallDlg::WorkerEntry(void* dialog) {
  auto* self = static_cast<UninstallDlg*>(dialog);
  try {
    RunUninstall(*self);
    self->outcome_.RunFinished();
  } catch (...) {
    self->outcome_.RunFailed();
  }
  // The removal ends the program, the window with it.
  const int code = self->outcome_.ExitCode();
  win::Log(L"exit code " + std::to_wstring(code));
  FlushAuditTraces(kAuditFlushAtExitMs);
  ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace kestrel
