#include "ui/vant_stage_ctrl.h"

#include "ui/status_cell.h"

namespace kestrel {

namespace {

constexpr wchar_t kClassName[] = L"VantStageCtrl";

bool RegisterStageClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  if (::GetClassInfoExW(::GetModuleHandleW(nullptr), kClassName, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  return ::RegisterClassExW(&wc) != 0;
}

}  // namespace

CVantStageCtrl::CVantStageCtrl() {
  LOGFONTW font = {};
  font.lfHeight = 16;
  font.lfWeight = FW_BOLD;
  font.lfCharSet = ANSI_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(font.lfFaceName, L"Arial", LF_FACESIZE);
  titleFont_.reset(::CreateFontIndirectW(&font));
}

CVantStageCtrl::~CVantStageCtrl() {
  if (hwnd_ != nullptr) ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
}

bool CVantStageCtrl::Create(HWND parent, const RECT& rect) {
  if (!RegisterStageClass()) return false;
  hwnd_ = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, rect.left, rect.top, rect.right - rect.left,
                            rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)),
                            ::GetModuleHandleW(nullptr), nullptr);
  if (hwnd_ == nullptr) return false;
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CVantStageCtrl::WindowProcedure));
  ::SetWindowTextW(hwnd_, CurrentTitle().c_str());
  return true;
}

int CVantStageCtrl::AppendStep(const std::wstring& title, int image) {
  steps_.push_back(Step{title, image});
  if (hwnd_ != nullptr) ::SetWindowTextW(hwnd_, CurrentTitle().c_str());
  return StepCount() - 1;
}

void CVantStageCtrl::SetCurrentStep(int step) {
  currentStep_ = step;
  if (hwnd_ == nullptr) return;
  ::SetWindowTextW(hwnd_, CurrentTitle().c_str());
  ::InvalidateRect(hwnd_, nullptr, TRUE);
  ::UpdateWindow(hwnd_);
}

std::wstring CVantStageCtrl::CurrentTitle() const {
  if (currentStep_ < 0 || currentStep_ >= StepCount()) return {};
  return steps_[static_cast<size_t>(currentStep_)].title;
}

void CVantStageCtrl::DrawBackground(HDC dc, const RECT& client) {
  const int w = client.right - client.left;
  const int h = client.bottom - client.top;
  FillGradient(dc, 0, 0, 0, w, h, RGB(255, 255, 255), RGB(255, 255, 255));
  FillGradient(dc, 7, 0, h - bottomLineInset, w, 1, RGB(208, 208, 208), RGB(240, 240, 240));
}

void CVantStageCtrl::DrawContent(HDC dc, const RECT& client) {
  const int h = client.bottom - client.top;
  // A step without an item shows no title and the first image.
  int image = 0;
  std::wstring title;
  if (currentStep_ >= 0 && currentStep_ < StepCount()) {
    image = steps_[static_cast<size_t>(currentStep_)].image;
    title = steps_[static_cast<size_t>(currentStep_)].title;
  }
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  {
    win::SelectObjectScope font(dc, titleFont_.get());
    const COLORREF oldColour = ::SetTextColor(dc, RGB(255, 255, 255));
    ::TextOutW(dc, 60, 24, title.c_str(), static_cast<int>(title.size()));
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::TextOutW(dc, 59, 23, title.c_str(), static_cast<int>(title.size()));
    ::SetTextColor(dc, oldColour);
  }
  ::SetBkMode(dc, oldMode);
  if (imageList_ && image >= 0 && image < ::ImageList_GetImageCount(imageList_.get()))
    ::ImageList_Draw(imageList_.get(), image, dc, 10, (h - iconSize) / 2, ILD_TRANSPARENT);
}

LRESULT CVantStageCtrl::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client;
      ::GetClientRect(hwnd_, &client);
      DrawBackground(reinterpret_cast<HDC>(wParam), client);
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(hwnd_, &paint);
      if (dc != nullptr) {
        RECT client;
        ::GetClientRect(hwnd_, &client);
        if (paint.fErase) DrawBackground(dc, client);
        DrawContent(dc, client);
        ::EndPaint(hwnd_, &paint);
      }
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CVantStageCtrl::WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CVantStageCtrl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  try {
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->Handle(message, wParam, lParam);
  } catch (...) {
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace kestrel
