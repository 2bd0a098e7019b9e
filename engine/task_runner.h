// Runs the task list row by row on a worker thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/task_context.h"
#include "engine/task_rows.h"

namespace kestrel {

// A task operation: non-zero for success, 0 for failure (it reports its own
// failure details before it returns).
using TaskHandler = std::function<int(TaskContext&)>;

struct TaskEntry {
  const wchar_t* key;
  TaskHandler run;
};

// The dispatch table of every task key.
const std::vector<TaskEntry>& TaskDispatchTable();

// The handler for a key (case-insensitive); empty when unknown.
TaskHandler FindTask(const std::vector<TaskEntry>& table, const std::wstring& key);

// What the runner needs from the host around it. The runner tells the
// host how the run goes; what that shows (buttons, captions, a log) is the
// host's business.
class TaskRunHost {
 public:
  virtual ~TaskRunHost() = default;
  virtual TaskRows& Rows() = 0;
  // The context the tasks see, pointed at the row being run.
  virtual TaskContext& ContextForRow(int row) = 0;
  // Before the first row.
  virtual void OnRunStarted() {}
  // The task of this row failed; no row after it runs. A new run (Retry)
  // starts again from the first row.
  virtual void OnRunFailed(int row) = 0;
  // Every row succeeded.
  virtual void OnRunFinished() {}
  // An installation or an upgrade: the runner keeps InstallState and
  // sends the run's closing trace. Other runs (an offline layout) do not.
  virtual bool IsInstallation() const { return true; }
};

// The status markup of a finished row: the handle of icon 1010 (done) or
// 1011 (failed) as a pointer-sized decimal.
std::wstring DoneStatus();
std::wstring FailedStatus();

// The worker thread's body: InstallState 2 (install mode), then each row in
// turn until the first failure.
void RunTasks(TaskRunHost& host, const std::vector<TaskEntry>& table = TaskDispatchTable());

}  // namespace kestrel
