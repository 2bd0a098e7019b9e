#include "ui/edition_page.h"

#include "res/resource_ids.h"

namespace kestrel {

EditionPage::EditionPage(CVantPropertySheet& owner) : CVantPropertyPage(IDD_EDITION_PAGE, owner) {
  SetupRecord(L"Select Edition");
}

}  // namespace kestrel
