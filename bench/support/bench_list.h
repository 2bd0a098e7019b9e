// What the benchmarks share: a task list on the calling thread, a task
// context that counts status texts (and writes them into that list when
// one is attached), and the message pump that carries out a worker's list
// writes, as the wizard's thread does during a run.
#pragma once

#include <windows.h>

#include <string>

#include "engine/task_context.h"
#include "ui/vant_list_ctrl.h"

namespace bench {

// Shows nothing; counts the status texts, and with a list attached writes
// each into row 0 as the commit page does. Questions go to stderr.
class BenchContext : public kestrel::TaskContext {
 public:
  void SetStatus(const std::wstring& text) override;
  std::wstring Argument() override { return {}; }
  kestrel::DatabaseChoice Database() override { return {}; }
  int EnterpriseEdition() override { return 0; }
  std::wstring InstallFolder() override { return {}; }
  std::wstring InstallDir() override { return {}; }
  void SetInstallDir(const std::wstring&) override {}
  std::wstring StagingDir() override { return {}; }
  void SetStagingDir(const std::wstring&) override {}
  int Ask(const std::wstring& text, UINT) override;
  int AskRestart(const std::wstring&) override { return IDNO; }
  void RestartMachine() override {}
  const kestrel::RunSettings& Settings() override { return settings; }
  void SetButtonCaption(int, const std::wstring&) override {}

  kestrel::RunSettings settings;

  kestrel::CVantListCtrl* list = nullptr;
  long long updates = 0;
};

// A visible window on this thread holding a task list with one row for
// rowKey; the list's custom drawing is served. Null when it cannot be made.
HWND MakeTaskListWindow(const wchar_t* rowKey);
// The list inside that window.
kestrel::CVantListCtrl& TaskList();

// Pumps this thread's messages until the thread handle is signalled.
void PumpUntilEnded(HANDLE thread);

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to);

}  // namespace bench
