// The commit page's task list: a report-view list control whose cells are
// the only store of the task rows. The worker thread reads and writes cells
// through messages to the control, so every change is carried out by the
// user-interface thread while the worker waits.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ui/status_cell.h"

namespace kestrel {

class CVantListCtrl {
 public:
  // The dialog's list control (id 1004 on the commit page).
  void Attach(HWND list) { list_ = list; }
  HWND hwnd() const { return list_; }

  // Adds grid lines, full-row selection, double buffering and automatic
  // column sizing to the current extended styles, makes the rows at least
  // as high as the status icons, and inserts the four task columns: key
  // (hidden), "TaskName", "Status" (the rest of the client width less 10
  // pixels), argument (hidden). Call on the control's thread.
  void SetupTaskColumns();

  // These may be called from any thread; each request is carried out by
  // the control's thread.
  int RowCount() const;
  // Appends a row whose item text is key; returns its index or -1.
  int AppendRow(const std::wstring& key);
  void DeleteAllRows();
  // The whole text of a cell, of any length; empty for a cell that does
  // not exist.
  std::wstring GetCellText(int row, int column) const;
  // The one write path for cells: sets the text only when it differs from
  // the current one, compared code unit by code unit, so an unchanged text
  // costs no repaint. A null text is the empty text. TRUE when the text was
  // already there, otherwise the result of setting it (FALSE also when the
  // cell could not be read for want of memory).
  BOOL SetItemTextIfChanged(int row, int column, const wchar_t* text);

  // The parent forwards the list's NM_CUSTOMDRAW here and returns the
  // result (a dialog procedure through DWLP_MSGRESULT): every cell is
  // painted by DrawStatusCell.
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);

  // The progress bars' track colours.
  const TrackColours& trackColours() const { return track_; }
  void SetTrackColours(const TrackColours& track) { track_ = track; }

 private:
  // Hands images to the control as its small image list, which sets the
  // least row height. The control destroys them with itself (unless it
  // has LVS_SHAREIMAGELISTS, which the commit page's list has not).
  void SetRowImages(HIMAGELIST images);
  bool IsRowSelected(int row) const;
  RECT CellRect(int row, int column) const;

  HWND list_ = nullptr;
  TrackColours track_;
};

}  // namespace kestrel
