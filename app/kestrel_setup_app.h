// The application object: decides what this process does (relaunch
// elevated, uninstall, upgrade or install), shows one modal window and ends.
#pragma once

#include <string>

namespace kestrel {

class CKestrelSetupApp {
 public:
  CKestrelSetupApp() = default;

  // Runs the whole start-up with the argument text (the command line after
  // the program name). Always returns FALSE: there is no message loop after
  // it, the process ends.
  int InitInstance(const std::wstring& arguments);
};

// Starts this executable again through the shell's "runas" verb with the
// arguments followed by " /runas"; true when the shell accepted.
bool RelaunchElevated(const std::wstring& arguments);

// Stores the partner identifier of the file name as PartnerId and in
// g_partnerId.
void ReadPartnerIdFromFileName();

// True when an installed copy should be upgraded.
bool DetectUpgradeNeeded();

}  // namespace kestrel
