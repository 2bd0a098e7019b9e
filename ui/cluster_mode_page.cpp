#include "ui/cluster_mode_page.h"

#include <prsht.h>

#include <string>

#include "engine/database_check.h"
#include "res/resource_ids.h"
#include "win/message_box.h"

namespace kestrel {

ClusterMode::ClusterMode(CVantPropertySheet& owner) : CVantPropertyPage(IDD_CLUSTER_MODE_PAGE, owner) {
  SetupRecord(L"Choose Installation Type");
}

void ClusterMode::Preset(const DatabaseChoice& choice) {
  dbServer = choice.server;
  dbUser = choice.user;
  dbPassword = choice.password;
  dbName = choice.name;
  presetExistingServer_ = !choice.allInOne;
}

BOOL ClusterMode::OnInitDialog() {
  ShowWizardTitle();
  FieldsToControls();
  ::CheckDlgButton(hwnd(), IDC_DB_ALL_IN_ONE, BST_CHECKED);
  allInOne = 1;
  if (InspectOwnSqlInstance() == OwnSqlInstance::kForeign) {
    ForceExistingServer();
  } else if (presetExistingServer_) {
    ::CheckDlgButton(hwnd(), IDC_DB_ALL_IN_ONE, BST_UNCHECKED);
    ::CheckDlgButton(hwnd(), IDC_DB_EXISTING, BST_CHECKED);
    allInOne = 0;
  }
  return TRUE;
}

void ClusterMode::ForceExistingServer() {
  ::CheckDlgButton(hwnd(), IDC_DB_ALL_IN_ONE, BST_UNCHECKED);
  allInOne = 0;
  ::CheckDlgButton(hwnd(), IDC_DB_EXISTING, BST_CHECKED);
  ::EnableWindow(Item(IDC_DB_ALL_IN_ONE), FALSE);
  if (!choiceFont_) {
    choiceFont_.reset(::CreateFontW(18, 0, 0, 0, 100, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial"));
  }
  for (int id : {IDC_DB_ALL_IN_ONE, IDC_DB_EXISTING})
    ::SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(choiceFont_.get()), TRUE);
}

BOOL ClusterMode::OnSetActive() {
  PostWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CVantPropertyPage::OnSetActive();
}

void ClusterMode::FieldsToControls() const {
  SetItemText(IDC_DB_SERVER, dbServer);
  SetItemText(IDC_DB_USER, dbUser);
  SetItemText(IDC_DB_PASSWORD, dbPassword);
  SetItemText(IDC_DB_NAME, dbName);
}

void ClusterMode::ControlsToFields() {
  dbServer = ItemText(IDC_DB_SERVER);
  dbUser = ItemText(IDC_DB_USER);
  dbPassword = ItemText(IDC_DB_PASSWORD);
  dbName = ItemText(IDC_DB_NAME);
}

LRESULT ClusterMode::OnWizardNext() {
  ControlsToFields();
  const bool allInOneChecked = ::IsDlgButtonChecked(hwnd(), IDC_DB_ALL_IN_ONE) == BST_CHECKED;
  if (!allInOneChecked && ::IsDlgButtonChecked(hwnd(), IDC_DB_EXISTING) != BST_CHECKED) {
    win::ShowMessage(L"Please select installation type", MB_OK);
    return -1;
  }
  allInOne = allInOneChecked ? 1 : 0;

  if (const wchar_t* refusal = DatabaseChoiceRefusal(DatabaseChoiceOfPage())) {
    win::ShowMessage(refusal, MB_OK);
    return -1;
  }
  if (!allInOne) {
    // Whatever is typed here must never reach the log.
    AddPasswordToLogSecrets(dbPassword);
    if (!TestDatabaseConnection()) return -1;
  }
  return 0;
}

int ClusterMode::TestDatabaseConnection() {
  return kestrel::TestDatabaseConnection(DatabaseChoiceOfPage(),
                                         [](const std::wstring& text) { win::ShowMessage(text, MB_OK); });
}

}  // namespace kestrel
