// The run settings of the test build's KestrelSetup.exe, which the journeys
// and the uninstall tests start. It differs from the shipped executable in
// one thing only: when the environment names a file in
// KESTREL_RESTART_RECORD, a restart appends a line there instead of
// restarting the machine the tests run on. This file is never linked into
// the shipped build.
#include <windows.h>

#include "app/startup_settings.h"
#include "win/handle.h"
#include "win/module.h"

namespace kestrel {

RunSettings StartupRunSettings() {
  RunSettings settings;
  const std::wstring record = win::EnvironmentVariable(L"KESTREL_RESTART_RECORD");
  if (!record.empty()) {
    settings.restartMachine = [record] {
      win::UniqueHandle file(::CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      if (file) ::WriteFile(file.get(), "restart\r\n", 9, &written, nullptr);
    };
  }
  return settings;
}

}  // namespace kestrel
