// The product's own configuration tool: web applications and database.
#pragma once

#include "engine/task_context.h"

namespace kestrel {

int ConfigureWebApps(TaskContext& ctx);
int InitDatabase(TaskContext& ctx);

}  // namespace kestrel
