// The exit codes fleet tools read: the platform installer's own.
#pragma once

namespace kestrel {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUserCancelled = 1602;
inline constexpr int kExitFailed = 1603;
inline constexpr int kExitNothingInstalled = 1605;
inline constexpr int kExitAnotherInstallRuns = 1618;
inline constexpr int kExitUnsupportedPlatform = 1633;
inline constexpr int kExitBadCommandLine = 1639;
inline constexpr int kExitRestartStarted = 1641;
inline constexpr int kExitRestartNeeded = 3010;

}  // namespace kestrel
