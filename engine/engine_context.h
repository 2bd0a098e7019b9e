// What every engine sequence may ask of the host that runs it: progress
// texts, messages and the run's settings (as a Reporter), the restart
// question and the restart itself. The engine never opens a window: the
// wizard's pages, the uninstall dialog and a windowless host each answer
// these in their own way.
#pragma once

#include <windows.h>

#include <string>

#include "core/run_outcome.h"
#include "net/reporter.h"
#include "win/message_box.h"
#include "win/run_log.h"

namespace kestrel {

class EngineContext : public Reporter {
 public:
  // Asks whether to restart the machine now (the question that ends an
  // installation or a removal); IDYES or IDNO.
  virtual int AskRestart(const std::wstring& question) = 0;
  // Restarts the machine, after a yes to AskRestart.
  virtual void RestartMachine() = 0;
};

// The answer the command line gives the restart question without asking
// (/norestart: IDNO, /forcerestart: IDYES), written to the log with the
// question; 0 when the host is to ask.
inline int PresetRestartAnswer(const RunSettings& settings, const std::wstring& question) {
  if (settings.restartAnswer == RunSettings::RestartAnswer::kAsk) return 0;
  const bool yes = settings.restartAnswer == RunSettings::RestartAnswer::kYes;
  win::Log(L"question: " + question);
  win::Log(yes ? L"answer: Yes (/forcerestart)" : L"answer: No (/norestart)");
  return yes ? IDYES : IDNO;
}

// The answer nobody at the screen gives, written to the log with the
// question: a failure's Retry/Cancel gets Cancel, a Yes/No question No, a
// plain message its OK.
inline int AbsentAnswer(const std::wstring& text, UINT type) {
  int answer = IDCANCEL;  // OK/Cancel, Retry/Cancel, Yes/No/Cancel
  switch (type & MB_TYPEMASK) {
    case MB_OK: answer = IDOK; break;
    case MB_YESNO: answer = IDNO; break;
    case MB_ABORTRETRYIGNORE: answer = IDABORT; break;
    default: break;
  }
  win::Log(L"question: " + text);
  win::Log(std::wstring(L"answer: ") + win::AnswerText(answer) + L" (unattended)");
  return answer;
}

// The restart question in a run without a person: No unless /forcerestart
// said Yes; logged.
inline int AbsentRestartAnswer(const RunSettings& settings, const std::wstring& question) {
  if (int answer = PresetRestartAnswer(settings, question)) return answer;
  win::Log(L"question: " + question);
  win::Log(L"answer: No (an unattended run restarts only with /forcerestart)");
  return IDNO;
}

// A host's restart after a yes: noted for the exit code and the log, then
// made.
inline void StartRestart(const RunSettings& settings, RunOutcome& outcome) {
  win::Log(L"restart: started");
  outcome.RestartStarted();
  settings.restartMachine();
}

// Asks the restart question and restarts on a yes.
inline void OfferRestart(EngineContext& ctx, const std::wstring& question) {
  if (ctx.AskRestart(question) == IDYES) ctx.RestartMachine();
}

}  // namespace kestrel
