// Task families that are not built yet: each fails, so a run stops there
// with the failure icon and Retry.
#include "engine/pending_tasks.h"

#include "engine/services.h"

namespace kestrel {

int InstallDotNet(TaskContext&) { return 0; }
int InstallSqlExpress(TaskContext&) { return 0; }
int EnableFeatureDismAll(TaskContext&, const std::wstring&, int) { return 0; }
int ConfigIIS2008R2(TaskContext&) { return 0; }
int ConfigIIS2008(TaskContext&) { return 0; }
int ConfigIIS2012(TaskContext&) { return 0; }
int ConfigIISWin7(TaskContext&) { return 0; }
int StopServiceTask(TaskContext&) { return 0; }
int StartServiceTask(TaskContext&) { return 0; }
int RestartWebServerTask(TaskContext&, const std::wstring&) { return 0; }
int StopMonitorServiceQuietly() { return 0; }
int RunAndWait(TaskContext&, const std::wstring&, const std::wstring&, int) { return 0; }
int ApplyProxyToWebConfig(TaskContext&) { return 0; }
int RunProcess(TaskContext&, const std::wstring&, const std::wstring&, int) { return 0; }
int DownloadToFile(TaskContext&, const std::wstring&, const std::string&) { return 0; }

}  // namespace kestrel
