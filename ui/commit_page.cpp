#include "ui/commit_page.h"

#include <shlobj.h>

#include "core/builtin_strings.h"
#include "core/exit_codes.h"
#include "core/run_values.h"
#include "engine/task_list.h"
#include "net/audit_trace.h"
#include "res/resource_ids.h"
#include "ui/install_wizard.h"
#include "ui/proxy_page.h"
#include "win/message_box.h"
#include "win/run_log.h"
#include "win/shell.h"

namespace kestrel {
namespace {

constexpr unsigned kButtonsBackFinish = PSWIZB_BACK | PSWIZB_FINISH;
constexpr unsigned kButtonsDisabledFinish = PSWIZB_DISABLEDFINISH;

}  // namespace

CommitPage::CommitPage(CInstallWizard& wizard) : CVantPropertyPage(IDD_COMMIT_PAGE, wizard), wizard_(wizard) {
  SetupRecord(HeaderTitle());
}

CommitPage::~CommitPage() = default;

std::wstring CommitPage::HeaderTitle() const { return g_upgradeMode ? L"Upgrade now" : L"Install now"; }

std::wstring CommitPage::installFolder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return installFolder_;
}

std::wstring CommitPage::installDir() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return installDir_;
}

BOOL CommitPage::OnInitDialog() {
  taskList_.Attach(Item(IDC_TASK_LIST));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    installFolder_ = presetFolder_.empty() ? win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true) : presetFolder_;
    SetItemText(IDC_INSTALL_FOLDER, installFolder_);
  }
  ShowWizardTitle();
  taskList_.SetupTaskColumns();
  SendAuditTrace("commit page");
  return TRUE;
}

BOOL CommitPage::OnSetActive() {
  PostWizardButtons(kButtonsBackFinish);
  if (HWND finish = wizard_.Button(ID_WIZFINISH)) {
    if (g_upgradeMode) {
      ::SetWindowTextW(finish, L"Upgrade");
      SetItemText(IDC_INSTRUCTION, L"Please click the 'Upgrade' button to start upgrading.");
      for (int id : {IDC_INSTALL_TO_LABEL, IDC_INSTALL_FOLDER, IDC_BROWSE})
        ::ShowWindow(Item(id), SW_HIDE);
    } else {
      ::SetWindowTextW(finish, L"Install");
    }
  }
  BuildInstallTaskList();
  return CVantPropertyPage::OnSetActive();
}

void CommitPage::BuildInstallTaskList() {
  TaskListHost host;
  host.database = [this] { return Database(); };
  host.enterpriseEdition = [this] { return EnterpriseEdition(); };
  host.reportUnsupportedOs = [this] {
    wizard_.outcome().UnsupportedWindows();
    win::ShowMessage(L"Failed to check os type", MB_OK);
    PostWizardButtons(kButtonsDisabledFinish);
  };
  kestrel::BuildInstallTaskList(*this, host, wizard_.settings());
}

BOOL CommitPage::StartTaskRun() {
  PostWizardButtons(kButtonsDisabledFinish);
  EnableBrowseButton(false);
  // The previous run has ended (Finish was disabled while it ran): its
  // handle can go.
  running_ = true;
  workerThread_.reset(::CreateThread(nullptr, 0, &CommitPage::WorkerEntry, this, 0, nullptr));
  if (!workerThread_) {
    // Nothing runs: say so and give the page back, so the user can try
    // again or leave.
    const DWORD error = ::GetLastError();
    running_ = false;
    win::ShowMessage(L"Failed to start tasks, error code:" + std::to_wstring(static_cast<int>(error)), MB_OK);
    EnableBrowseButton(true);
    PostWizardButtons(kButtonsBackFinish);
  }
  return FALSE;
}

DWORD WINAPI CommitPage::WorkerEntry(void* page) {
  auto* self = static_cast<CommitPage*>(page);
  try {
    RunTasks(*self);
  } catch (...) {
    // Out of memory in a task: the run just ends.
  }
  self->running_ = false;
  return 0;
}

BOOL CommitPage::OnQueryCancel() {
  // A task has no safe point to stop at, and every object it uses dies
  // with the wizard: end here and now, leaving done what was done. No
  // trace of a completed or failed run goes out for a run cut off.
  if (running_) {
    win::Log(L"cancelled while the tasks ran: the run ends here");
    ::TerminateProcess(::GetCurrentProcess(), kExitUserCancelled);
  }
  return TRUE;
}

