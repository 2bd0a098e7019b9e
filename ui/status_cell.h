// Painting of task list cells from their status text (progress markup), and
// the rectangle fills shared by the wizard's custom-drawn controls.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string_view>

namespace kestrel {

// FillGradient modes.
enum GradientMode : int {
  kGradientSolid = 0,
  kGradientVertical = 1,
  kGradientVerticalMirror = 4,
  kGradientVerticalGlass = 7,
  kGradientHorizontalGlass = 8,
};

// Fills (x, y, w, h) with solid one-pixel lines (or one solid rectangle for
// kGradientSolid). A width or height of 0 or less paints nothing; unknown
// modes paint nothing.
void FillGradient(HDC dc, int mode, int x, int y, int w, int h, COLORREF colour1, COLORREF colour2);

// Icon cells draw their icon this many pixels square, centred in the cell.
constexpr int kStatusIconSize = 16;

// The two colours of a progress bar's track.
struct TrackColours {
  COLORREF light = RGB(227, 227, 227);
  COLORREF dark = RGB(161, 161, 161);
};

// Paints one cell from its text, for the list's per-cell custom-draw stage.
// cell is the cell's bounds, text its current text, selected whether its row
// is selected. Draws into draw.nmcd.hdc and sets draw.clrTextBk (always) and
// draw.clrText (plain text). Returns CDRF_DODEFAULT for plain text, which the
// list then draws itself with those colours, and CDRF_SKIPDEFAULT for the
// directives, which are drawn here.
LRESULT DrawStatusCell(NMLVCUSTOMDRAW& draw, const RECT& cell, std::wstring_view text, bool selected,
                       const TrackColours& track = {});

}  // namespace kestrel
