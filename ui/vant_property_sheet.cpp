#include "ui/vant_property_sheet.h"

#include "ui/status_cell.h"

#include <commctrl.h>
#include <prsht.h>

#include "core/builtin_strings.h"
#include "res/resource_ids.h"

namespace kestrel {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kPageText = RGB(0, 0, 96);

// A thin line whose bottom lies above this many pixels (at 96 DPI) is the
// platform's line under its header.
constexpr int kHeaderLineLimit96Dpi = 100;

RECT ClientRectOf(HWND window, HWND parent) {
  RECT r;
  ::GetWindowRect(window, &r);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int WindowRectHeight(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return r.bottom - r.top;
}

// The program is DPI-aware: the sheet's pixels follow the display's scale.
int DisplayDpi(HWND window) {
  const win::WindowDcScope dc(window);
  const int dpi = dc.get() != nullptr ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : 96;
}

}  // namespace

// ---------------------------------------------------------------- page base

CVantPropertyPage::CVantPropertyPage(int templateId, CVantPropertySheet& owner)
    : win::PropertyPage(templateId),
      owner_(owner),
      backgroundBrush_(::CreateSolidBrush(kWhite)),
      frameBrush_(::CreateSolidBrush(kWhite)) {}

void CVantPropertyPage::SetupRecord(const std::wstring& headerTitle) {
  SetHeaderTitle(headerTitle);
  AddRecordFlags(PSP_USEHEADERSUBTITLE);
  SetIcon(IDI_PAGE);
  // In wizard mode the platform captions the sheet with the page's title
  // whenever the page is shown.
  SetTitle(LoadBuiltInString(kStrWizardTitle));
}

void CVantPropertyPage::ShowWizardTitle() {
  const std::wstring title = LoadBuiltInString(kStrWizardTitle);
  ::SetWindowTextW(hwnd(), title.c_str());
  owner_.SetTitle(title);
}

void CVantPropertyPage::PostWizardButtons(unsigned flags) const {
  ::PostMessageW(owner_.hwnd(), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(flags));
}

INT_PTR CVantPropertyPage::OnControlColour(UINT message, HDC dc, HWND control) {
  // The platform's choice first (it also sets its colours), then ours.
  auto platform = static_cast<INT_PTR>(::DefWindowProcW(hwnd(), message, reinterpret_cast<WPARAM>(dc),
                                                        reinterpret_cast<LPARAM>(control)));
  ::SetTextColor(dc, kPageText);
  const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
  const auto background = reinterpret_cast<INT_PTR>(backgroundBrush_.get());
  const auto frame = reinterpret_cast<INT_PTR>(frameBrush_.get());
  switch (message) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return platform;
    case WM_CTLCOLORSTATIC:
      if ((style & 0x7) == 0x7 || (style & 0x9) == 0x9) return frame;
      ::SetBkMode(dc, TRANSPARENT);
      return background;
    case WM_CTLCOLORBTN:
      if ((style & 0x2) != 0) return frame;
      ::SetBkMode(dc, TRANSPARENT);
      return background;
    default:
      ::SetBkMode(dc, TRANSPARENT);
      return background;
  }
}

