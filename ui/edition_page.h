// The edition page. It is created with the wizard but never shown, so its
// flag keeps 0 (not the Enterprise edition) for the whole run; the tasks
// read it through the wizard.
#pragma once

#include "ui/vant_property_sheet.h"

namespace kestrel {

class EditionPage : public CVantPropertyPage {
 public:
  explicit EditionPage(CVantPropertySheet& owner);

  int enterpriseEdition = 0;
};

}  // namespace kestrel
