#include "ui/eula_page.h"

#include <prsht.h>
#include <richedit.h>

#include <string>

#include "core/builtin_strings.h"
#include "res/resource_ids.h"
#include "ui/licence_stream.h"
#include "win/message_box.h"

namespace kestrel {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text on Windows");

DWORD CALLBACK StreamLicence(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG* delivered) {
  auto* reader = reinterpret_cast<LicenceStreamReader*>(cookie);
  *delivered = static_cast<LONG>(reader->Read(buffer, requested > 0 ? static_cast<size_t>(requested) : 0));
  return 0;
}

}  // namespace

EULA::EULA(CVantPropertySheet& owner) : CVantPropertyPage(IDD_EULA_PAGE, owner) { SetupRecord(L"License Agreement"); }

BOOL EULA::OnInitDialog() {
  ShowWizardTitle();
  HWND box = Item(IDC_EULA_TEXT);
  const std::wstring licence = LoadLicenceText();
  if (!licence.empty()) {
    ::SendMessageW(box, EM_SETTEXTMODE, TM_RICHTEXT | TM_MULTICODEPAGE, 0);
    LicenceStreamReader reader(std::u16string_view(reinterpret_cast<const char16_t*>(licence.data()), licence.size()));
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&reader);
    stream.pfnCallback = &StreamLicence;
    ::SendMessageW(box, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  } else {
    ::SetWindowTextW(box, L"EULA not found");
  }
  ::SendMessageW(box, EM_SETWORDWRAPMODE, WBF_WORDBREAK, 0);
  return TRUE;
}

BOOL EULA::OnSetActive() {
  PostWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CVantPropertyPage::OnSetActive();
}

LRESULT EULA::OnWizardNext() {
  if (::IsDlgButtonChecked(hwnd(), IDC_EULA_AGREE) == BST_CHECKED) return 0;
  win::ShowMessage(L"", MB_OK);
  return -1;
}

}  // namespace kestrel
