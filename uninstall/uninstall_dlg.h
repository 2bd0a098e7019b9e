// The uninstall window (arguments containing "-u"): the host of the
// removal sequence, which runs on a worker thread against this window.
#pragma once

#include <string>

#include "core/run_outcome.h"
#include "core/run_settings.h"
#include "engine/uninstall.h"
#include "win/dialog.h"
#include "win/handle.h"

namespace kestrel {

class UninstallDlg : public win::Dialog, public UninstallContext {
 public:
  // passive: the removal starts at once and nobody is asked anything.
  explicit UninstallDlg(const RunSettings& settings, bool passive = false);

  // UninstallContext: the status line and activity bar, from any thread;
  // questions as message boxes owned by this window.
  void SetStatus(const std::wstring& text) override;
  void ProgressStep(int n) override;
  int Ask(const std::wstring& text, UINT type) override;
  int AskRestart(const std::wstring& question) override;
  void RestartMachine() override;
  const RunSettings& Settings() override { return settings_; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

 private:
  static DWORD WINAPI WorkerEntry(void* dialog);

  const RunSettings& settings_;
  const bool passive_;
  RunOutcome outcome_;
  win::UniqueHandle uninstallThread_;
};

}  // namespace kestrel
