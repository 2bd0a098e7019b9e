// The task list control over a real list view in a real window: writes from
// a worker thread while this thread pumps messages as the wizard's does.
#include "ui/vant_list_ctrl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/canvas.h"
#include "support/test_support.h"
#include "win/handle.h"

namespace {

using kestrel::CVantListCtrl;

// Runs fn on a new thread while this thread dispatches its messages, as the
// user-interface thread does while a task runs.
DWORD WINAPI WorkerEntry(void* parameter) {
  try {
    (*static_cast<std::function<void()>*>(parameter))();
  } catch (...) {
  }
  return 0;
}

void RunOnWorker(std::function<void()> fn) {
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &WorkerEntry, &fn, 0, nullptr));
  ASSERT_TRUE(thread);
  HANDLE handle = thread.get();
  bool late = false;
  for (;;) {
    DWORD r = ::MsgWaitForMultipleObjects(1, &handle, FALSE, kt::kPatienceMs, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_TIMEOUT && !late) {
      // Keep pumping: the worker still uses fn and may wait for us.
      ADD_FAILURE() << "the worker did not finish in time";
      late = true;
    }
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

// A top-level window holding one report-view list, wired as the commit page
// wires its task list. Counts what reaches the list and its custom drawing.
class TaskList : public ::testing::Test {
 protected:
  static constexpr wchar_t kHostClass[] = L"KestrelTaskListHost";

  void SetUp() override {
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&init));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &TaskList::HostProcedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kHostClass;
    ::RegisterClassExW(&wc);  // already there from an earlier test is fine

    host_ = ::CreateWindowExW(0, kHostClass, L"Task list test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 400,
                              nullptr, nullptr, wc.hInstance, this);
    ASSERT_NE(host_, nullptr);
    HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, 0, 0, 700,
                                  300, host_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1004)), wc.hInstance,
                                  nullptr);
    ASSERT_NE(list, nullptr);
    ::SetWindowLongPtrW(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    listProcedure_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TaskList::ListProcedure)));
    ctrl_.Attach(list);
    ctrl_.SetupTaskColumns();
    uiThread_ = ::GetCurrentThreadId();
  }

  void TearDown() override {
    if (host_ != nullptr) ::DestroyWindow(host_);
  }

  HWND list() const { return ctrl_.hwnd(); }

  // Paints what is pending and forgets the counts.
  void Settle() {
    ::UpdateWindow(list());
    setTextCalls_ = 0;
    itemPrepaints_ = 0;
  }

  // True when the list has nothing left to repaint.
  bool NothingToRepaint() { return !::GetUpdateRect(list(), nullptr, FALSE); }

  static LRESULT CALLBACK HostProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TaskList*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NOTIFY && self != nullptr) {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->hwndFrom == self->list() && header->code == NM_CUSTOMDRAW) {
        auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) ++self->itemPrepaints_;
        return self->ctrl_.OnCustomDraw(draw);
      }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }

  static LRESULT CALLBACK ListProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TaskList*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    LRESULT result = ::CallWindowProcW(self->listProcedure_, hwnd, message, wParam, lParam);
    if (message == LVM_SETITEMTEXTW) {
      // Counted once the control has taken the text.
      self->setTextThread_ = ::GetCurrentThreadId();
      ++self->setTextCalls_;
    }
    return result;
  }

  HWND host_ = nullptr;
  WNDPROC listProcedure_ = nullptr;
  CVantListCtrl ctrl_;
  DWORD uiThread_ = 0;
  std::atomic<int> setTextCalls_{0};
  std::atomic<DWORD> setTextThread_{0};
  std::atomic<int> itemPrepaints_{0};
};

std::wstring ColumnHeading(HWND list, int index) {
  wchar_t text[64] = {};
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = text;
  column.cchTextMax = 64;
  if (!::SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column))) {
    return L"<none>";
  }
  return text;
}

