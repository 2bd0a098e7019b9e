// The proxy dialog opened from the commit page.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "net/proxy_settings.h"
#include "win/dialog.h"

namespace kestrel {

class CProxyPage : public win::Dialog {
 public:
  // Loads the fields from the current proxy settings.
  CProxyPage();

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnOK() override;

 private:
  void OnTypeChange();
  // Enables the edits and shows the description of mode_.
  void ShowMode();
  void EnableEdits(std::span<const int> ids, bool enable);
  void FieldsToControls();
  void ControlsToFields();

  ProxyMode mode_ = ProxyMode::kSystem;
  std::wstring address_;
  std::wstring port_;
  std::wstring userName_;
  std::wstring password_;
  std::wstring bypassList_;
};

// Runs the dialog modally; OK stores the settings for every connection
// opened afterwards.
void ShowProxyDialog(HWND owner);

}  // namespace kestrel
