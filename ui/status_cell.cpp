#include "ui/status_cell.h"

#include <climits>
#include <cstdint>
#include <string>

#include "core/progress_markup.h"
#include "win/handle.h"

namespace kestrel {

namespace {

// base + (difference * position) / length per component, the division
// truncating toward zero, the low 8 bits kept.
// 64-bit products: no overflow for any width a caller may pass.
BYTE Component(int from, int to, int64_t position, int64_t length) {
  return static_cast<BYTE>((from + (to - from) * position / length) & 0xFF);
}

COLORREF Interpolate(COLORREF from, COLORREF to, int64_t position, int64_t length) {
  return RGB(Component(GetRValue(from), GetRValue(to), position, length),
             Component(GetGValue(from), GetGValue(to), position, length),
             Component(GetBValue(from), GetBValue(to), position, length));
}

// The glass rule: the line at one third of the length is colour2; the lines
// before it run up to it from two thirds of the way to colour2, the lines
// after it run back down toward colour1.
COLORREF GlassColour(COLORREF colour1, COLORREF colour2, int64_t position, int64_t length) {
  const int64_t u = (2 * (length / 3) + position) % length;
  if (u < (2 * length) / 3) return Interpolate(colour2, colour1, u, length);
  return Interpolate(colour1, colour2, u, length);
}

// Solid fills through the device context's own brush: no brush is created
// per line, and the context's brush colour is put back afterwards.
class SolidPainter {
 public:
  explicit SolidPainter(HDC dc) : dc_(dc), previous_(::GetDCBrushColor(dc)) {}
  ~SolidPainter() { ::SetDCBrushColor(dc_, previous_); }
  SolidPainter(const SolidPainter&) = delete;
  SolidPainter& operator=(const SolidPainter&) = delete;

