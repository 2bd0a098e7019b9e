// How a run ended, as its host saw it: the tasks (or the removal) finished
// or failed, and what became of the restart question. The host notes each
// event as it happens (the worker thread writes, the start-up reads after
// the window closed) and the start-up turns the whole into the exit code.
#pragma once

#include <atomic>

#include "core/exit_codes.h"

namespace kestrel {

class RunOutcome {
 public:
  void RunFailed() { state_ = kFailed; }
  void RunFinished() { state_ = kFinished; }
  // The restart question was asked and answered No (or not asked, where an
  // unattended run declines it).
  void RestartDeclined() { restart_ = kDeclined; }
  void RestartStarted() { restart_ = kStarted; }
  // The Windows version is not one the installer supports: nothing ran.
  void UnsupportedWindows() { state_ = kUnsupported; }

  bool Finished() const { return state_ == kFinished; }

  // 1641 once a restart started; after a finished run 3010 when the restart
  // was declined, else 0; 1603 after a failed run; 1633 on a Windows the
  // installer does not support; 1602 when nothing ran to its end (the
  // window was closed first).
  int ExitCode() const {
    if (restart_ == kStarted) return kExitRestartStarted;
    switch (state_.load()) {
      case kFinished: return restart_ == kDeclined ? kExitRestartNeeded : kExitSuccess;
      case kFailed: return kExitFailed;
      case kUnsupported: return kExitUnsupportedPlatform;
      default: return kExitUserCancelled;
    }
  }

 private:
  enum State { kNotRun, kFailed, kFinished, kUnsupported };
  enum Restart { kNotAsked, kDeclined, kStarted };
  std::atomic<int> state_{kNotRun};
  std::atomic<int> restart_{kNotAsked};
};

}  // namespace kestrel
