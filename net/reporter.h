// What a long operation tells the person who waits for it: progress texts
// (progress markup) for the running task's row, and messages; and the
// run's settings, which say how long it may wait. The engine's contexts are
// reporters; net/ reports through this interface alone.
#pragma once

#include <windows.h>

#include <string>

#include "core/run_settings.h"

namespace kestrel {

class Reporter {
 public:
  virtual ~Reporter() = default;
  // Replaces the status text of the work being done. An unchanged text
  // changes nothing.
  virtual void SetStatus(const std::wstring& text) = 0;
  // Shows a message or asks a question (MB_OK, MB_RETRYCANCEL, MB_YESNO...)
  // and returns the answer (IDOK, IDRETRY, ...).
  virtual int Ask(const std::wstring& text, UINT type) = 0;
  virtual const RunSettings& Settings() = 0;
};

}  // namespace kestrel
