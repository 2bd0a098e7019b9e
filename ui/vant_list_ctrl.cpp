#include "ui/vant_list_ctrl.h"

#include <climits>
#include <string_view>

namespace kestrel {

namespace {

// Extended styles by value: older headers lack the names of the last two.
constexpr DWORD kGridLines = 0x1;
constexpr DWORD kFullRowSelect = 0x20;
constexpr DWORD kDoubleBuffer = 0x10000;
constexpr DWORD kAutoSizeColumns = 0x10000000;

void InsertColumn(HWND list, int index, const wchar_t* heading, int width, bool hasWidth) {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_TEXT | (hasWidth ? LVCF_WIDTH : 0);
  column.fmt = LVCFMT_LEFT;
  column.cx = width;
  column.pszText = const_cast<wchar_t*>(heading);
  ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

}  // namespace

void CVantListCtrl::SetupTaskColumns() {
  const DWORD styles = static_cast<DWORD>(::SendMessageW(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  const DWORD wanted = styles | kGridLines | kFullRowSelect | kDoubleBuffer | kAutoSizeColumns;
  ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(wanted));

  // A report view's rows are as high as its font or its small images,
  // whichever is taller; the list's font alone leaves rows shorter than the
  // status icons at the usual sizes. An empty image list as high as those
  // icons keeps every row tall enough for its icon, and the progress bars
  // fill whatever height the row has.
  SetRowImages(::ImageList_Create(1, kStatusIconSize, ILC_COLOR32, 0, 1));

  RECT client{};
  ::GetClientRect(list_, &client);
  InsertColumn(list_, 0, L"", 0, true);
  InsertColumn(list_, 1, L"TaskName", 300, true);
  InsertColumn(list_, 2, L"Status", (client.right - client.left) - 310, true);
  InsertColumn(list_, 3, L"", 0, false);
}

void CVantListCtrl::SetRowImages(HIMAGELIST images) {
  if (images == nullptr) return;
  // A list control without LVS_SHAREIMAGELISTS (the commit page's) destroys
  // its image lists with itself: this one lives exactly as long as the
  // control and is destroyed once. A list it held before is no longer its
  // own once replaced, so it goes here unless it is shared and belongs to
  // whoever set it.
  const bool shared = (::GetWindowLongPtrW(list_, GWL_STYLE) & LVS_SHAREIMAGELISTS) != 0;
  HIMAGELIST previous = ListView_SetImageList(list_, images, LVSIL_SMALL);
  if (previous != nullptr && previous != images && !shared) ::ImageList_Destroy(previous);
}

int CVantListCtrl::RowCount() const { return static_cast<int>(::SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

int CVantListCtrl::AppendRow(const std::wstring& key) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = RowCount();
  item.pszText = const_cast<wchar_t*>(key.c_str());
  return static_cast<int>(::SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CVantListCtrl::DeleteAllRows() { ::SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0); }

std::wstring CVantListCtrl::GetCellText(int row, int column) const {
  // The control reports how many characters it copied, not how long the
  // text is: a buffer filled to the brim may have cut it, so grow and ask
  // again until there is room to spare.
  constexpr size_t kLargest = static_cast<size_t>(INT_MAX) / 2;
  std::wstring text(256, L'\0');
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const LRESULT copied =
        ::SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    // The control may point at its own copy instead of filling ours.
    if (item.pszText != nullptr && item.pszText != text.data()) return std::wstring(item.pszText);
    size_t n = copied > 0 ? static_cast<size_t>(copied) : 0;
    if (n > text.size() - 1) n = text.size() - 1;
    if (n + 1 < text.size() || text.size() >= kLargest) {
      text.resize(n);
      return text;
    }
    text.assign(text.size() * 2, L'\0');
  }
}

BOOL CVantListCtrl::SetItemTextIfChanged(int row, int column, const wchar_t* text) {
  const std::wstring_view wanted = text != nullptr ? std::wstring_view(text) : std::wstring_view();
  try {
    if (GetCellText(row, column) == wanted) return TRUE;
  } catch (...) {
    // No memory to read the cell back: the write did not happen.
    return FALSE;
  }
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text != nullptr ? text : L"");
  return static_cast<BOOL>(
      ::SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
}

bool CVantListCtrl::IsRowSelected(int row) const {
  return (::SendMessageW(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

RECT CVantListCtrl::CellRect(int row, int column) const {
  RECT r{};
  r.top = column;
  r.left = LVIR_BOUNDS;
  ::SendMessageW(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
  if (column == 0) {
    // The bounds of sub-item 0 are those of the whole row; the cell is the
    // first column's width of it.
    r.right = r.left + static_cast<int>(::SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0));
  }
  return r;
}

LRESULT CVantListCtrl::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
  if (draw == nullptr) return CDRF_DODEFAULT;
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      const int row = static_cast<int>(draw->nmcd.dwItemSpec);
      const int column = draw->iSubItem;
      try {
        return DrawStatusCell(*draw, CellRect(row, column), GetCellText(row, column), IsRowSelected(row), track_);
      } catch (...) {
        // Out of memory while painting: let the list draw the cell itself.
        return CDRF_DODEFAULT;
      }
    }
    default:
      return CDRF_DODEFAULT;
  }
}

}  // namespace kestrel
