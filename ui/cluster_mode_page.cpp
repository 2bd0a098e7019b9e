#include "ui/cluster_mode_page.h"

#include <prsht.h>

#include "res/resource_ids.h"

namespace kestrel {

ClusterMode::ClusterMode(CVantPropertySheet& owner) : CVantPropertyPage(IDD_CLUSTER_MODE_PAGE, owner) {
  SetupRecord(L"Choose Installation Type");
}

BOOL ClusterMode::OnInitDialog() {
  ShowWizardTitle();
  return TRUE;
}

BOOL ClusterMode::OnSetActive() {
  PostWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CVantPropertyPage::OnSetActive();
}

}  // namespace kestrel
