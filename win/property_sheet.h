// A thin wizard over the platform's property sheet: pages are dialog
// templates with our own dialog procedure dispatching to the page object,
// and the sheet window is subclassed before it initialises, so a derived
// sheet sees every message first and runs its own initialisation right
// after the platform's. No exception ever leaves a window procedure.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "win/dialog.h"

namespace win {

class PropertySheet;

class PropertyPage : public DialogBase {
 public:
  explicit PropertyPage(int templateId);

  // The page record handed to the platform. Its strings live in this
  // object, so they stay valid for the life of the sheet.
  const PROPSHEETPAGEW& record() const { return record_; }
  const std::wstring& headerTitle() const { return headerTitle_; }
  int templateId() const { return templateId_; }
  // The icon resource of the page (0 when none).
  int iconId() const { return iconId_; }

  // Wizard hooks. OnSetActive: TRUE to accept the activation.
  // OnWizardNext/OnWizardBack: 0 to move on, -1 to stay.
  // OnWizardFinish: FALSE keeps the wizard open.
  virtual BOOL OnSetActive() { return TRUE; }
  virtual LRESULT OnWizardNext() { return 0; }
  virtual LRESULT OnWizardBack() { return 0; }
  virtual BOOL OnWizardFinish() { return TRUE; }
  // Cancel or the close box while this page is active: TRUE lets the
  // wizard close.
  virtual BOOL OnQueryCancel() { return TRUE; }

 protected:
  // Record settings, for constructors of concrete pages.
  void SetHeaderTitle(const std::wstring& title);
  void SetTitle(const std::wstring& title);
  void SetIcon(int iconId);
  void AddRecordFlags(DWORD flags) { record_.dwFlags |= flags; }

  // The sheet's notifications to their hooks, then the common dispatch.
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  bool OnSheetNotify(const NMHDR& header);

  int templateId_;
  int iconId_ = 0;
  PROPSHEETPAGEW record_ = {};
  std::wstring title_;
  std::wstring headerTitle_;
};

class PropertySheet {
 public:
  explicit PropertySheet(std::wstring caption);
  virtual ~PropertySheet() = default;
  PropertySheet(const PropertySheet&) = delete;
  PropertySheet& operator=(const PropertySheet&) = delete;

  // Pages are shown in the order they are added; the sheet does not own
  // them.
  void AddPage(PropertyPage& page) { pages_.push_back(&page); }
  // Runs the sheet modally; returns the platform's result (-1 on failure).
  INT_PTR DoModal(HWND parent);

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  PropertyPage* Page(int index) const;
  // Index of the active page; -1 when there is none.
  int ActiveIndex() const;
  PropertyPage* ActivePage() const { return Page(ActiveIndex()); }
  // Makes a page the active one through the platform (which deactivates
  // the old page and activates the new one); false when it refused.
  bool SetActivePage(int index);

 protected:
  PROPSHEETHEADERW& header() { return header_; }
  // Runs after the platform's own initialisation, whose result it gets.
  virtual BOOL OnInitDialog(BOOL platformResult) { return platformResult; }
  // Sees every message of the sheet window before the platform; return
  // true with *result set to keep it from the platform.
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT* /*result*/) {
    return false;
  }

 private:
  static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SubclassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR self);
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  std::wstring caption_;
  PROPSHEETHEADERW header_ = {};
  std::vector<PropertyPage*> pages_;
  HWND hwnd_ = nullptr;
};

}  // namespace win
