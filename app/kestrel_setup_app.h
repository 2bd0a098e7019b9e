// The application object: decides what this process does (relaunch
// elevated, uninstall, upgrade or install), shows one modal window and ends.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/run_settings.h"

namespace kestrel {

class CInstallWizard;
class UninstallDlg;

class CKestrelSetupApp {
 public:
  CKestrelSetupApp();
  ~CKestrelSetupApp();

  // Runs the whole start-up with the argument text (the command line after
  // the program name). Always returns FALSE: there is no message loop after
  // it, the process ends. The window it shows is kept until then.
  int InitInstance(const std::wstring& arguments);

 private:
  RunSettings settings_;
  std::unique_ptr<CInstallWizard> wizard_;
  std::unique_ptr<UninstallDlg> uninstallDialog_;
};

// Starts this executable again through the shell's "runas" verb with the
// arguments followed by " /runas"; true when the shell accepted.
bool RelaunchElevated(const std::wstring& arguments);

// Stores the partner identifier of the file name as PartnerId and returns
// it in UTF-8; nothing when the name carries none.
std::optional<std::string> ReadPartnerIdFromFileName();

}  // namespace kestrel
