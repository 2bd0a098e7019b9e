#include "ui/welcome_page.h"

#include <prsht.h>

#include "res/resource_ids.h"

namespace kestrel {

WelcomePage::WelcomePage(CVantPropertySheet& owner) : CVantPropertyPage(IDD_WELCOME_PAGE, owner) {
  SetupRecord(L"Welcome");
  LOGFONTW font = {};
  font.lfHeight = 16;
  font.lfWeight = FW_THIN;
  font.lfCharSet = ANSI_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(font.lfFaceName, L"Arial", LF_FACESIZE);
  paragraphFont_.reset(::CreateFontIndirectW(&font));
}

BOOL WelcomePage::OnInitDialog() {
  ShowWizardTitle();
  for (int id : {IDC_WELCOME_INTRO, IDC_WELCOME_DETAILS}) {
    ::SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(paragraphFont_.get()), TRUE);
    ::InvalidateRect(Item(id), nullptr, TRUE);
  }
  return TRUE;
}

BOOL WelcomePage::OnSetActive() {
  PostWizardButtons(PSWIZB_NEXT);
  return CVantPropertyPage::OnSetActive();
}

}  // namespace kestrel