bool CVantPropertyPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  switch (message) {
    case WM_ERASEBKGND:
      // The white sheet shows through.
      SetMessageResult(TRUE);
      *result = TRUE;
      return true;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      *result = OnControlColour(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------- sheet

CVantPropertySheet::CVantPropertySheet(std::wstring caption) : win::PropertySheet(std::move(caption)) {}

CVantPropertySheet::~CVantPropertySheet() = default;

void CVantPropertySheet::DrawBackground(HDC dc) {
  RECT client;
  ::GetClientRect(hwnd(), &client);
  FillGradient(dc, 0, 0, 0, client.right, client.bottom, kWhite, kWhite);
}

BOOL CVantPropertySheet::OnInitDialog(BOOL platformResult) {
  // The stage indicator takes over the tab strip's role.
  HWND tabs = PropSheet_GetTabControl(hwnd());
  if (tabs != nullptr) ::ShowWindow(tabs, SW_HIDE);

  if (HWND page = PropSheet_GetCurrentPageHwnd(hwnd())) pageRect_ = ClientRectOf(page, hwnd());

  // The platform's header is the area above a thin line over the page
  // area, and it grows with the display's scale: the strip ends where the
  // line ends, and the line goes. The rule for the line being the header's
  // (near the top) holds in 96-DPI pixels and scales with the display.
  const int windowHeight = WindowRectHeight(hwnd());
  const int headerLineLimit = ::MulDiv(kHeaderLineLimit96Dpi, DisplayDpi(hwnd()), 96);
  headerHeight_ = windowHeight;
  for (HWND child = ::GetWindow(hwnd(), GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    // The hidden tab strip is thin and high up too, but it is no header.
    // The sheet itself is not visible yet: look at the children's own style.
    if (child == tabs || (::GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    const RECT r = ClientRectOf(child, hwnd());
    if (r.top < headerHeight_ && r.top < pageRect_.top && r.bottom - r.top < 10) {
      headerHeight_ = r.bottom;
      if (r.bottom < headerLineLimit) {
        ::ShowWindow(child, SW_HIDE);
        hiddenHeaderLine_ = child;
      }
    }
  }
  if (headerHeight_ < 20 || headerHeight_ == windowHeight) {
    headerHeight_ = 0;
    if (tabs != nullptr) ::ShowWindow(tabs, SW_SHOW);
  }

  RECT client;
  ::GetClientRect(hwnd(), &client);
  stage_ = std::make_unique<CVantStageCtrl>();
  stage_->SetImageList(UniqueImageList(
      ::ImageList_Create(CVantStageCtrl::iconSize, CVantStageCtrl::iconSize, ILC_COLOR32 | ILC_MASK, 10, 10)));
  stage_->Create(hwnd(), RECT{0, 0, client.right, headerHeight_});
  for (int i = 0; i < PageCount(); ++i) {
    const win::PropertyPage* page = Page(i);
    int image = -1;
    if (page->iconId() != 0) {
      win::UniqueIcon icon(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(page->iconId()),
                                                           IMAGE_ICON, CVantStageCtrl::iconSize,
                                                           CVantStageCtrl::iconSize, 0)));
      if (icon) image = ::ImageList_AddIcon(stage_->imageList(), icon.get());
    }
    stage_->AppendStep(page->headerTitle(), image);
  }
  stage_->SetCurrentStep(0);
  return platformResult;
}

bool CVantPropertySheet::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
  switch (message) {
    case WM_ERASEBKGND:
      DrawBackground(reinterpret_cast<HDC>(wParam));
      *result = TRUE;
      return true;
    case WM_COMMAND:
      if (LOWORD(wParam) == ID_WIZNEXT) {
        OnNext();
        *result = 0;
        return true;
      }
      if (LOWORD(wParam) == ID_WIZBACK) {
        OnBack();
        *result = 0;
        return true;
      }
      return false;
    default:
      return false;
  }
}

void CVantPropertySheet::OnNext() {
  // A disabled button cannot be pressed, not even through the keyboard's
  // default button: a run in progress keeps its page.
  if (!::IsWindowEnabled(Button(ID_WIZNEXT))) return;
  const int active = ActiveIndex();
  if (active < 0 || active + 1 >= PageCount()) return;
  if (Page(active)->OnWizardNext() == -1) return;
  MoveTo(active + 1);
}

void CVantPropertySheet::OnBack() {
  if (!::IsWindowEnabled(Button(ID_WIZBACK))) return;
  const int active = ActiveIndex();
  if (active <= 0) return;
  if (Page(active)->OnWizardBack() == -1) return;
  MoveTo(active - 1);
}

void CVantPropertySheet::MoveTo(int index) {
  ::InvalidateRect(hwnd(), nullptr, TRUE);
  ::UpdateWindow(hwnd());
  if (!SetActivePage(index)) return;
  // The platform shows its header line again on every page change.
  if (hiddenHeaderLine_ != nullptr) ::ShowWindow(hiddenHeaderLine_, SW_HIDE);
  if (stage_) stage_->SetCurrentStep(index);
}

}  // namespace kestrel
