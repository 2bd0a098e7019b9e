// Stopping and starting the product's monitor service around an upgrade,
// and stopping and starting the web server with its reset tool.
#pragma once

#include <windows.h>

#include <string>

#include "engine/task_context.h"

namespace kestrel {

// STOPSVC / STARTSVC: the service named in the row's argument. Both ask for
// the state up to 120 times (the settings' servicePollPauseMs apart), writing "#Progress:<i> 120@@Stopping" after
// each answer that is not yet the target state, and succeed after the
// 120th whatever the state.
int StopServiceTask(TaskContext& ctx);
int StartServiceTask(TaskContext& ctx);

// Stops "VEVer" before a fresh installation, reporting nothing anywhere;
// false on any failure.
bool StopMonitorServiceQuietly(const RunSettings& settings);

// STOPIIS / STARTIIS: the system folder's iisreset.exe with commandLine
// ("iisreset /stop", "iisreset /start"), budget 600.
int RestartWebServerTask(TaskContext& ctx, const std::wstring& commandLine);

}  // namespace kestrel
