// Task operations, one declaration per task family. Families not built yet
// report failure from engine/pending_tasks.cpp.
#pragma once

#include <string>

#include "engine/task_context.h"

namespace kestrel {

int InstallDotNet(TaskContext& ctx);
int InstallSqlExpress(TaskContext& ctx);

}  // namespace kestrel
