// Service and web server control.
#pragma once

namespace kestrel {

// Stops the monitor service without writing any status; result ignored by
// the caller.
int StopMonitorServiceQuietly();

}  // namespace kestrel
