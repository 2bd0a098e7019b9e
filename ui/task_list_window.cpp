#include "ui/task_list_window.h"

#include "core/builtin_strings.h"
#include "core/exit_codes.h"
#include "res/resource_ids.h"
#include "win/message_box.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

// The worker's "done", posted to the window's thread.
constexpr UINT kWorkDone = WM_APP + 1;

}  // namespace

TaskListWindow::TaskListWindow(std::function<int(TaskRows&)> work)
    : win::Dialog(IDD_TASK_LIST_WINDOW), work_(std::move(work)) {}

int TaskListWindow::Run() {
  if (DoModal(nullptr) == -1) {
    // No window: the run goes on without one.
    win::Log(L"the task list window could not be shown: " + win::ErrorText(::GetLastError()));
    return work_(*this);
  }
  return result_;
}

BOOL TaskListWindow::OnInitDialog() {
  win::SetMainWindow(hwnd());
  ::SetWindowTextW(hwnd(), LoadBuiltInString(kStrWizardTitle).c_str());
  list_.Attach(Item(IDC_TASK_LIST));
  list_.SetupTaskColumns();
  worker_.reset(::CreateThread(nullptr, 0, &TaskListWindow::WorkerEntry, this, 0, nullptr));
  if (!worker_) {
    win::Log(L"Failed to start tasks, error code:" + std::to_wstring(static_cast<int>(::GetLastError())));
    result_ = kExitFailed;
    EndDialog(IDABORT);
  }
  return TRUE;
}

DWORD WINAPI TaskListWindow::WorkerEntry(void* window) {
  auto* self = static_cast<TaskListWindow*>(window);
  int result = kExitFailed;
  try {
    result = self->work_(*self);
  } catch (...) {
    // Out of memory in a task: the run failed.
  }
  self->result_ = result;
  ::PostMessageW(self->hwnd(), kWorkDone, 0, 0);
  return 0;
}

void TaskListWindow::OnCancel() {
  win::Log(L"the task list window was closed while the tasks ran: the run ends here");
  ::TerminateProcess(::GetCurrentProcess(), kExitUserCancelled);
}

bool TaskListWindow::OnMessage(UINT message, WPARAM, LPARAM lParam, INT_PTR* result) {
  if (message == kWorkDone) {
    // The worker has left the work: nothing uses the list any more.
    ::WaitForSingleObject(worker_.get(), INFINITE);
    EndDialog(IDOK);
    *result = TRUE;
    return true;
  }
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->idFrom == IDC_TASK_LIST && header->code == NM_CUSTOMDRAW) {
      SetMessageResult(list_.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
      *result = TRUE;
      return true;
    }
  }
  return false;
}

}  // namespace kestrel
