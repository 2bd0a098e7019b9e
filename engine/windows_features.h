// Turning Windows features on with the tool that suits the Windows version,
// and the four task handlers that set up the web server role item by item.
#pragma once

#include <string>

#include "engine/task_context.h"

namespace kestrel {

// ServerManagerCmd.exe -install <feature>, waited for; 0 and 1003 succeed.
int EnableFeatureServerManager(TaskContext& ctx, const std::wstring& feature);

// Dism.exe /online /enable-feature /featurename:<feature> [/all]: nothing is
// run for a feature already enabled; otherwise the listing taken after the
// run decides, a non-zero exit code only adding a message.
int EnableFeatureDism(TaskContext& ctx, const std::wstring& feature, int budget);
int EnableFeatureDismAll(TaskContext& ctx, const std::wstring& feature, int budget);

// PkgMgr.exe /norestart /quiet /iu:<feature>, started and not waited for.
int EnableFeaturePkgMgr(TaskContext& ctx, const std::wstring& feature);

// Runs a fresh feature listing and looks the name up (ASCII case ignored).
// A listing that cannot be taken counts as nothing enabled.
bool IsFeatureEnabled(const std::wstring& feature);
void RefreshEnabledFeatures();

// Task handlers, named after their task keys.
int ConfigIIS2008(TaskContext& ctx);
int ConfigIIS2008R2(TaskContext& ctx);
int ConfigIIS2012(TaskContext& ctx);
int ConfigIISWin7(TaskContext& ctx);

}  // namespace kestrel
