// The run settings this executable starts with. The shipped build takes
// the defaults as they are; the test build (win64-test) links its own
// version of this function instead (tests/support/test_build_settings.cpp).
#pragma once

#include "core/run_settings.h"

namespace kestrel {

RunSettings StartupRunSettings();

}  // namespace kestrel
