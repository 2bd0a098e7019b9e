// The licence page: the licence document in a rich text box, and Next only
// once "I Agree" is ticked.
#pragma once

#include "ui/vant_property_sheet.h"

namespace kestrel {

class EULA : public CVantPropertyPage {
 public:
  explicit EULA(CVantPropertySheet& owner);

  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  BOOL OnInitDialog() override;
};

}  // namespace kestrel
