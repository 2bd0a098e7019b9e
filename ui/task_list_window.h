// The commit page's task list alone, in a window of its own: what a
// passive run shows. No questions, no buttons: the window opens, the run
// writes its rows, progress and icons into the list from a worker thread,
// and the window closes by itself when the run returns.
#pragma once

#include <functional>

#include "engine/task_rows.h"
#include "ui/vant_list_ctrl.h"
#include "win/dialog.h"
#include "win/handle.h"

namespace kestrel {

class TaskListWindow : public win::Dialog, private TaskRows {
 public:
  // work runs on a worker thread against the list; its result is Run's.
  explicit TaskListWindow(std::function<int(TaskRows&)> work);

  // Shows the window until the work has returned. Closing the window
  // while it runs ends the process at once with 1602 (the tasks have no
  // safe point to stop at), as Cancel does in the wizard.
  int Run();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  static DWORD WINAPI WorkerEntry(void* window);

  // TaskRows over the list control.
  int RowCount() const override { return list_.RowCount(); }
  int AppendRow(const std::wstring& key) override { return list_.AppendRow(key); }
  void DeleteAllRows() override { list_.DeleteAllRows(); }
  std::wstring GetCellText(int row, int column) const override { return list_.GetCellText(row, column); }
  bool SetItemTextIfChanged(int row, int column, const std::wstring& text) override {
    return list_.SetItemTextIfChanged(row, column, text.c_str()) != FALSE;
  }

  std::function<int(TaskRows&)> work_;
  int result_ = 0;
  CVantListCtrl list_;
  win::UniqueHandle worker_;
};

}  // namespace kestrel
