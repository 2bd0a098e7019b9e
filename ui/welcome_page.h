// The first page of an installation: the welcome picture and two
// paragraphs in a thin Arial.
#pragma once

#include "ui/vant_property_sheet.h"
#include "win/handle.h"

namespace kestrel {

class WelcomePage : public CVantPropertyPage {
 public:
  explicit WelcomePage(CVantPropertySheet& owner);

  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override { return 0; }

 protected:
  BOOL OnInitDialog() override;

 private:
  win::UniqueFont paragraphFont_;
};

}  // namespace kestrel
