// The application object: reads the command line, decides what this
// process does (relaunch elevated, uninstall, upgrade or install, with a
// window or without), runs it and returns the exit code.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/run_settings.h"
#include "win/handle.h"

namespace kestrel {

class CInstallWizard;
class UninstallDlg;
class TaskListWindow;
struct UnattendedChoices;

class CKestrelSetupApp {
 public:
  CKestrelSetupApp();
  ~CKestrelSetupApp();

  // Runs the whole start-up with the argument text (the command line after
  // the program name) and returns the exit code. The window it shows is
  // kept until the process ends.
  int InitInstance(const std::wstring& arguments);

 private:
  int RunInstallOrUpgrade(const UnattendedChoices& choices, bool quiet);
  int RunRemoval(bool quiet);
  int RunLayoutMode(const std::wstring& folder, bool noWindow);
  void StorePartnerId();

  RunSettings settings_;
  std::unique_ptr<CInstallWizard> wizard_;
  std::unique_ptr<UninstallDlg> uninstallDialog_;
  std::unique_ptr<TaskListWindow> taskListWindow_;
  bool passive_ = false;
  std::optional<std::wstring> partnerId_;
  win::UniqueHandle runGuard_;
};

// Starts this executable again through the shell's "runas" verb with the
// arguments followed by " /runas", waits for it and returns its exit code;
// nothing when the shell refused or failed.
std::optional<int> RelaunchElevatedAndWait(const std::wstring& arguments);

}  // namespace kestrel
