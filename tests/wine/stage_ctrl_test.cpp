// The stage indicator drawn into a DIB section: the separator line, the
// title and its white copy, the icon, and a step without an item.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "ui/vant_stage_ctrl.h"
#include "win/handle.h"

namespace {

using kestrel::CVantStageCtrl;

struct Box {
  int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;  // inclusive
  bool empty() const { return right < 0; }
};

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_.reset(::CreateCompatibleDC(nullptr));
    bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<uint32_t*>(bits);
    old_ = ::SelectObject(dc_.get(), bitmap_.get());
  }
  ~Canvas() { ::SelectObject(dc_.get(), old_); }

  HDC dc() const { return dc_.get(); }
  RECT client() const { return RECT{0, 0, width_, height_}; }
  COLORREF At(int x, int y) const {
    ::GdiFlush();
    const uint32_t p = bits_[y * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  void Fill(COLORREF colour) {
    win::UniqueBrush brush(::CreateSolidBrush(colour));
    RECT r = client();
    ::FillRect(dc(), &r, brush.get());
  }
  Box Where(const std::function<bool(COLORREF)>& match, int x0 = 0, int x1 = -1) const {
    Box box;
    if (x1 < 0) x1 = width_;
    for (int y = 0; y < height_; ++y)
      for (int x = x0; x < x1; ++x)
        if (match(At(x, y))) {
          box.left = std::min(box.left, x);
          box.top = std::min(box.top, y);
          box.right = std::max(box.right, x);
          box.bottom = std::max(box.bottom, y);
        }
    return box;
  }

 private:
  int width_, height_;
  win::UniqueMemoryDc dc_;
  win::UniqueBitmap bitmap_;
  uint32_t* bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

bool IsRed(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 60 && GetBValue(c) < 60; }
bool IsDark(COLORREF c) { return GetRValue(c) < 100 && GetGValue(c) < 100 && GetBValue(c) < 100; }
bool IsWhite(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200; }

// A solid red, fully opaque 32x32 icon.
win::UniqueIcon RedIcon() {
  std::vector<uint32_t> colour(32 * 32, 0x00FF0000);
  std::vector<uint8_t> mask(32 * 32 / 8, 0);
  win::UniqueBitmap colourBitmap(::CreateBitmap(32, 32, 1, 32, colour.data()));
  win::UniqueBitmap maskBitmap(::CreateBitmap(32, 32, 1, 1, mask.data()));
  ICONINFO info = {TRUE, 0, 0, maskBitmap.get(), colourBitmap.get()};
  return win::UniqueIcon(::CreateIconIndirect(&info));
}

class StageCtrlTest : public testing::Test {
 protected:
  void SetUp() override {
    stage_.SetImageList(kestrel::UniqueImageList(::ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 10, 10)));
    win::UniqueIcon icon = RedIcon();
    ASSERT_TRUE(icon);
    const int image = ::ImageList_AddIcon(stage_.imageList(), icon.get());
    ASSERT_EQ(image, 0);
    stage_.AppendStep(L"Welcome", image);
    stage_.AppendStep(L"WWWW", image);
  }
  CVantStageCtrl stage_;
};

TEST_F(StageCtrlTest, BackgroundIsWhiteWithTheLineFourPixelsAboveTheBottom) {
  for (int height : {56, 57, 20}) {
    Canvas canvas(300, height);
    canvas.Fill(RGB(10, 20, 30));
    stage_.DrawBackground(canvas.dc(), canvas.client());
    for (int y = 0; y < height; ++y)
      for (int x : {0, 150, 299}) {
        const COLORREF expected = y == height - 4 ? RGB(208, 208, 208) : RGB(255, 255, 255);
        ASSERT_EQ(canvas.At(x, y), expected) << "height " << height << " at " << x << "," << y;
      }
  }
}

TEST_F(StageCtrlTest, IconAtTenCentredVertically) {
  for (int height : {56, 57, 41}) {
    Canvas canvas(300, height);
    stage_.DrawBackground(canvas.dc(), canvas.client());
    stage_.DrawContent(canvas.dc(), canvas.client());
    const Box red = canvas.Where(IsRed);
    ASSERT_FALSE(red.empty()) << height;
    EXPECT_EQ(red.left, 10) << height;
    EXPECT_EQ(red.right, 41) << height;
    EXPECT_EQ(red.top, (height - 32) / 2) << height;
    EXPECT_EQ(red.bottom, (height - 32) / 2 + 31) << height;
  }
}

TEST_F(StageCtrlTest, BlackTitleAtItsPlaceOverAWhiteCopyOnePixelDownRight) {
  for (int step : {0, 1}) {
    stage_.SetCurrentStep(step);
    EXPECT_EQ(stage_.CurrentTitle(), step == 0 ? L"Welcome" : L"WWWW");
    Canvas canvas(300, 56);
    // A grey ground makes the white copy visible.
    canvas.Fill(RGB(128, 128, 128));
    stage_.DrawContent(canvas.dc(), canvas.client());
    const Box dark = canvas.Where(IsDark, 50);
    const Box white = canvas.Where(IsWhite, 50);
    ASSERT_FALSE(dark.empty());
    ASSERT_FALSE(white.empty());
    // The text cell's top-left is (59, 23): glyphs start at or a little
    // after it and stay within the 16-pixel line.
    EXPECT_GE(dark.left, 59);
    EXPECT_LE(dark.left, 63);
    EXPECT_GE(dark.top, 23);
    EXPECT_LE(dark.bottom, 23 + 16);
    // The white copy shows only to the right of and below the black text.
    EXPECT_GT(white.left, dark.left);
    EXPECT_GT(white.top, dark.top);
    EXPECT_GE(white.right - dark.right, 0);
    EXPECT_LE(white.right - dark.right, 2);
    EXPECT_GE(white.bottom - dark.bottom, 0);
    EXPECT_LE(white.bottom - dark.bottom, 2);
    // Nothing of the title left of its place (the icon is red).
    EXPECT_TRUE(canvas.Where(IsDark, 0, 59).empty());
  }
}

TEST_F(StageCtrlTest, StepWithoutAnItemDrawsNoTitleAndTheFirstImage) {
  for (int step : {2, -1}) {
    stage_.SetCurrentStep(step);
    EXPECT_EQ(stage_.CurrentTitle(), L"");
    Canvas canvas(300, 56);
    stage_.DrawBackground(canvas.dc(), canvas.client());
    stage_.DrawContent(canvas.dc(), canvas.client());
    EXPECT_TRUE(canvas.Where(IsDark).empty()) << step;
    const Box red = canvas.Where(IsRed);
    EXPECT_EQ(red.left, 10) << step;
    EXPECT_EQ(red.top, 12) << step;
  }
  // Without any image nothing but the background is drawn.
  CVantStageCtrl bare;
  Canvas canvas(300, 56);
  bare.DrawBackground(canvas.dc(), canvas.client());
  bare.DrawContent(canvas.dc(), canvas.client());
  EXPECT_TRUE(canvas.Where([](COLORREF c) { return c != RGB(255, 255, 255) && c != RGB(208, 208, 208); }).empty());
}

}  // namespace
