#include <windows.h>

#include "app/kestrel_setup_app.h"

namespace {
kestrel::CKestrelSetupApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  theApp.InitInstance(arguments != nullptr ? arguments : L"");
  // Cancel may close the wizard while a task still runs on the worker
  // thread: end every thread at once instead of tearing down the program's
  // objects under it.
  ::ExitProcess(0);
}
