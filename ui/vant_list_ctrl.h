// The commit page's task list: a report-view list control whose cells are
// written from the worker thread and painted from their progress markup.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace kestrel {

class CVantListCtrl {
 public:
  void Attach(HWND list) { list_ = list; }
  HWND hwnd() const { return list_; }
  void SetupTaskColumns();
  int RowCount() const;
  int AppendRow(const std::wstring& key);
  void DeleteAllRows();
  std::wstring GetCellText(int row, int column) const;
  BOOL SetItemTextIfChanged(int row, int column, const wchar_t* text);
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);

 private:
  HWND list_ = nullptr;
};

}  // namespace kestrel
