// The run's settings: the timings and budgets of the engine's waits, the
// machine restart, the source of the Windows version and the audit
// endpoint. One value, built at start-up and handed to the engine and its
// hosts; a default-constructed value is what the shipped program uses.
// Tests hand in their own value (shorter waits, a restart that only
// counts, a Windows this machine cannot be).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/os_classify.h"
#include "core/system_inspection.h"
#include "win/machine_restart.h"

namespace kestrel {

struct RunSettings {
  // One wait slice for a child program (1000 ms): the step of the progress
  // bar of setups and tools.
  uint32_t waitSliceMs = 1000;
  // Slices a redistributable's setup gets per run: the .NET Framework
  // installer and each SQL Server Express attempt.
  int setupBudget = 900;
  // Slices the configuration tool gets when it uninstalls the product.
  int toolUninstallSlices = 900;
  // The pause between two state queries while a service stops or starts
  // (a service that needs up to a minute gets there within the 120
  // queries), and how long a failure text stays in the row before the
  // task ends.
  uint32_t servicePollPauseMs = 500;
  uint32_t failureTextPauseMs = 5000;
  // The pause before a download's second attempt; each further one waits
  // twice as long (0: no pause).
  uint32_t downloadRetryPauseMs = 1000;

  // How the restart question at the end of an installation or a removal
  // is answered: by the person (an unattended run: No), No without asking
  // (/norestart), Yes without asking (/forcerestart).
  enum class RestartAnswer { kAsk, kNo, kYes };
  RestartAnswer restartAnswer = RestartAnswer::kAsk;
  // Restarts the machine; the hosts call it when the person (or the
  // policy) said yes to the restart question.
  std::function<void()> restartMachine = win::RestartMachine;
  // The Windows version the classification works from.
  std::function<OsVersionData()> osVersion = QueryOsVersion;
  // Where audit traces go ("https://host[:port]/path"; empty: nowhere);
  // nullopt: built-in string 146.
  std::optional<std::string> auditEndpoint;
};

}  // namespace kestrel
