// The commit page: shows the task list, lets the user choose the install
// folder and the proxy, and runs the tasks when Finish (Install, Upgrade,
// Retry) is pressed.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <mutex>
#include <string>

#include "engine/task_context.h"
#include "engine/task_rows.h"
#include "engine/task_runner.h"
#include "ui/vant_list_ctrl.h"
#include "ui/vant_property_sheet.h"
#include "win/handle.h"

namespace kestrel {

class CInstallWizard;

class CommitPage : public CVantPropertyPage, private TaskContext, private TaskRunHost, private TaskRows {
 public:
  explicit CommitPage(CInstallWizard& wizard);
  ~CommitPage() override;

  // The page's header title: "Install now" or "Upgrade now".
  std::wstring HeaderTitle() const;

  // Wizard hooks.
  BOOL OnSetActive() override;
  // The Finish handler (StartTaskRun); FALSE keeps the wizard open.
  BOOL OnWizardFinish() override { return StartTaskRun(); }
  BOOL StartTaskRun();
  // Cancel while tasks run ends the process at once: the sheet would
  // otherwise destroy the list and this page under the worker thread.
  BOOL OnQueryCancel() override;

  // The folder given on the command line, shown instead of Program Files.
  void PresetInstallFolder(const std::wstring& folder) { presetFolder_ = folder; }

  std::wstring installFolder() const;
  std::wstring installDir() const;
  CVantListCtrl& taskList() { return taskList_; }

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  void BrowseInstallFolder();
  void OnProxyLinkClick();
  void BuildInstallTaskList();
  static DWORD WINAPI WorkerEntry(void* page);

  // TaskRows over the list control.
  int RowCount() const override { return taskList_.RowCount(); }
  int AppendRow(const std::wstring& key) override { return taskList_.AppendRow(key); }
  void DeleteAllRows() override { taskList_.DeleteAllRows(); }
  std::wstring GetCellText(int row, int column) const override { return taskList_.GetCellText(row, column); }
  bool SetItemTextIfChanged(int row, int column, const std::wstring& text) override {
    return taskList_.SetItemTextIfChanged(row, column, text.c_str()) != FALSE;
  }

  // TaskRunHost.
  TaskRows& Rows() override { return *this; }
  TaskContext& ContextForRow(int row) override;
  void OnRunFailed(int row) override;
  void OnRunFinished() override;
  void EnableBrowseButton(bool enable);

  // TaskContext for the row being run.
  void SetStatus(const std::wstring& text) override;
  std::wstring Argument() override;
  DatabaseChoice Database() override;
  int EnterpriseEdition() override;
  std::wstring InstallFolder() override { return installFolder(); }
  std::wstring InstallDir() override { return installDir(); }
  void SetInstallDir(const std::wstring& dir) override;
  std::wstring StagingDir() override;
  void SetStagingDir(const std::wstring& dir) override;
  int Ask(const std::wstring& text, UINT type) override;
  int AskRestart(const std::wstring& question) override;
  void RestartMachine() override;
  const RunSettings& Settings() override;
  void SetButtonCaption(int id, const std::wstring& caption) override;

  CInstallWizard& wizard_;
  CVantListCtrl taskList_;
  mutable std::mutex mutex_;  // the three folders (read by the worker)
  std::wstring presetFolder_;
  std::wstring installFolder_;
  std::wstring installDir_;
  std::wstring stagingDir_;
  int currentRow_ = 0;
  win::UniqueHandle workerThread_;
  // From the start of a run until the worker has left the runner.
  std::atomic<bool> running_{false};
};

}  // namespace kestrel
