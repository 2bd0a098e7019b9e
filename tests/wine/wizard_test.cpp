// The wizard of the real executable: its pages in turn as the stage
// indicator shows them, the buttons of each page, the licence gate, the
// upgrade run and Cancel.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include "res/resource_ids.h"
#include "support/test_support.h"

namespace {

const std::wstring kWizardCaption = L"Marrowfield Installation";
// The platform's thin line under its wizard header (a control of the sheet).
constexpr int kPlatformHeaderLine = 0x3027;

struct Buttons {
  bool backEnabled;
  bool nextShown;
  bool nextEnabled;
  bool finishShown;
  bool finishEnabled;
  bool operator==(const Buttons&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Buttons& b) {
  return out << "back " << b.backEnabled << " next " << b.nextShown << "/" << b.nextEnabled << " finish "
             << b.finishShown << "/" << b.finishEnabled;
}

class WizardTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = kt::ScratchFolder(L"wizard");
    exe_ = kt::CopyInstaller(folder_, L"KestrelWizard.exe");
    ASSERT_FALSE(exe_.empty());
    kt::SetWineVersionFor(L"KestrelWizard.exe", L"win10");
  }
  void TearDown() override {
    kt::ClearWineVersionFor(L"KestrelWizard.exe");
    kt::RemoveTree(folder_);
  }

  HWND StartWizard() {
    process_ = kt::Launch(exe_, L"/runas");
    return kt::WaitForWindow(kWizardCaption, process_.pid());
  }

  static Buttons ButtonsOf(HWND wizard) {
    HWND next = kt::FindControl(wizard, ID_WIZNEXT);
    HWND finish = kt::FindControl(wizard, ID_WIZFINISH);
    return Buttons{kt::IsEnabled(kt::FindControl(wizard, ID_WIZBACK)), kt::IsShown(next), kt::IsEnabled(next),
                   kt::IsShown(finish), kt::IsEnabled(finish)};
  }

  // Waits for the page's buttons; the page posts them when it activates.
  static void ExpectButtons(HWND wizard, const Buttons& expected) {
    EXPECT_TRUE(kt::WaitUntil([&] { return ButtonsOf(wizard) == expected; }))
        << "on " << testing::PrintToString(kt::StageTitle(wizard)) << ": " << ButtonsOf(wizard);
  }

  // Presses Next on the licence page without "I Agree": the empty message
  // appears, and after OK the page is still there.
  void ExpectLicenceGate(HWND wizard) {
    kt::PressButton(wizard, ID_WIZNEXT);
    HWND box = kt::WaitForMessageBox(L"KestrelWizard", process_.pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(kt::MessageBoxText(box), L"");
    EXPECT_EQ(kt::StageTitle(wizard), L"License Agreement");
    kt::PressButton(box, IDOK);
    ASSERT_TRUE(kt::WaitUntil([&] { return !::IsWindow(box); }));
    EXPECT_EQ(kt::StageTitle(wizard), L"License Agreement");
  }

  kt::InstallerKeyScope registry_;
  std::wstring folder_, exe_;
  kt::Process process_;
};

const Buttons kOnlyNext{false, true, true, false, false};
const Buttons kBackAndNext{true, true, true, false, false};
const Buttons kBackAndFinish{true, false, false, true, true};

TEST_F(WizardTest, InstallRunWalksThePagesForwardAndBack) {
  HWND wizard = StartWizard();
  ASSERT_NE(wizard, nullptr);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Welcome"));
  ExpectButtons(wizard, kOnlyNext);
  // Back on the first page goes nowhere.
  kt::PressButton(wizard, ID_WIZBACK);

  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"License Agreement"));
  ExpectButtons(wizard, kBackAndNext);
  HWND licence = kt::CurrentPage(wizard);
  HWND agree = kt::FindControl(licence, IDC_EULA_AGREE);
  ASSERT_NE(agree, nullptr);
  EXPECT_EQ(kt::WindowText(agree), L"I Agree");
  EXPECT_EQ(kt::WindowClass(kt::FindControl(licence, IDC_EULA_TEXT)), L"RichEdit20W");
  EXPECT_NE(kt::WindowText(kt::FindControl(licence, IDC_EULA_TEXT)), L"EULA not found");

  // Back returns to the welcome page, and Next comes back.
  kt::PressButton(wizard, ID_WIZBACK);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Welcome"));
  ExpectButtons(wizard, kOnlyNext);
  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"License Agreement"));
  ExpectButtons(wizard, kBackAndNext);

  ExpectLicenceGate(wizard);
  kt::SetChecked(agree, true);
  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Choose Installation Type"));
  ExpectButtons(wizard, kBackAndNext);

  // Unticking after going back blocks Next again.
  kt::PressButton(wizard, ID_WIZBACK);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"License Agreement"));
  ExpectButtons(wizard, kBackAndNext);
  kt::SetChecked(agree, false);
  ExpectLicenceGate(wizard);
  kt::SetChecked(agree, true);
  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Choose Installation Type"));

  kt::PressButton(wizard, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Install now"));
  ExpectButtons(wizard, kBackAndFinish);
  EXPECT_EQ(kt::WindowText(kt::FindControl(wizard, ID_WIZFINISH)), L"Install");
  // Next on the last page goes nowhere, and every page kept the caption.
  kt::PressButton(wizard, ID_WIZNEXT);
  EXPECT_EQ(kt::WindowText(wizard), kWizardCaption);

  kt::PressButton(wizard, ID_WIZBACK);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Choose Installation Type"));
  ExpectButtons(wizard, kBackAndNext);
  EXPECT_EQ(kt::WindowText(wizard), kWizardCaption);

  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(process_.Wait(&code));
  EXPECT_EQ(code, 1602u);
}

