// The installer's wizard window. For now it hosts the commit page alone
// and applies PSM_SETWIZBUTTONS to its Back, Next, Finish and Cancel
// buttons; the other pages come later.
#pragma once

#include <memory>
#include <string>

#include "engine/task_context.h"
#include "win/dialog.h"

namespace kestrel {

class CommitPage;

class CInstallWizard : public win::Dialog {
 public:
  CInstallWizard();
  ~CInstallWizard() override;

  void SetTitle(const std::wstring& title) { ::SetWindowTextW(hwnd(), title.c_str()); }
  // A wizard button (ID_WIZBACK, ID_WIZNEXT, ID_WIZFINISH, IDCANCEL), or null.
  HWND Button(int id) const { return Item(id); }

  // The database page's choice: all-in-one with empty texts until that page
  // exists.
  DatabaseChoice DatabaseChoiceOfPage() const { return DatabaseChoice{}; }
  // The edition page is never shown, so its flag stays 0.
  int EnterpriseEdition() const { return 0; }

  CommitPage& commitPage() { return *commitPage_; }

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  void ApplyWizardButtons(unsigned flags);

  std::unique_ptr<CommitPage> commitPage_;
};

}  // namespace kestrel
