// Restarting the machine for real.
#pragma once

namespace win {

// Enables the shutdown privilege and restarts the machine at once (forced,
// reason "installation"), falling back to the shutdown command.
void RestartMachine();

}  // namespace win
