// The installer's wizard: welcome, licence, database choice and commit
// page for an installation; the commit page alone for an upgrade. It owns
// its pages for its whole life; later steps read their state through it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/run_outcome.h"
#include "core/run_settings.h"
#include "engine/task_context.h"
#include "ui/vant_property_sheet.h"

namespace kestrel {

class WelcomePage;
class EditionPage;
class ClusterMode;
class CommitPage;
class EULA;

// What the command line filled in before the pages open: the person sees
// it and may change it.
struct WizardPresets {
  std::optional<DatabaseChoice> database;  // given as properties
  std::wstring installFolder;              // empty: Program Files
};

class CInstallWizard : public CVantPropertySheet {
 public:
  explicit CInstallWizard(const RunSettings& settings, const WizardPresets& presets = {});
  ~CInstallWizard() override;

  // The database page's choice.
  DatabaseChoice DatabaseChoiceOfPage() const;
  // The edition page's flag; the page is never shown, so it stays 0.
  int EnterpriseEdition() const;

  CommitPage& commitPage() { return *commitPage_; }
  const RunSettings& settings() const { return settings_; }
  // How the run went, for the exit code; the commit page notes it.
  RunOutcome& outcome() { return outcome_; }

 protected:
  BOOL OnInitDialog(BOOL platformResult) override;

 private:
  const RunSettings& settings_;
  RunOutcome outcome_;
  std::unique_ptr<WelcomePage> welcomePage_;
  std::unique_ptr<EditionPage> editionPage_;
  std::unique_ptr<ClusterMode> clusterModePage_;
  std::unique_ptr<CommitPage> commitPage_;
  std::unique_ptr<EULA> eulaPage_;
};

}  // namespace kestrel