  void Fill(int x, int y, int w, int h, COLORREF colour) const {
    ::SetDCBrushColor(dc_, colour);
    RECT r{x, y, x + w, y + h};
    ::FillRect(dc_, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
  }

 private:
  HDC dc_;
  COLORREF previous_;
};

void FillVertical(const SolidPainter& painter, int x, int y, int w, int h, COLORREF colour1, COLORREF colour2) {
  for (int j = 0; j < h; ++j) painter.Fill(x, y + j, w, 1, Interpolate(colour1, colour2, j, h));
}

HICON IconFromHandleValue(int64_t value) {
  // The producer wrote a pointer-sized value; one that does not fit this
  // build's pointers cannot be a handle of this process.
  if (value < INTPTR_MIN || value > INTPTR_MAX) return nullptr;
  return reinterpret_cast<HICON>(static_cast<intptr_t>(value));
}

int TextLength(std::wstring_view text) {
  return text.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(text.size());
}

void DrawIconCell(HDC dc, const RECT& cell, int64_t handleValue) {
  HICON icon = IconFromHandleValue(handleValue);
  if (icon == nullptr) return;
  const int w = cell.right - cell.left;
  const int h = cell.bottom - cell.top;
  // A value that names no icon simply fails to draw.
  ::DrawIconEx(dc, cell.left + (w - kStatusIconSize) / 2, cell.top + (h - kStatusIconSize) / 2, icon, kStatusIconSize,
               kStatusIconSize, 0, nullptr, DI_NORMAL);
}

void DrawProgressCell(HDC dc, const RECT& cell, const StatusMarkup& markup, const TrackColours& track) {
  if (markup.total == 0) return;
  const int x = cell.left + 4;
  const int y = cell.top + 2;
  const int barWidth = (cell.right - cell.left) - 8;
  const int barHeight = (cell.bottom - cell.top) - 4;
  FillGradient(dc, kGradientVerticalGlass, x, y, barWidth, barHeight, track.dark, track.light);
  FillGradient(dc, kGradientVerticalGlass, x, y, ProgressFillWidth(barWidth, markup.done, markup.total), barHeight,
               RGB(0, 64, 0), RGB(0, 255, 0));

  // The label goes over the whole cell in the list's font (already selected
  // into the context), black whatever the row's state. The context's text
  // settings are put back for the cells painted after this one.
  const std::wstring label = ProgressLabel(markup.done, markup.total, markup.caption);
  const int previousMode = ::SetBkMode(dc, TRANSPARENT);
  const COLORREF previousColour = ::SetTextColor(dc, RGB(0, 0, 0));
  RECT r = cell;
  ::DrawTextW(dc, label.c_str(), TextLength(label), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  ::SetTextColor(dc, previousColour);
  if (previousMode != 0) ::SetBkMode(dc, previousMode);
}

void DrawStruckOutCell(HDC dc, const RECT& cell, const std::wstring& text) {
  // Made and freed on every paint: such cells are rare and short-lived.
  win::UniqueFont font(::CreateFontW(16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, TRUE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial"));
  const COLORREF previousColour = ::SetTextColor(dc, RGB(204, 204, 204));
  {
    // Drawn in the list's font should the font not be available.
    win::SelectObjectScope selected(dc, font ? static_cast<HGDIOBJ>(font.get()) : nullptr);
    RECT r = cell;
    r.left += 4;
    ::DrawTextW(dc, text.c_str(), TextLength(text), &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  }
  ::SetTextColor(dc, previousColour);
}

void DrawColourCell(HDC dc, const RECT& cell, MarkupColour colour) {
  COLORREF fill = RGB(0, 128, 0);
  if (colour == MarkupColour::kRed) fill = RGB(240, 0, 0);
  if (colour == MarkupColour::kYellow) fill = RGB(240, 240, 0);
  FillGradient(dc, kGradientSolid, cell.left + 4, cell.top + 2, (cell.right - cell.left) - 8,
               (cell.bottom - cell.top) - 4, fill, fill);
}

}  // namespace

void FillGradient(HDC dc, int mode, int x, int y, int w, int h, COLORREF colour1, COLORREF colour2) {
  if (w <= 0 || h <= 0) return;
  const SolidPainter painter(dc);
  switch (mode) {
    case kGradientSolid:
      painter.Fill(x, y, w, h, colour1);
      break;
    case kGradientVertical:
      FillVertical(painter, x, y, w, h, colour1, colour2);
      break;
    case kGradientVerticalMirror: {
      // For an odd height the last row stays as it was.
      const int half = h / 2;
      FillVertical(painter, x, y, w, half, colour1, colour2);
      FillVertical(painter, x, y + half, w, half, colour2, colour1);
      break;
    }
    case kGradientVerticalGlass:
      for (int j = 0; j < h; ++j) painter.Fill(x, y + j, w, 1, GlassColour(colour1, colour2, j, h));
      break;
    case kGradientHorizontalGlass:
      for (int i = 0; i < w; ++i) painter.Fill(x + i, y, 1, h, GlassColour(colour1, colour2, i, w));
      break;
    default:
      break;
  }
}

LRESULT DrawStatusCell(NMLVCUSTOMDRAW& draw, const RECT& cell, std::wstring_view text, bool selected,
                       const TrackColours& track) {
  HDC dc = draw.nmcd.hdc;
  draw.clrTextBk = selected ? ::GetSysColor(COLOR_HIGHLIGHT) : RGB(255, 255, 255);

  const StatusMarkup markup = ParseStatusMarkup(text);
  switch (markup.form) {
    case MarkupForm::kIcon:
      DrawIconCell(dc, cell, markup.iconHandle);
      return CDRF_SKIPDEFAULT;
    case MarkupForm::kProgress:
      DrawProgressCell(dc, cell, markup, track);
      return CDRF_SKIPDEFAULT;
    case MarkupForm::kStruckOut:
      DrawStruckOutCell(dc, cell, markup.text);
      return CDRF_SKIPDEFAULT;
    case MarkupForm::kColour:
      DrawColourCell(dc, cell, markup.colour);
      return CDRF_SKIPDEFAULT;
    case MarkupForm::kPlain:
      break;
  }
  draw.clrText = markup.hasEllipsis ? RGB(0, 128, 0) : RGB(0, 0, 0);
  if (selected) draw.clrText = RGB(255, 255, 255);
  return CDRF_DODEFAULT;
}

}  // namespace kestrel
