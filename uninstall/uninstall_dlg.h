// The uninstall window (arguments containing "-u") and its sequence.
#pragma once

#include <functional>
#include <string>

#include "win/dialog.h"
#include "win/handle.h"

namespace kestrel {

class UninstallDlg : public win::Dialog {
 public:
  UninstallDlg();

  // Status line and activity bar, from any thread.
  void SetStatus(const std::wstring& text);
  void ProgressStep(int n);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

 private:
  static DWORD WINAPI WorkerEntry(void* dialog);
  win::UniqueHandle uninstallThread_;
};

// The whole removal; ends the process with exit code 0.
void RunUninstall(UninstallDlg& dialog);
// Runs "DeployCfgCmd uninstall"; true when it ended within its cap.
bool RunToolUninstall(UninstallDlg& dialog, const std::wstring& toolPath);
void UninstallDeleteTree(UninstallDlg& dialog, const std::wstring& folder);

// How many one-second waits the configuration tool gets (900). Tests give
// it fewer through this seam.
void SetToolUninstallCap(int seconds);

}  // namespace kestrel