void CommitPage::OnCommand(int id, int code, HWND control) {
  if (id == IDC_BROWSE && code == BN_CLICKED) {
    BrowseInstallFolder();
    return;
  }
  CVantPropertyPage::OnCommand(id, code, control);
}

bool CommitPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  if (message != WM_NOTIFY) return CVantPropertyPage::OnMessage(message, wParam, lParam, result);
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header->idFrom == IDC_TASK_LIST && header->code == NM_CUSTOMDRAW) {
    SetMessageResult(taskList_.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
    *result = TRUE;
    return true;
  }
  if (header->idFrom == IDC_PROXY_LINK && (header->code == NM_CLICK || header->code == NM_RETURN)) {
    OnProxyLinkClick();
    SetMessageResult(0);
    *result = TRUE;
    return true;
  }
  return CVantPropertyPage::OnMessage(message, wParam, lParam, result);
}

void CommitPage::BrowseInstallFolder() {
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info = {};
  info.hwndOwner = hwnd();
  info.pszDisplayName = displayName;
  info.lpszTitle = L"Please select the installation folder";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
  if (chosen == nullptr) return;
  // The path API writes at most MAX_PATH characters.
  wchar_t path[MAX_PATH + 1] = {};
  const bool ok = ::SHGetPathFromIDListW(chosen, path) != FALSE;
  ::CoTaskMemFree(chosen);
  if (!ok) return;
  std::lock_guard<std::mutex> lock(mutex_);
  installFolder_ = path;
  SetItemText(IDC_INSTALL_FOLDER, installFolder_);
}

// Owned by the wizard, the application's main window, not by the page.
void CommitPage::OnProxyLinkClick() { ShowProxyDialog(win::MainWindow()); }

TaskContext& CommitPage::ContextForRow(int row) {
  currentRow_ = row;
  return *this;
}

void CommitPage::OnRunFailed(int /*row*/) {
  wizard_.outcome().RunFailed();
  // The list stays as it is; Finish becomes Retry, which runs it again
  // from the first row.
  EnableBrowseButton(true);
  PostWizardButtons(kButtonsBackFinish);
  SetButtonCaption(ID_WIZFINISH, L"Retry");
}

void CommitPage::OnRunFinished() { wizard_.outcome().RunFinished(); }

void CommitPage::EnableBrowseButton(bool enable) { ::EnableWindow(Item(IDC_BROWSE), enable ? TRUE : FALSE); }

void CommitPage::SetStatus(const std::wstring& text) {
  taskList_.SetItemTextIfChanged(currentRow_, kColumnStatus, text.c_str());
}

std::wstring CommitPage::Argument() { return taskList_.GetCellText(currentRow_, kColumnArgument); }

DatabaseChoice CommitPage::Database() { return wizard_.DatabaseChoiceOfPage(); }

int CommitPage::EnterpriseEdition() { return wizard_.EnterpriseEdition(); }

void CommitPage::SetInstallDir(const std::wstring& dir) {
  std::lock_guard<std::mutex> lock(mutex_);
  installDir_ = dir;
}

std::wstring CommitPage::StagingDir() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stagingDir_;
}

void CommitPage::SetStagingDir(const std::wstring& dir) {
  std::lock_guard<std::mutex> lock(mutex_);
  stagingDir_ = dir;
}

int CommitPage::Ask(const std::wstring& text, UINT type) { return win::ShowMessage(text, type); }

int CommitPage::AskRestart(const std::wstring& question) {
  int answer = PresetRestartAnswer(Settings(), question);
  if (answer == 0) answer = win::ShowMessageCaptioned(question, L"Reboot", MB_YESNO);
  if (answer != IDYES) wizard_.outcome().RestartDeclined();
  return answer;
}

void CommitPage::RestartMachine() { StartRestart(wizard_.settings(), wizard_.outcome()); }

const RunSettings& CommitPage::Settings() { return wizard_.settings(); }

void CommitPage::SetButtonCaption(int id, const std::wstring& caption) {
  if (HWND button = wizard_.Button(id)) ::SetWindowTextW(button, caption.c_str());
}

}  // namespace kestrel
