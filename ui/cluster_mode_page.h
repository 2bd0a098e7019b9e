// The database choice page. Until its controls arrive it keeps the
// all-in-one choice (a private SQL Server Express) with empty texts and
// lets the user go on.
#pragma once

#include "engine/task_context.h"
#include "ui/vant_property_sheet.h"

namespace kestrel {

class ClusterMode : public CVantPropertyPage {
 public:
  explicit ClusterMode(CVantPropertySheet& owner);

  BOOL OnSetActive() override;
  DatabaseChoice DatabaseChoiceOfPage() const { return DatabaseChoice{}; }

 protected:
  BOOL OnInitDialog() override;
};

}  // namespace kestrel
