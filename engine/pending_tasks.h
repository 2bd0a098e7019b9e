// Task operations, one declaration per task family. Families not built yet
// report failure from engine/pending_tasks.cpp.
#pragma once

#include <string>

#include "engine/task_context.h"

namespace kestrel {

int InstallDotNet(TaskContext& ctx);
int InstallSqlExpress(TaskContext& ctx);
int EnableFeatureDismAll(TaskContext& ctx, const std::wstring& feature, int budget);
int ConfigIIS2008R2(TaskContext& ctx);
int ConfigIIS2008(TaskContext& ctx);
int ConfigIIS2012(TaskContext& ctx);
int ConfigIISWin7(TaskContext& ctx);
int StopServiceTask(TaskContext& ctx);
int StartServiceTask(TaskContext& ctx);
int RestartWebServerTask(TaskContext& ctx, const std::wstring& commandLine);
int RunAndWait(TaskContext& ctx, const std::wstring& applicationPath, const std::wstring& commandLine, int budget);
int ApplyProxyToWebConfig(TaskContext& ctx);
int RunProcess(TaskContext& ctx, const std::wstring& applicationPath, const std::wstring& commandLine, int budget);
int DownloadToFile(TaskContext& ctx, const std::wstring& path, const std::string& link);

}  // namespace kestrel