TEST_F(TaskList, TaskColumnsAndExtendedStyles) {
  // The styles are added to those the list already had.
  HWND fresh = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 500, 200, host_, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(fresh, nullptr);
  ::SendMessageW(fresh, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_HEADERDRAGDROP);
  CVantListCtrl ctrl;
  ctrl.Attach(fresh);
  ctrl.SetupTaskColumns();

  const auto styles = static_cast<DWORD>(::SendMessageW(fresh, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  for (DWORD bit : {DWORD{LVS_EX_HEADERDRAGDROP}, DWORD{0x1}, DWORD{0x20}, DWORD{0x10000}}) {
    EXPECT_NE(styles & bit, 0u) << std::hex << bit;
  }
  RECT client{};
  ::GetClientRect(fresh, &client);
  EXPECT_EQ(ColumnHeading(fresh, 0), L"");
  EXPECT_EQ(ColumnHeading(fresh, 1), L"TaskName");
  EXPECT_EQ(ColumnHeading(fresh, 2), L"Status");
  EXPECT_EQ(ColumnHeading(fresh, 3), L"");
  EXPECT_EQ(ColumnHeading(fresh, 4), L"<none>");
  EXPECT_EQ(::SendMessageW(fresh, LVM_GETCOLUMNWIDTH, 0, 0), 0);
  EXPECT_EQ(::SendMessageW(fresh, LVM_GETCOLUMNWIDTH, 1, 0), 300);
  EXPECT_EQ(::SendMessageW(fresh, LVM_GETCOLUMNWIDTH, 2, 0), client.right - 310);
}

TEST_F(TaskList, RowsFromAWorker) {
  std::vector<int> indexes;
  int countAfter = -1;
  std::wstring key1, label1, argument2, missing;
  RunOnWorker([&] {
    for (const wchar_t* key : {L"INSTALLNET", L"INSTALLSQL", L"FINALIZE"}) indexes.push_back(ctrl_.AppendRow(key));
    ctrl_.SetItemTextIfChanged(1, 1, L"Install SQL Server Express");
    ctrl_.SetItemTextIfChanged(2, 3, L"VEVer");
    countAfter = ctrl_.RowCount();
    key1 = ctrl_.GetCellText(1, 0);
    label1 = ctrl_.GetCellText(1, 1);
    argument2 = ctrl_.GetCellText(2, 3);
    missing = ctrl_.GetCellText(7, 2);
  });
  EXPECT_EQ(indexes, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(countAfter, 3);
  EXPECT_EQ(key1, L"INSTALLSQL");
  EXPECT_EQ(label1, L"Install SQL Server Express");
  EXPECT_EQ(argument2, L"VEVer");
  EXPECT_EQ(missing, L"");

  ctrl_.DeleteAllRows();
  EXPECT_EQ(ctrl_.RowCount(), 0);
  EXPECT_EQ(ctrl_.AppendRow(L"again"), 0);
}

TEST_F(TaskList, WorkerWritesAreAppliedOnTheUiThreadBeforeReturning) {
  ASSERT_EQ(ctrl_.AppendRow(L"INSTALLQRE"), 0);
  Settle();
  BOOL result = FALSE;
  int setsSeenOnReturn = -1;
  std::wstring seenOnReturn;
  RunOnWorker([&] {
    result = ctrl_.SetItemTextIfChanged(0, 2, L"Processing...");
    setsSeenOnReturn = setTextCalls_;
    seenOnReturn = ctrl_.GetCellText(0, 2);
  });
  EXPECT_TRUE(result);
  EXPECT_EQ(setsSeenOnReturn, 1);
  EXPECT_EQ(setTextThread_.load(), uiThread_);
  EXPECT_EQ(seenOnReturn, L"Processing...");
  // Painted by the message loop or at the latest now.
  ::UpdateWindow(list());
  EXPECT_GT(itemPrepaints_.load(), 0);
}

TEST_F(TaskList, OnlyChangedTextsAreWritten) {
  const std::wstring longText(5000, L'x');
  const std::wstring longOther = std::wstring(4999, L'x') + L'y';
  struct Case {
    const wchar_t* name;
    const wchar_t* before;  // null: the cell was never written
    const wchar_t* write;
    bool changes;
    const wchar_t* after;
  };
  const Case cases[] = {
      {L"null into an empty cell", nullptr, nullptr, false, L""},
      {L"empty into an empty cell", nullptr, L"", false, L""},
      {L"the same text", L"#Progress:5 10@@Installing", L"#Progress:5 10@@Installing", false,
       L"#Progress:5 10@@Installing"},
      {L"letter case only", L"Processing...", L"processing...", true, L"processing..."},
      {L"a trailing blank", L"Done", L"Done ", true, L"Done "},
      {L"a new tick", L"#Progress:5 10@@Installing", L"#Progress:6 10@@Installing", true,
       L"#Progress:6 10@@Installing"},
      {L"null over a text", L"Done", nullptr, true, L""},
      {L"the same long text", longText.c_str(), longText.c_str(), false, longText.c_str()},
      {L"a long text with its last character changed", longText.c_str(), longOther.c_str(), true,
       longOther.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    ctrl_.DeleteAllRows();
    ASSERT_EQ(ctrl_.AppendRow(L"key"), 0);
    if (c.before != nullptr) {
      ASSERT_TRUE(ctrl_.SetItemTextIfChanged(0, 2, c.before));
    }
    Settle();
    ASSERT_TRUE(NothingToRepaint());

    BOOL result = FALSE;
    RunOnWorker([&] { result = ctrl_.SetItemTextIfChanged(0, 2, c.write); });
    EXPECT_TRUE(result);
    EXPECT_EQ(setTextCalls_.load(), c.changes ? 1 : 0);
    // A change is painted by the message loop or at the latest now.
    ::UpdateWindow(list());
    EXPECT_EQ(itemPrepaints_.load() > 0, c.changes);
    EXPECT_TRUE(ctrl_.GetCellText(0, 2) == c.after) << "read back " << ctrl_.GetCellText(0, 2).size() << " characters";
  }
}

TEST_F(TaskList, CellsOfAnyLengthAreReadWhole) {
  ASSERT_EQ(ctrl_.AppendRow(L"key"), 0);
  for (size_t length : {size_t{254}, size_t{255}, size_t{256}, size_t{257}, size_t{511}, size_t{5000},
                        size_t{70000}}) {
    std::wstring text;
    for (size_t i = 0; i < length; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
    LVITEMW item{};
    item.iSubItem = 3;
    item.pszText = text.data();
    ASSERT_TRUE(::SendMessageW(list(), LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item)));
    std::wstring read;
    RunOnWorker([&] { read = ctrl_.GetCellText(0, 3); });
    EXPECT_EQ(read.size(), length);
    EXPECT_TRUE(read == text) << length;
  }
}

TEST_F(TaskList, UnchangedProgressTicksDoNotRepaint) {
  ASSERT_EQ(ctrl_.AppendRow(L"DOWNLOAD"), 0);
  const wchar_t* tick = L"#Progress:524288 1048576@@Download:512 KB of 1.0 MB";
  ASSERT_TRUE(ctrl_.SetItemTextIfChanged(0, 2, tick));
  Settle();
  int failures = 0;
  RunOnWorker([&] {
    for (int i = 0; i < 10000; ++i) failures += !ctrl_.SetItemTextIfChanged(0, 2, tick);
  });
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(setTextCalls_.load(), 0);
  ::UpdateWindow(list());
  EXPECT_EQ(itemPrepaints_.load(), 0);
}

TEST_F(TaskList, CustomDrawAnswers) {
  ASSERT_EQ(ctrl_.AppendRow(L"FINALIZE"), 0);
  ASSERT_EQ(ctrl_.AppendRow(L"INITDB"), 1);
  ctrl_.SetItemTextIfChanged(0, 2, L"#COLOR:RED");
  ctrl_.SetItemTextIfChanged(1, 2, L"Processing...");
  LVITEMW select{};
  select.stateMask = LVIS_SELECTED;
  select.state = LVIS_SELECTED;
  ::SendMessageW(list(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));

  kt::Canvas canvas(8, 8);
  struct Case {
    DWORD stage;
    DWORD_PTR row;
    int column;
    LRESULT answer;
    COLORREF text, background;  // colours left in the record
  };
  const COLORREF untouched = RGB(1, 2, 3);
  const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
  const Case cases[] = {
      {CDDS_PREPAINT, 0, 0, CDRF_NOTIFYITEMDRAW, untouched, untouched},
      {CDDS_ITEMPREPAINT, 0, 0, CDRF_NOTIFYSUBITEMDRAW, untouched, untouched},
      {CDDS_ITEMPREPAINT | CDDS_SUBITEM, 0, 2, CDRF_SKIPDEFAULT, untouched, RGB(255, 255, 255)},
      {CDDS_ITEMPREPAINT | CDDS_SUBITEM, 0, 0, CDRF_DODEFAULT, RGB(0, 0, 0), RGB(255, 255, 255)},
      {CDDS_ITEMPREPAINT | CDDS_SUBITEM, 1, 2, CDRF_DODEFAULT, RGB(255, 255, 255), highlight},
      {CDDS_ITEMPREPAINT | CDDS_SUBITEM, 1, 3, CDRF_DODEFAULT, RGB(255, 255, 255), highlight},
      {CDDS_ITEMPOSTPAINT, 0, 0, 0, untouched, untouched},
      {CDDS_POSTPAINT, 0, 0, 0, untouched, untouched},
      {CDDS_PREERASE, 0, 0, 0, untouched, untouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.hwndFrom = list();
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = c.stage;
    draw.nmcd.hdc = canvas.dc();
    draw.nmcd.dwItemSpec = c.row;
    draw.iSubItem = c.column;
    draw.clrText = untouched;
    draw.clrTextBk = untouched;
    EXPECT_EQ(ctrl_.OnCustomDraw(&draw), c.answer);
    EXPECT_EQ(kt::Canvas::Hex(draw.clrText), kt::Canvas::Hex(c.text));
    EXPECT_EQ(kt::Canvas::Hex(draw.clrTextBk), kt::Canvas::Hex(c.background));
  }
}

TEST_F(TaskList, StatusCellsArePaintedInTheList) {
  ASSERT_EQ(ctrl_.AppendRow(L"FINALIZE"), 0);
  ctrl_.SetItemTextIfChanged(0, 1, L"Finalize");
  ctrl_.SetItemTextIfChanged(0, 2, L"#COLOR:RED");
  RECT cell{};
  cell.top = 2;
  cell.left = LVIR_BOUNDS;
  ASSERT_TRUE(::SendMessageW(list(), LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(&cell)));

  RECT client{};
  ::GetClientRect(list(), &client);
  kt::Canvas canvas(client.right, client.bottom);
  ASSERT_TRUE(canvas.ok());
  ::SendMessageW(list(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT | PRF_ERASEBKGND);

  // The box inside the Status cell, and none in the TaskName cell.
  const int midY = (cell.top + cell.bottom) / 2;
  EXPECT_EQ(kt::Canvas::Hex(canvas.At(cell.left + 4, midY)), kt::Canvas::Hex(RGB(240, 0, 0)));
  EXPECT_EQ(kt::Canvas::Hex(canvas.At(cell.right - 5, midY)), kt::Canvas::Hex(RGB(240, 0, 0)));
  EXPECT_NE(canvas.At(cell.left + 3, midY), RGB(240, 0, 0));
  EXPECT_NE(canvas.At(cell.left - 20, midY), RGB(240, 0, 0));
}

// A solid red, fully opaque icon of the status icons' size.
win::UniqueIcon RedStatusIcon() {
  constexpr int size = kestrel::kStatusIconSize;
  std::vector<uint32_t> colour(size * size, 0x00FF0000);
  std::vector<uint8_t> mask(size * size / 8, 0);
  win::UniqueBitmap colourBitmap(::CreateBitmap(size, size, 1, 32, colour.data()));
  win::UniqueBitmap maskBitmap(::CreateBitmap(size, size, 1, 1, mask.data()));
  ICONINFO info = {TRUE, 0, 0, maskBitmap.get(), colourBitmap.get()};
  return win::UniqueIcon(::CreateIconIndirect(&info));
}

// Rows 0 and 2 show an icon, row 1 a progress bar between them: at every
// font size, from smaller than the icons to the size of a large display
// scale, each row is at least as high as the icons and every row's picture
// stays inside its own row.
TEST_F(TaskList, RowsHoldTheirIconsAndBarsAtAnyFontSize) {
  win::UniqueIcon icon = RedStatusIcon();
  ASSERT_TRUE(icon);
  const std::wstring iconText = L"#ICON:" + std::to_wstring(reinterpret_cast<intptr_t>(icon.get())) + L"#@@Done";
  ASSERT_EQ(ctrl_.AppendRow(L"INSTALLNET"), 0);
  ASSERT_EQ(ctrl_.AppendRow(L"INSTALLSQL"), 1);
  ASSERT_EQ(ctrl_.AppendRow(L"FINALIZE"), 2);
  ctrl_.SetItemTextIfChanged(0, 2, iconText.c_str());
  ctrl_.SetItemTextIfChanged(1, 2, L"#Progress:1 2");
  ctrl_.SetItemTextIfChanged(2, 2, iconText.c_str());

  auto isRed = [](COLORREF c) { return c == RGB(255, 0, 0); };
  // The bar's fill: no red, no blue (the track is grey).
  auto isFill = [](COLORREF c) { return GetRValue(c) == 0 && GetBValue(c) == 0 && GetGValue(c) >= 64; };
  // The dialog's font is 13 pixels high at 96 DPI and 16 at 120; 8 and 24
  // are smaller than the icons and a large scale's.
  // The list keeps using the font it was given: each lives to the end.
  std::vector<win::UniqueFont> fonts;
  for (int fontHeight : {8, 13, 16, 24}) {
    SCOPED_TRACE(testing::Message() << "font height " << fontHeight);
    win::UniqueFont& font = fonts.emplace_back(::CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                       DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
    ASSERT_TRUE(font);
    ::SendMessageW(list(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);

    RECT rows[3];
    for (int row = 0; row < 3; ++row) {
      rows[row].left = LVIR_BOUNDS;
      ASSERT_TRUE(::SendMessageW(list(), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rows[row])));
      EXPECT_GE(rows[row].bottom - rows[row].top, kestrel::kStatusIconSize) << "row " << row;
    }
    RECT client{};
    ::GetClientRect(list(), &client);
    kt::Canvas canvas(client.right, client.bottom);
    ASSERT_TRUE(canvas.ok());
    ::SendMessageW(list(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT | PRF_ERASEBKGND);

    // Where each picture lies, row by row: [first line, last line] of its
    // pixels in the Status column.
    struct Extent {
      int top = INT_MAX, bottom = -1;
    };
    Extent red[3], fill[3], outside;
    for (int y = 0; y < canvas.height(); ++y) {
      int row = -1;
      for (int r = 0; r < 3; ++r)
        if (y >= rows[r].top && y < rows[r].bottom) row = r;
      for (int x = 300; x < canvas.width(); ++x) {
        const COLORREF c = canvas.At(x, y);
        if (!isRed(c) && !isFill(c)) continue;
        Extent& e = row < 0 ? outside : (isRed(c) ? red[row] : fill[row]);
        e.top = std::min(e.top, y);
        e.bottom = std::max(e.bottom, y);
      }
    }
    EXPECT_EQ(outside.bottom, -1) << "painted below the rows down to line " << outside.bottom;
    for (int row : {0, 2}) {
      EXPECT_EQ(red[row].bottom - red[row].top + 1, kestrel::kStatusIconSize) << "icon of row " << row;
      EXPECT_EQ(fill[row].bottom, -1) << "bar in row " << row;
    }
    EXPECT_EQ(red[1].bottom, -1) << "an icon reaches into the bar's row at line " << red[1].top;
    EXPECT_NE(fill[1].bottom, -1) << "no bar in its row";
  }
  ::SendMessageW(list(), WM_SETFONT, 0, FALSE);
}

}  // namespace
