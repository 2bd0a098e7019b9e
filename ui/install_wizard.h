// The installer's wizard window.
#pragma once

#include "win/dialog.h"

namespace kestrel {

// For now a bare wizard frame: caption, icon and the four wizard buttons
// with only Cancel active. The pages come later.
class CInstallWizard : public win::Dialog {
 public:
  CInstallWizard();

 protected:
  BOOL OnInitDialog() override;
};

}  // namespace kestrel
