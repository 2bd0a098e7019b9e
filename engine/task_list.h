// The install and upgrade task lists.
#pragma once

#include <functional>
#include <string>

#include "core/run_settings.h"
#include "engine/task_context.h"
#include "engine/task_rows.h"

namespace kestrel {

// What building the install list needs from the page around it.
struct TaskListHost {
  // The database page's choice (all-in-one adds the SQL Server row).
  std::function<DatabaseChoice()> database;
  // The edition page's flag (never set in this wizard).
  std::function<int()> enterpriseEdition;
  // Tells the user the Windows version is not supported and disables Finish.
  std::function<void()> reportUnsupportedOs;
};

// Fills rows for the current mode; in upgrade mode hands over to
// BuildUpgradeTaskList. Classifies the Windows version the settings
// report; on an unsupported Windows the list stays empty.
void BuildInstallTaskList(TaskRows& rows, const TaskListHost& host, const RunSettings& settings);
void BuildUpgradeTaskList(TaskRows& rows);

}  // namespace kestrel