TEST_F(WizardTest, SheetLooksAndStageGeometry) {
  HWND wizard = StartWizard();
  ASSERT_NE(wizard, nullptr);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Welcome"));
  // The system adds the window edge to every captioned window.
  EXPECT_EQ(::GetWindowLongPtrW(wizard, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, WS_EX_APPWINDOW);
  EXPECT_FALSE(kt::IsShown(kt::FindControl(wizard, IDC_HELP_BUTTON)));

  // The stage spans the client area's top; the page lies below it, and no
  // thin header line of the platform shows above the page.
  HWND stage = kt::FindControl(wizard, IDC_STAGE);
  ASSERT_NE(stage, nullptr);
  EXPECT_EQ(::GetParent(stage), wizard);
  RECT client, stageRect, pageRect;
  ::GetClientRect(wizard, &client);
  auto inClient = [&](HWND w, RECT* r) {
    ::GetWindowRect(w, r);
    ::MapWindowPoints(nullptr, wizard, reinterpret_cast<POINT*>(r), 2);
  };
  inClient(stage, &stageRect);
  EXPECT_EQ(stageRect.left, 0);
  EXPECT_EQ(stageRect.top, 0);
  EXPECT_EQ(stageRect.right, client.right);
  // The strip is as high as the platform's header, down to its line.
  HWND headerLine = ::GetDlgItem(wizard, kPlatformHeaderLine);
  ASSERT_NE(headerLine, nullptr);
  RECT lineRect;
  inClient(headerLine, &lineRect);
  EXPECT_EQ(stageRect.bottom, lineRect.bottom);
  EXPECT_TRUE(kt::IsShown(stage));
  for (const wchar_t* next : {L"License Agreement", L"Choose Installation Type"}) {
    inClient(kt::CurrentPage(wizard), &pageRect);
    EXPECT_GE(pageRect.top, stageRect.bottom);
    for (HWND child = ::GetWindow(wizard, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
      RECT r;
      inClient(child, &r);
      if (child != stage && ::IsWindowVisible(child) && r.top < pageRect.top)
        ADD_FAILURE() << "visible above the page: " << ::GetDlgCtrlID(child) << " on " << testing::PrintToString(kt::StageTitle(wizard));
    }
    if (std::wstring(next) == L"Choose Installation Type") kt::SetChecked(kt::FindControl(kt::CurrentPage(wizard), IDC_EULA_AGREE), true);
    kt::PressButton(wizard, ID_WIZNEXT);
    ASSERT_TRUE(kt::WaitForStage(wizard, next));
  }
  kt::PressButton(wizard, IDCANCEL);
  EXPECT_TRUE(process_.Wait(nullptr));
}

TEST_F(WizardTest, UpgradeRunShowsOnlyTheCommitPage) {
  kt::SetInstallerInt(L"InstallState", 1);
  process_ = kt::Launch(exe_, L"/runas");
  HWND box = kt::WaitForMessageBox(L"KestrelWizard", process_.pid());
  ASSERT_NE(box, nullptr);
  kt::PressButton(box, IDYES);
  HWND wizard = kt::WaitForWindow(kWizardCaption, process_.pid());
  ASSERT_NE(wizard, nullptr);
  ASSERT_TRUE(kt::WaitForStage(wizard, L"Upgrade now"));
  ExpectButtons(wizard, kBackAndFinish);
  HWND page = kt::CurrentPage(wizard);
  EXPECT_NE(kt::FindControl(page, IDC_TASK_LIST), nullptr);
  // The only page: Back has nothing to go to.
  kt::PressButton(wizard, ID_WIZBACK);
  kt::PressButton(wizard, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(process_.Wait(&code));
  EXPECT_EQ(code, 1602u);
}

}  // namespace
