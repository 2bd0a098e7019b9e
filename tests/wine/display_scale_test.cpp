// The real wizard on a display at the scale under test: the stage strip is
// as high as the platform's header, which grows with the scale, and only
// the white sheet lies between the strip and the page. Run by
// tests/wine/at-display-scale.sh, in a prefix of its own whose LogPixels is
// KESTREL_TEST_DPI; the picture of the window goes to KESTREL_TEST_SHOT
// (a BMP) when that is set.
#include <windows.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "res/resource_ids.h"
#include "support/canvas.h"
#include "support/test_support.h"
#include "ui/vant_stage_ctrl.h"
#include "win/handle.h"

namespace {

const std::wstring kWizardCaption = L"Marrowfield Installation";
// The platform's thin line under its wizard header (a control of the sheet).
constexpr int kPlatformHeaderLine = 0x3027;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kSeparator = RGB(208, 208, 208);

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

RECT InClient(HWND window, HWND parent) {
  RECT r{};
  ::GetWindowRect(window, &r);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The client area of a window as the display shows it.
void Capture(HWND window, kt::Canvas& canvas) {
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  const win::WindowDcScope screen(nullptr);
  ::BitBlt(canvas.dc(), 0, 0, canvas.width(), canvas.height(), screen.get(), origin.x, origin.y, SRCCOPY);
}

TEST(WizardAtDisplayScale, StageStripCoversTheHeader) {
  const int dpi = _wtoi(Environment(L"KESTREL_TEST_DPI").c_str());
  ASSERT_GT(dpi, 0) << "run through tests/wine/at-display-scale.sh";
  // Only a DPI-aware process sees the display's own pixels, and the
  // installer is one.
  ::SetProcessDPIAware();
  {
    const win::WindowDcScope screen(nullptr);
    ASSERT_EQ(::GetDeviceCaps(screen.get(), LOGPIXELSY), dpi) << "the prefix's LogPixels did not take effect";
  }

  kt::InstallerKeyScope registry;
  const std::wstring folder = kt::ScratchFolder(L"display-scale");
  const std::wstring exe = kt::CopyInstaller(folder);
  ASSERT_FALSE(exe.empty());
  kt::Process process = kt::Launch(exe, L"/runas");
  HWND wizard = kt::WaitForWindow(kWizardCaption, process.pid());
  ASSERT_NE(wizard, nullptr);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Welcome"));

  HWND stage = kt::FindControl(wizard, IDC_STAGE);
  HWND line = ::GetDlgItem(wizard, kPlatformHeaderLine);
  HWND page = kt::CurrentPage(wizard);
  ASSERT_NE(stage, nullptr);
  ASSERT_NE(line, nullptr);
  ASSERT_NE(page, nullptr);
  RECT client{};
  ::GetClientRect(wizard, &client);
  const RECT stageRect = InClient(stage, wizard);
  const RECT lineRect = InClient(line, wizard);
  const RECT pageRect = InClient(page, wizard);
  const int header = lineRect.bottom;
  EXPECT_FALSE(kt::IsShown(line));
  EXPECT_EQ(stageRect.left, 0);
  EXPECT_EQ(stageRect.top, 0);
  EXPECT_EQ(stageRect.right, client.right);
  EXPECT_EQ(stageRect.bottom, header);
  ASSERT_LE(header, pageRect.top);

  // Painted when two pictures a moment apart are the same and the icon
  // shows.
  kt::Canvas shot(client.right, client.bottom), previous(client.right, client.bottom);
  ASSERT_TRUE(shot.ok() && previous.ok());
  auto iconShows = [&] {
    for (int y = 0; y < header; ++y)
      for (int x = 10; x < 10 + kestrel::CVantStageCtrl::iconSize; ++x)
        if (shot.At(x, y) != kWhite) return true;
    return false;
  };
  Capture(wizard, previous);
  ASSERT_TRUE(kt::WaitUntil([&] {
    ::Sleep(200);
    Capture(wizard, shot);
    const bool settled = iconShows() && shot.FirstDifference(previous).empty();
    Capture(wizard, previous);
    return settled;
  }));
  const std::wstring shotPath = Environment(L"KESTREL_TEST_SHOT");
  if (!shotPath.empty()) {
    EXPECT_TRUE(shot.SaveBmp(shotPath)) << "picture not saved";
  }

  // The strip's separator runs across the window four pixels above the
  // header's bottom, and no other line shows in the strip: the platform's
  // own line is gone and nothing of its header is left below the strip.
  const int separator = header - kestrel::CVantStageCtrl::bottomLineInset;
  for (int x = 0; x < client.right; ++x) {
    ASSERT_EQ(kt::Canvas::Hex(shot.At(x, separator)), kt::Canvas::Hex(kSeparator)) << "separator at x " << x;
  }
  for (int y = 0; y < header; ++y) {
    const COLORREF expected = y == separator ? kSeparator : kWhite;
    ASSERT_EQ(kt::Canvas::Hex(shot.At(client.right - 3, y)), kt::Canvas::Hex(expected)) << "strip line " << y;
  }
  // Between the strip and the page: the white sheet, nothing else.
  for (int y = header; y < pageRect.top; ++y) {
    for (int x = 0; x < client.right; ++x) {
      ASSERT_EQ(kt::Canvas::Hex(shot.At(x, y)), kt::Canvas::Hex(kWhite)) << "between strip and page at " << x << "," << y;
    }
  }

  // The icon is centred in the strip's height.
  int iconTop = INT_MAX, iconBottom = -1;
  for (int y = 0; y < separator; ++y)
    for (int x = 10; x < 10 + kestrel::CVantStageCtrl::iconSize; ++x)
      if (shot.At(x, y) != kWhite) {
        iconTop = std::min(iconTop, y);
        iconBottom = std::max(iconBottom, y);
      }
  const int iconSlot = (header - kestrel::CVantStageCtrl::iconSize) / 2;
  EXPECT_GE(iconTop, iconSlot);
  EXPECT_LT(iconBottom, iconSlot + kestrel::CVantStageCtrl::iconSize);

  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(process.Wait(&code));
  EXPECT_EQ(code, 1602u);
}

}  // namespace
