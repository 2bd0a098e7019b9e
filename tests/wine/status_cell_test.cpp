// The status-cell painter and the gradient fills, drawn into DIB sections and
// checked pixel by pixel.
#include "ui/status_cell.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "support/canvas.h"
#include "win/handle.h"

namespace {

using kestrel::DrawStatusCell;
using kestrel::FillGradient;
using kt::Canvas;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kUntouched = RGB(0xAB, 0xCD, 0xEF);

// Green of each row of an 18-pixel glass bar from RGB(0,64,0) to RGB(0,255,0).
constexpr int kGlassGreen18[18] = {191, 201, 212, 223, 233, 244, 255, 245, 234,
                                   224, 213, 202, 192, 181, 171, 160, 149, 139};

TEST(FillGradient, VerticalGlassEighteenRows) {
  Canvas canvas(30, 30);
  ASSERT_TRUE(canvas.ok());
  FillGradient(canvas.dc(), kestrel::kGradientVerticalGlass, 5, 4, 12, 18, RGB(0, 64, 0), RGB(0, 255, 0));
  for (int j = 0; j < 18; ++j) {
    for (int x = 5; x < 17; ++x) {
      ASSERT_EQ(canvas.At(x, 4 + j), RGB(0, kGlassGreen18[j], 0)) << "row " << j << " x " << x;
    }
  }
  EXPECT_EQ(canvas.FirstOutside({5, 4, 17, 22}, kWhite), "");
}

TEST(FillGradient, HorizontalGlassIsTheSameAlongX) {
  Canvas canvas(30, 10);
  ASSERT_TRUE(canvas.ok());
  FillGradient(canvas.dc(), kestrel::kGradientHorizontalGlass, 3, 2, 18, 5, RGB(0, 64, 0), RGB(0, 255, 0));
  for (int i = 0; i < 18; ++i) {
    for (int y = 2; y < 7; ++y) {
      ASSERT_EQ(canvas.At(3 + i, y), RGB(0, kGlassGreen18[i], 0)) << "column " << i << " y " << y;
    }
  }
  EXPECT_EQ(canvas.FirstOutside({3, 2, 21, 7}, kWhite), "");
}

struct Probe {
  int x, y;
  COLORREF colour;
};

TEST(FillGradient, ModesSpotChecks) {
  struct Case {
    const char* name;
    int mode, x, y, w, h;
    COLORREF colour1, colour2;
    RECT painted;  // nothing outside it changes
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"solid ignores colour2",
       0, 2, 3, 5, 4, RGB(240, 0, 0), RGB(0, 0, 255), {2, 3, 7, 7},
       {{2, 3, RGB(240, 0, 0)}, {6, 6, RGB(240, 0, 0)}, {4, 5, RGB(240, 0, 0)}}},
      // 100 - 100/3 is 67 when the division truncates toward zero (66 if it
      // rounded down).
      {"vertical truncates toward zero",
       1, 1, 1, 4, 3, RGB(100, 0, 30), RGB(0, 100, 0), {1, 1, 5, 4},
       {{1, 1, RGB(100, 0, 30)}, {4, 1, RGB(100, 0, 30)}, {2, 2, RGB(67, 33, 20)}, {3, 3, RGB(34, 66, 10)}}},
      {"vertical mirror, odd height leaves the last row",
       4, 0, 0, 3, 7, RGB(0, 0, 0), RGB(90, 90, 90), {0, 0, 3, 6},
       {{0, 0, RGB(0, 0, 0)},
        {1, 1, RGB(30, 30, 30)},
        {2, 2, RGB(60, 60, 60)},
        {0, 3, RGB(90, 90, 90)},
        {1, 4, RGB(60, 60, 60)},
        {2, 5, RGB(30, 30, 30)},
        {0, 6, kWhite}}},
      {"horizontal glass paints whole columns",
       8, 0, 0, 3, 4, RGB(0, 0, 0), RGB(0, 90, 0), {0, 0, 3, 4},
       // w 3: u = 2 + i mod 3 = 2, 0, 1; 2 is not below 2, so column 0 is
       // 0 + 90*2/3; columns 1, 2 run down from colour2.
       {{0, 0, RGB(0, 60, 0)}, {0, 3, RGB(0, 60, 0)}, {1, 2, RGB(0, 90, 0)}, {2, 1, RGB(0, 60, 0)}}},
      {"zero height", 7, 2, 2, 10, 0, RGB(0, 0, 0), RGB(0, 0, 0), {0, 0, 0, 0}, {}},
      {"negative height", 7, 2, 8, 10, -4, RGB(0, 0, 0), RGB(0, 0, 0), {0, 0, 0, 0}, {}},
      {"negative width, solid", 0, 8, 2, -5, 4, RGB(0, 0, 0), RGB(0, 0, 0), {0, 0, 0, 0}, {}},
      {"negative width, glass", 7, 8, 2, -5, 4, RGB(0, 0, 0), RGB(0, 0, 0), {0, 0, 0, 0}, {}},
      {"negative width, vertical", 1, 8, 2, -5, 4, RGB(0, 0, 0), RGB(0, 0, 0), {0, 0, 0, 0}, {}},
      {"zero width, horizontal glass", 8, 2, 2, 0, 4, RGB(0, 0, 0), RGB(0, 0, 0), {0, 0, 0, 0}, {}},
      {"unknown mode", 5, 2, 2, 4, 4, RGB(0, 0, 0), RGB(0, 0, 0), {0, 0, 0, 0}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Canvas canvas(12, 12);
    ASSERT_TRUE(canvas.ok());
    FillGradient(canvas.dc(), c.mode, c.x, c.y, c.w, c.h, c.colour1, c.colour2);
    for (const Probe& p : c.probes) {
      EXPECT_EQ(Canvas::Hex(canvas.At(p.x, p.y)), Canvas::Hex(p.colour)) << p.x << "," << p.y;
    }
    EXPECT_EQ(canvas.FirstOutside(c.painted, kWhite), "");
  }
}

// One cell on a white canvas with room around it.
class StatusCell : public ::testing::Test {
 protected:
  static constexpr int kCanvasWidth = 270;
  static constexpr int kCanvasHeight = 80;

