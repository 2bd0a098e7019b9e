#include "engine/task_runner.h"

#include <windows.h>

#include "core/ascii_text.h"
#include "core/installer_state.h"
#include "core/progress_markup.h"
#include "core/run_values.h"
#include "core/text_convert.h"
#include "engine/config_tool.h"
#include "engine/dot_net.h"
#include "engine/finalization.h"
#include "engine/product_package.h"
#include "engine/services.h"
#include "engine/sql_express.h"
#include "engine/task_keys.h"
#include "engine/windows_features.h"
#include "net/audit_trace.h"
#include "res/resource_ids.h"

namespace kestrel {
namespace {

std::wstring IconStatus(int iconId, const wchar_t* tail) {
  // Shared icons live as long as the process, as long as any row shows them.
  HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, 16, 16, LR_SHARED);
  return IconMarkup(static_cast<int64_t>(reinterpret_cast<intptr_t>(icon)), tail);
}

}  // namespace

std::wstring DoneStatus() { return IconStatus(IDI_DONE, L"Done"); }
std::wstring FailedStatus() { return IconStatus(IDI_FAILED, L"Failed"); }

const std::vector<TaskEntry>& TaskDispatchTable() {
  static const std::vector<TaskEntry> table = {
      {kTaskInstallNet, InstallDotNet},
      {kTaskInstallPackage, InstallProductPackage},
      {kTaskInstallSql, InstallSqlExpress},
      {kTaskDismNetFx4, [](TaskContext& ctx) { return EnableFeatureDismAll(ctx, ctx.Argument(), 240); }},
      {kTaskInitDb, InitDatabase},
      {kTaskInitIis, ConfigureWebApps},
      {kTaskFinalize, FinalizeInstall},
      {kTaskConfigIis2008R2, ConfigIIS2008R2},
      {kTaskConfigIis2008, ConfigIIS2008},
      {kTaskConfigIis2012, ConfigIIS2012},
      {kTaskConfigIisWin7, ConfigIISWin7},
      {kTaskStopService, StopServiceTask},
      {kTaskStartService, StartServiceTask},
      {kTaskFinalizeUpgrade, FinalizeUpgrade},
      {kTaskDownloadPackage, [](TaskContext& ctx) { return UpgradePackage(ctx, true); }},
      {kTaskUpgradePackage, [](TaskContext& ctx) { return UpgradePackage(ctx, false); }},
      {kTaskStopIis, [](TaskContext& ctx) { return RestartWebServerTask(ctx, L"iisreset /stop"); }},
      {kTaskStartIis, [](TaskContext& ctx) { return RestartWebServerTask(ctx, L"iisreset /start"); }},
  };
  return table;
}

TaskHandler FindTask(const std::vector<TaskEntry>& table, const std::wstring& key) {
  for (const TaskEntry& entry : table)
    if (EqualsNoCase(entry.key, key)) return entry.run;
  return {};
}

void RunTasks(TaskRunHost& host, const std::vector<TaskEntry>& table) {
  if (!g_upgradeMode) WriteInstallState(kInstallStateRunning);
  TaskRows& rows = host.Rows();
  host.OnRunStarted();
  for (int row = 0; row < rows.RowCount(); ++row) {
    const std::wstring key = rows.GetCellText(row, kColumnKey);
    TaskContext& ctx = host.ContextForRow(row);
    rows.SetItemTextIfChanged(row, kColumnStatus, L"Processing...");
    TaskHandler task = FindTask(table, key);
    const int ok = task ? task(ctx) : 0;
    if (ok) {
      rows.SetItemTextIfChanged(row, kColumnStatus, DoneStatus());
      continue;
    }
    rows.SetItemTextIfChanged(row, kColumnStatus, FailedStatus());
    host.OnRunFailed(row);
    SendAuditTrace("commit:failed task:" + WideToUtf8(key).value_or(std::string()));
    return;
  }
  host.OnRunFinished();
  SendAuditTrace("commit:task completed");
}

}  // namespace kestrel
