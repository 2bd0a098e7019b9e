// The proxy section that finalization writes into the product's web.config.
#pragma once

#include "engine/task_context.h"

namespace kestrel {

// Writes the typed proxy (ProxyMode::kCustom) into InstallDir()\root\web.config; 1 when there
// was nothing to do or the file was written, 0 (after a message) when the
// file could not be changed, which then stays as it was.
int ApplyProxyToWebConfig(TaskContext& context);

}  // namespace kestrel
