#include "ui/vant_list_ctrl.h"

#include <cwchar>

namespace kestrel {

void CVantListCtrl::SetupTaskColumns() {
  ListView_SetExtendedListViewStyle(list_, ListView_GetExtendedListViewStyle(list_) | LVS_EX_GRIDLINES |
                                               LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | 0x10000000);
  RECT client = {};
  ::GetClientRect(list_, &client);
  struct Column {
    const wchar_t* heading;
    int width;
  } const columns[] = {{L"", 0}, {L"TaskName", 300}, {L"Status", client.right - 310}, {L"", 0}};
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | (i == 3 ? 0 : LVCF_WIDTH);
    column.fmt = LVCFMT_LEFT;
    column.pszText = const_cast<wchar_t*>(columns[i].heading);
    column.cx = columns[i].width;
    ::SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

int CVantListCtrl::RowCount() const { return static_cast<int>(::SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

int CVantListCtrl::AppendRow(const std::wstring& key) {
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = RowCount();
  item.pszText = const_cast<wchar_t*>(key.c_str());
  return static_cast<int>(::SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CVantListCtrl::DeleteAllRows() { ::SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0); }

std::wstring CVantListCtrl::GetCellText(int row, int column) const {
  std::wstring buffer(256, L'\0');
  for (;;) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    int n = static_cast<int>(::SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    if (n < static_cast<int>(buffer.size()) - 1) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

BOOL CVantListCtrl::SetItemTextIfChanged(int row, int column, const wchar_t* text) {
  const wchar_t* next = text != nullptr ? text : L"";
  if (GetCellText(row, column) == next) return TRUE;
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(next);
  return static_cast<BOOL>(::SendMessageW(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
}

LRESULT CVantListCtrl::OnCustomDraw(NMLVCUSTOMDRAW*) { return CDRF_DODEFAULT; }

}  // namespace kestrel
