#include "engine/task_list.h"

#include "core/builtin_strings.h"
#include "core/run_values.h"
#include "core/system_inspection.h"
#include "engine/product_contract.h"
#include "engine/services.h"
#include "engine/task_keys.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

void AppendTask(TaskRows& rows, const wchar_t* key, const std::wstring& label, const wchar_t* argument = L"") {
  int row = rows.AppendRow(key);
  if (row < 0) return;
  rows.SetItemTextIfChanged(row, kColumnLabel, label);
  rows.SetItemTextIfChanged(row, kColumnArgument, argument);
}

// The web server row's key for this Windows, or null for none.
const wchar_t* WebServerTaskKey() {
  if (g_isServer2008) return kTaskConfigIis2008;
  if (g_isServer2008R2) return kTaskConfigIis2008R2;
  if (g_isServer2012Plus || g_isClient8Plus) return kTaskConfigIis2012;
  if (g_isWin7) return kTaskConfigIisWin7;
  return nullptr;
}

void LogTaskList(const TaskRows& rows) {
  std::wstring text = L"task list:";
  for (int row = 0; row < rows.RowCount(); ++row)
    text += (row == 0 ? L" " : L", ") + rows.GetCellText(row, kColumnKey) + L" (" +
            rows.GetCellText(row, kColumnLabel) + L")";
  if (rows.RowCount() == 0) text += L" empty";
  win::Log(text);
}

void BuildTaskRows(TaskRows& rows, const TaskListHost& host, const RunSettings& settings) {
  rows.DeleteAllRows();
  if (g_upgradeMode) {
    BuildUpgradeTaskList(rows);
    return;
  }
  if (CheckOsVersion(settings.osVersion) != kOsClassified) {
    if (host.reportUnsupportedOs) host.reportUnsupportedOs();
    return;
  }
  StopMonitorServiceQuietly(settings);

  if (g_isServer2012Plus) AppendTask(rows, kTaskDismNetFx4, L"Install .Net 4.5", L"NETFx4");
  if (!g_isClient8Plus) AppendTask(rows, kTaskInstallNet, L"Install .Net 4.0");
  if (host.database && host.database().allInOne) AppendTask(rows, kTaskInstallSql, L"Install SQL Express");
  if (const wchar_t* key = WebServerTaskKey()) AppendTask(rows, key, L"Check and install IIS Web Server");
  const bool enterprise = host.enterpriseEdition && host.enterpriseEdition();
  AppendTask(rows, kTaskInstallPackage, LoadBuiltInString(enterprise ? kStrPackageLabelEnterprise : kStrPackageLabel));
  AppendTask(rows, kTaskInitIis, L"Configure Web Applications");
  AppendTask(rows, kTaskInitDb, L"Initialize Database");
  AppendTask(rows, kTaskFinalize, L"Finalize the installation");
}

}  // namespace

void BuildInstallTaskList(TaskRows& rows, const TaskListHost& host, const RunSettings& settings) {
  BuildTaskRows(rows, host, settings);
  LogTaskList(rows);
}

void BuildUpgradeTaskList(TaskRows& rows) {
  AppendTask(rows, kTaskStopService, L"Stop Cloud Monitor", product::kMonitorService);
  AppendTask(rows, kTaskDownloadPackage, L"Download and extract upgrade package");
  AppendTask(rows, kTaskStopIis, L"Stop Web Server");
  AppendTask(rows, kTaskUpgradePackage, L"Patch the installation");
  AppendTask(rows, kTaskStartIis, L"Start Web Server");
  AppendTask(rows, kTaskStartService, L"Start Cloud Monitor", product::kMonitorService);
  AppendTask(rows, kTaskFinalizeUpgrade, L"Finalize the upgrade");
}

}  // namespace kestrel