  LRESULT Draw(const RECT& cell, const std::wstring& text, bool selected = false) {
    draw_ = {};
    draw_.nmcd.hdc = canvas_.dc();
    draw_.clrText = kUntouched;
    draw_.clrTextBk = kUntouched;
    return DrawStatusCell(draw_, cell, text, selected);
  }

  // What a progress cell must look like, drawn step by step into another
  // canvas.
  void DrawExpectedProgress(Canvas& expected, const RECT& cell, int fillWidth, const std::wstring& label) {
    const int barWidth = cell.right - cell.left - 8;
    const int barHeight = cell.bottom - cell.top - 4;
    FillGradient(expected.dc(), 7, cell.left + 4, cell.top + 2, barWidth, barHeight, RGB(161, 161, 161),
                 RGB(227, 227, 227));
    FillGradient(expected.dc(), 7, cell.left + 4, cell.top + 2, fillWidth, barHeight, RGB(0, 64, 0), RGB(0, 255, 0));
    ::SetBkMode(expected.dc(), TRANSPARENT);
    ::SetTextColor(expected.dc(), RGB(0, 0, 0));
    RECT r = cell;
    ::DrawTextW(expected.dc(), label.c_str(), static_cast<int>(label.size()), &r,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  }

  Canvas canvas_{kCanvasWidth, kCanvasHeight};
  NMLVCUSTOMDRAW draw_{};
};

TEST_F(StatusCell, ProgressBars) {
  struct Case {
    const wchar_t* text;
    RECT cell;
    int fillWidth;  // -1: no bar at all
    const wchar_t* label;
  };
  // 240 x 60 cells: the bar is 232 x 56 at (14, 7).
  const RECT big{10, 5, 250, 65};
  const Case cases[] = {
      {L"#Progress:50 100", big, 116, L"50.00%"},
      {L"#progress:50 100", big, 116, L"50.00%"},
      {L"#Progress:45 200@@Installing", big, 52, L"22.50% (Installing)"},
      {L"#Progress:0 100@@x", big, 0, L" 0.00% (x)"},
      {L"#Progress:150 100", big, 232, L"100.00%"},
      {L"#Progress:-1 100", big, 232, L"100.00%"},
      {L"#Progress:50 100@@", big, 116, L"50.00% ()"},
      // Too low for a bar: the label only.
      {L"#Progress:50 100@@Low", {10, 5, 250, 9}, -1, L"50.00% (Low)"},
      {L"#Progress:50 100@@Lower", {10, 5, 250, 7}, -1, L"50.00% (Lower)"},
      // Too narrow for a bar; a negative bar width must not paint backwards.
      {L"#Progress:50 100", {10, 5, 18, 65}, -1, L"50.00%"},
      {L"#Progress:100 100", {10, 5, 14, 65}, -1, L"100.00%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    canvas_.Clear(kWhite);
    EXPECT_EQ(Draw(c.cell, c.text), CDRF_SKIPDEFAULT);
    EXPECT_EQ(draw_.clrText, kUntouched) << "the label colour is the painter's own";

    Canvas expected(kCanvasWidth, kCanvasHeight);
    ASSERT_TRUE(expected.ok());
    DrawExpectedProgress(expected, c.cell, c.fillWidth < 0 ? 0 : c.fillWidth, c.label);
    EXPECT_EQ(canvas_.FirstDifference(expected), "");

    if (c.fillWidth >= 0) {
      // The bar's top row lies above the label: the fill ends exactly at
      // fillWidth and the track runs to the bar's end.
      const int x = c.cell.left + 4, y = c.cell.top + 2, end = c.cell.right - 4;
      if (c.fillWidth > 0) {
        EXPECT_EQ(GetRValue(canvas_.At(x, y)), 0);
        EXPECT_EQ(canvas_.At(x + c.fillWidth - 1, y), canvas_.At(x, y));
      }
      if (c.fillWidth < end - x) {
        EXPECT_EQ(canvas_.At(x + c.fillWidth, y), canvas_.At(end - 1, y));
        EXPECT_NE(GetRValue(canvas_.At(end - 1, y)), 0);
      }
      EXPECT_EQ(canvas_.At(end, y), kWhite);
      EXPECT_EQ(canvas_.At(x - 1, y), kWhite);
    }
    EXPECT_EQ(canvas_.FirstOutside(c.cell, kWhite), "");

    int black = 0;
    for (int y = c.cell.top; y < c.cell.bottom; ++y) {
      for (int x = c.cell.left; x < c.cell.right; ++x) black += canvas_.At(x, y) == RGB(0, 0, 0);
    }
    EXPECT_GT(black, 0) << "the label is drawn";
  }
}

TEST_F(StatusCell, ProgressWithoutTotalDrawsNothing) {
  for (const wchar_t* text : {L"#Progress:5", L"#Progress:5 0", L"#Progress:5 0@@Installing", L"#Progress:x 5",
                              L"#Progress:"}) {
    SCOPED_TRACE(testing::Message() << "case " << std::string(text, text + wcslen(text)));
    canvas_.Clear(kWhite);
    EXPECT_EQ(Draw({10, 5, 250, 65}, text), CDRF_SKIPDEFAULT);
    EXPECT_EQ(canvas_.FirstOutside({0, 0, 0, 0}, kWhite), "");
  }
}

// A 16x16 icon that is red all over.
win::UniqueIcon MakeRedIcon() {
  Canvas colour(16, 16);
  colour.Clear(RGB(255, 0, 0));
  win::UniqueBitmap mask(::CreateBitmap(16, 16, 1, 1, nullptr));
  {
    win::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    win::SelectObjectScope selected(dc.get(), mask.get());
    ::PatBlt(dc.get(), 0, 0, 16, 16, BLACKNESS);  // opaque everywhere
  }
  // The colour bitmap must not be selected into a context while the icon is made.
  win::UniqueBitmap colourBits(::CreateBitmap(16, 16, 1, 32, nullptr));
  {
    win::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    win::SelectObjectScope selected(dc.get(), colourBits.get());
    ::BitBlt(dc.get(), 0, 0, 16, 16, colour.dc(), 0, 0, SRCCOPY);
  }
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = mask.get();
  info.hbmColor = colourBits.get();
  return win::UniqueIcon(::CreateIconIndirect(&info));
}

TEST_F(StatusCell, Icons) {
  win::UniqueIcon icon = MakeRedIcon();
  ASSERT_TRUE(icon);
  const std::wstring handle = std::to_wstring(reinterpret_cast<intptr_t>(icon.get()));

  struct Case {
    std::wstring text;
    RECT cell;
    int x, y;  // top-left corner of the icon
  };
  const Case cases[] = {
      {L"#ICON:" + handle + L"#@@Done", {10, 5, 250, 65}, 122, 27},
      {L"#icon:" + handle + L"#@@Failed", {10, 5, 51, 30}, 22, 9},
      // (9 - 16) / 2 is -3, not -4: the icon hangs 3 pixels over the left.
      {L"#ICON: " + handle, {20, 20, 29, 29}, 17, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    canvas_.Clear(kWhite);
    EXPECT_EQ(Draw(c.cell, c.text), CDRF_SKIPDEFAULT);
    EXPECT_EQ(canvas_.At(c.x, c.y), RGB(255, 0, 0));
    EXPECT_EQ(canvas_.At(c.x + 15, c.y + 15), RGB(255, 0, 0));
    // Only the icon: the words after "@@" are never drawn.
    EXPECT_EQ(canvas_.FirstOutside({c.x, c.y, c.x + 16, c.y + 16}, kWhite), "");
  }

  for (const wchar_t* text : {L"#ICON:0#@@Done", L"#ICON:#@@Done", L"#ICON:", L"#ICON:12345#@@Done",
                              L"#ICON:-7", L"#ICON:99999999999999999999"}) {
    SCOPED_TRACE(testing::Message() << "case " << std::string(text, text + wcslen(text)));
    canvas_.Clear(kWhite);
    EXPECT_EQ(Draw({10, 5, 250, 65}, text), CDRF_SKIPDEFAULT);
    EXPECT_EQ(canvas_.FirstOutside({0, 0, 0, 0}, kWhite), "");
  }
}

TEST_F(StatusCell, ColourBoxes) {
  struct Case {
    const wchar_t* text;
    COLORREF colour;
  };
  const Case cases[] = {
      {L"#COLOR:GREEN", RGB(0, 128, 0)},
      {L"#COLOR:green", RGB(0, 128, 0)},
      {L"#COLOR:RED", RGB(240, 0, 0)},
      {L"#Color:Yellow", RGB(240, 240, 0)},
  };
  const RECT cell{10, 5, 250, 65};
  const RECT box{14, 7, 246, 63};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    canvas_.Clear(kWhite);
    EXPECT_EQ(Draw(cell, c.text), CDRF_SKIPDEFAULT);
    EXPECT_EQ(canvas_.At(box.left, box.top), c.colour);
    EXPECT_EQ(canvas_.At(box.right - 1, box.bottom - 1), c.colour);
    EXPECT_EQ(canvas_.At(130, 35), c.colour);
    EXPECT_EQ(canvas_.FirstOutside(box, kWhite), "");
  }
}

TEST_F(StatusCell, StruckOutText) {
  const RECT cell{10, 5, 250, 29};
  EXPECT_EQ(Draw(cell, L"##Skipped"), CDRF_SKIPDEFAULT);
  EXPECT_EQ(draw_.clrText, kUntouched);

  // The strike line is a solid run of the grey from the text's origin, 4
  // pixels into the cell; nothing is drawn left of it.
  const COLORREF grey = RGB(204, 204, 204);
  int longestRun = 0, runStart = -1;
  for (int y = cell.top; y < cell.bottom; ++y) {
    int run = 0;
    for (int x = cell.left; x < cell.right; ++x) {
      run = canvas_.At(x, y) == grey ? run + 1 : 0;
      if (run > longestRun) {
        longestRun = run;
        runStart = x - run + 1;
      }
    }
  }
  EXPECT_GE(longestRun, 20);
  EXPECT_EQ(runStart, cell.left + 4);
  EXPECT_EQ(canvas_.FirstOutside({cell.left + 4, cell.top, cell.right, cell.bottom}, kWhite), "");

  // A text far too long for its cell ends inside the cell.
  canvas_.Clear(kWhite);
  const RECT narrow{10, 5, 90, 29};
  EXPECT_EQ(Draw(narrow, L"##" + std::wstring(500, L'W')), CDRF_SKIPDEFAULT);
  EXPECT_EQ(canvas_.FirstOutside({narrow.left + 4, narrow.top, narrow.right, narrow.bottom}, kWhite), "");
  EXPECT_NE(canvas_.FirstOutside({0, 0, 0, 0}, kWhite), "") << "something was drawn";
}

TEST_F(StatusCell, PlainTextColours) {
  const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
  struct Case {
    const wchar_t* text;
    bool selected;
    COLORREF text_colour;
  };
  const Case cases[] = {
      {L"Done", false, RGB(0, 0, 0)},
      {L"", false, RGB(0, 0, 0)},
      {L"Processing...", false, RGB(0, 128, 0)},
      {L"Extracting files... please wait", false, RGB(0, 128, 0)},
      {L"Wait..", false, RGB(0, 0, 0)},
      {L"#COLOR:BLUE", false, RGB(0, 0, 0)},
      {L"#ICON 1234", false, RGB(0, 0, 0)},
      {L"Processing...", true, RGB(255, 255, 255)},
      {L"Failed to open service", true, RGB(255, 255, 255)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    canvas_.Clear(kWhite);
    EXPECT_EQ(Draw({10, 5, 250, 29}, c.text, c.selected), CDRF_DODEFAULT);
    EXPECT_EQ(Canvas::Hex(draw_.clrText), Canvas::Hex(c.text_colour));
    EXPECT_EQ(Canvas::Hex(draw_.clrTextBk), Canvas::Hex(c.selected ? highlight : kWhite));
    EXPECT_EQ(canvas_.FirstOutside({0, 0, 0, 0}, kWhite), "") << "the list draws plain text itself";
  }
}

}  // namespace
