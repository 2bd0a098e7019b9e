// Task families that are not built yet: each fails, so a run stops there
// with the failure icon and Retry.
#include "engine/pending_tasks.h"


namespace kestrel {

int InstallDotNet(TaskContext&) { return 0; }
int InstallSqlExpress(TaskContext&) { return 0; }

}  // namespace kestrel
