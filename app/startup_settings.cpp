#include "app/startup_settings.h"

namespace kestrel {

RunSettings StartupRunSettings() { return RunSettings{}; }

}  // namespace kestrel
