// The installer's look over the platform's wizard: white pages with dark
// blue text, a white sheet whose header area is our stage indicator, and
// Back and Next run by the sheet itself so the indicator follows every
// page change.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/vant_stage_ctrl.h"
#include "win/handle.h"
#include "win/property_sheet.h"

namespace kestrel {

class CVantPropertySheet;

class CVantPropertyPage : public win::PropertyPage {
 public:
  CVantPropertyPage(int templateId, CVantPropertySheet& owner);

 protected:
  // Header title and subtitle flags, the title, the page icon (1005) and
  // the window title shown while the page is active: what every concrete
  // page sets in its constructor.
  void SetupRecord(const std::wstring& headerTitle);
  // Sets this page's window text and the wizard's caption to the
  // installer's title (built-in string 132).
  void ShowWizardTitle();
  // Posts PSM_SETWIZBUTTONS with these flags to the wizard.
  void PostWizardButtons(unsigned flags) const;

  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

  CVantPropertySheet& owner() const { return owner_; }

 private:
  INT_PTR OnControlColour(UINT message, HDC dc, HWND control);

  CVantPropertySheet& owner_;
  win::UniqueBrush backgroundBrush_;
  win::UniqueBrush frameBrush_;
};

class CVantPropertySheet : public win::PropertySheet {
 public:
  explicit CVantPropertySheet(std::wstring caption);
  ~CVantPropertySheet() override;

  void SetTitle(const std::wstring& title) const { ::SetWindowTextW(hwnd(), title.c_str()); }
  // A wizard button (ID_WIZBACK, ID_WIZNEXT, ID_WIZFINISH, IDCANCEL), or null.
  HWND Button(int id) const { return Item(id); }

  CVantStageCtrl* stage() const { return stage_.get(); }
  const RECT& pageRect() const { return pageRect_; }
  int headerHeight() const { return headerHeight_; }

  virtual void DrawBackground(HDC dc);

 protected:
  BOOL OnInitDialog(BOOL platformResult) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  void OnNext();
  void OnBack();
  void MoveTo(int index);

  std::unique_ptr<CVantStageCtrl> stage_;
  RECT pageRect_ = {};
  int headerHeight_ = 0;
  HWND hiddenHeaderLine_ = nullptr;
};

}  // namespace kestrel
