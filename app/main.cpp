#include <windows.h>

#include "app/kestrel_setup_app.h"

namespace {
kestrel::CKestrelSetupApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  theApp.InitInstance(arguments != nullptr ? arguments : L"");
  return 0;
}
