// INSTALLNET: the .NET Framework 4 (full profile) that the product's web
// applications need, installed from the offline installer when missing.
#pragma once

#include <optional>
#include <string>

#include "engine/task_context.h"

namespace kestrel {

// Succeeds at once when a 4.x full framework is registered; otherwise
// downloads the offline installer (built-in link 130), runs it quietly and
// succeeds when a 4.x full framework is registered afterwards.
int InstallDotNet(TaskContext& ctx);

// The version text of a registered 4.x full framework: the "Version" of
// some "SOFTWARE\Microsoft\NET Framework Setup\NDP\<version>\Full" key
// that starts with "4" (the last one in key order); nothing when none.
std::optional<std::wstring> FindDotNet4();

}  // namespace kestrel
