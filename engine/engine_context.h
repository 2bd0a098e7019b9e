// What every engine sequence may ask of the host that runs it: progress
// texts, messages and the run's settings (as a Reporter), the restart
// question and the restart itself. The engine never opens a window: the
// wizard's pages, the uninstall dialog and a windowless host each answer
// these in their own way.
#pragma once

#include <windows.h>

#include <string>

#include "net/reporter.h"

namespace kestrel {

class EngineContext : public Reporter {
 public:
  // Asks whether to restart the machine now (the question that ends an
  // installation or a removal); IDYES or IDNO.
  virtual int AskRestart(const std::wstring& question) = 0;
  // Restarts the machine, after a yes to AskRestart.
  virtual void RestartMachine() = 0;
};

// Asks the restart question and restarts on a yes.
inline void OfferRestart(EngineContext& ctx, const std::wstring& question) {
  if (ctx.AskRestart(question) == IDYES) ctx.RestartMachine();
}

}  // namespace kestrel
