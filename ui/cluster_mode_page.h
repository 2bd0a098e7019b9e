// The database choice page: the installer's own SQL Server Express
// (all-in-one) or an existing SQL Server that the page proves with a test
// connection. The page lives as long as the wizard; the commit page and
// the configuration tool read the choice and the four texts from it.
#pragma once

#include <string>

#include "engine/task_context.h"
#include "ui/vant_property_sheet.h"
#include "win/handle.h"

namespace kestrel {

class ClusterMode : public CVantPropertyPage {
 public:
  explicit ClusterMode(CVantPropertySheet& owner);

  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  // Connects to the existing server with the page's texts; 1 when the
  // connection succeeded, else 0 after its message and trace.
  int TestDatabaseConnection();

  // Texts and choice given on the command line, shown when the page opens.
  void Preset(const DatabaseChoice& choice);

  DatabaseChoice DatabaseChoiceOfPage() const { return DatabaseChoice{allInOne, dbServer, dbUser, dbPassword, dbName}; }

  // 1: all-in-one; 0: an existing server. 0 until the page is first shown.
  int allInOne = 0;
  std::wstring dbServer;
  std::wstring dbUser;
  std::wstring dbPassword;
  std::wstring dbName = L"user";

 protected:
  BOOL OnInitDialog() override;

 private:
  void FieldsToControls() const;
  void ControlsToFields();
  // Leaves only the existing-server choice open.
  void ForceExistingServer();

  win::UniqueFont choiceFont_;
  bool presetExistingServer_ = false;
};

}  // namespace kestrel
