#include <windows.h>

#include "app/kestrel_setup_app.h"
#include "net/audit_trace.h"
#include "win/run_log.h"

namespace {
kestrel::CKestrelSetupApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  const int code = theApp.InitInstance(arguments != nullptr ? arguments : L"");
  win::Log(L"exit code " + std::to_wstring(code));
  // A normal end gives the audit traces still queued a few seconds, then
  // ends every thread at once (a sender may hang on a silent service)
  // instead of tearing down the program's objects under them.
  kestrel::FlushAuditTraces(kestrel::kAuditFlushAtExitMs);
  ::ExitProcess(static_cast<UINT>(code));
}
