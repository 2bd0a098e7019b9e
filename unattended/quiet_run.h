// The host of the engine for a run without a person: an unattended
// installation, upgrade or removal (a passive run shows its rows). It runs the same task lists, tasks, messages and traces as
// the wizard and the uninstall window, answers every question as an
// absent administrator would, writes what happens to the run's log and
// returns the exit code. It never creates a window.
#pragma once

#include <functional>
#include <string>

#include "core/run_settings.h"
#include "engine/task_context.h"
#include "engine/task_rows.h"

namespace kestrel {

struct QuietInstallRequest {
  // The database choice of the properties (all-in-one unless a server is
  // named); checked as the database page checks it.
  DatabaseChoice database;
  // The folder the product goes into; empty: Program Files.
  std::wstring installFolder;
  // Called once every check passed, before the run changes the machine.
  std::function<void()> beforeChanges;
  // Where the rows are shown (a passive run's task list window); null:
  // in memory only.
  TaskRows* display = nullptr;
};

// Installs (or upgrades, in upgrade mode) on this thread; returns the exit
// code: 0, 3010, 1641, 1603, 1633 or 1639. The caller has made sure that a
// new installation has its licence accepted (ACCEPTLICENSE=1).
int RunQuietInstall(const RunSettings& settings, const QuietInstallRequest& request);

// Downloads every payload into folder (created when missing) and copies
// the installer there; the rows go to display when given. 0, 1603, or
// 1639 when two payloads have the same file name (nothing downloaded).
int RunLayout(const RunSettings& settings, const std::wstring& folder, TaskRows* display);

// Removes the installed copy; 1605 when there is none.
int RunQuietRemoval(const RunSettings& settings, const std::function<void()>& beforeChanges);

}  // namespace kestrel
