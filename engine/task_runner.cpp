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
#include "core/status_throttle.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

std::wstring IconStatus(int iconId, const wchar_t* tail) {
  // Shared icons live as long as the process, as long as any row shows them.
  HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, 16, 16, LR_SHARED);
  return IconMarkup(static_cast<int64_t>(reinterpret_cast<intptr_t>(icon)), tail);
}

bool IsProgressText(const std::wstring& text) { return StartsWithNoCase(text, L"#Progress:"); }

// The row's context as the task sees it, with every status text also
// going to the log: a progress text at most once a second, any other text
// and the last progress text of the task always.
class LoggedTaskContext : public TaskContext {
 public:
  explicit LoggedTaskContext(TaskContext& inner)
      : inner_(inner),
        log_([](const std::wstring& text) { win::Log(L"status: " + text); },
             [] { return static_cast<uint64_t>(::GetTickCount64()); }, kLogProgressIntervalMs) {}

  void SetStatus(const std::wstring& text) override {
    inner_.SetStatus(text);
    if (IsProgressText(text))
      log_.Progress(text);
    else
      log_.Step(text);
  }
  int Ask(const std::wstring& text, UINT type) override {
    log_.Flush();
    return inner_.Ask(text, type);
  }
  int AskRestart(const std::wstring& question) override {
    log_.Flush();
    return inner_.AskRestart(question);
  }
  void RestartMachine() override { inner_.RestartMachine(); }
  const RunSettings& Settings() override { return inner_.Settings(); }
  std::wstring Argument() override { return inner_.Argument(); }
  DatabaseChoice Database() override { return inner_.Database(); }
  int EnterpriseEdition() override { return inner_.EnterpriseEdition(); }
  std::wstring InstallFolder() override { return inner_.InstallFolder(); }
  std::wstring InstallDir() override { return inner_.InstallDir(); }
  void SetInstallDir(const std::wstring& dir) override { inner_.SetInstallDir(dir); }
  std::wstring StagingDir() override { return inner_.StagingDir(); }
  void SetStagingDir(const std::wstring& dir) override { inner_.SetStagingDir(dir); }
  void SetButtonCaption(int id, const std::wstring& caption) override { inner_.SetButtonCaption(id, caption); }

  void Flush() { log_.Flush(); }

 private:
  static constexpr uint64_t kLogProgressIntervalMs = 1000;
  TaskContext& inner_;
  StatusThrottle log_;
};

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
  if (host.IsInstallation() && !g_upgradeMode) WriteInstallState(kInstallStateRunning);
  TaskRows& rows = host.Rows();
  win::Log(L"run started: " + std::to_wstring(rows.RowCount()) + L" tasks");
  host.OnRunStarted();
  for (int row = 0; row < rows.RowCount(); ++row) {
    const std::wstring key = rows.GetCellText(row, kColumnKey);
    const std::wstring name = key + L" (" + rows.GetCellText(row, kColumnLabel) + L")";
    LoggedTaskContext ctx(host.ContextForRow(row));
    win::Log(L"task " + name + L" started");
    rows.SetItemTextIfChanged(row, kColumnStatus, L"Processing...");
    TaskHandler task = FindTask(table, key);
    const int ok = task ? task(ctx) : 0;
    ctx.Flush();
    if (ok) {
      win::Log(L"task " + name + L" done");
      rows.SetItemTextIfChanged(row, kColumnStatus, DoneStatus());
      continue;
    }
    win::Log(L"task " + name + L" failed");
    rows.SetItemTextIfChanged(row, kColumnStatus, FailedStatus());
    host.OnRunFailed(row);
    if (host.IsInstallation()) SendAuditTrace("commit:failed task:" + WideToUtf8(key).value_or(std::string()));
    return;
  }
  win::Log(L"run finished: every task done");
  host.OnRunFinished();
  if (host.IsInstallation()) SendAuditTrace("commit:task completed");
}

}  // namespace kestrel
