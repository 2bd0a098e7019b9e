// The uninstall window (arguments containing "-u").
#pragma once

#include "win/dialog.h"

namespace kestrel {

class UninstallDlg : public win::Dialog {
 public:
  UninstallDlg();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
};

}  // namespace kestrel
