#include "ui/proxy_page.h"

#include <string>

#include "net/proxy_settings.h"
#include "res/resource_ids.h"
#include "win/message_box.h"

namespace kestrel {
namespace {

constexpr wchar_t kDisabledText[] =
    L"Proxy support is disabled. The application will connect to Cloud Storage directly. This is a common case for "
    L"home users.";
constexpr wchar_t kEnabledText[] =
    L"Proxy support is enabled. Please configure the proxy settings below. Leave inapplicable fields blank. ";
constexpr wchar_t kNoTypeText[] = L"Warning: No Proxy Type Is Selected!";

constexpr int kEdits[] = {IDC_PROXY_ADDRESS, IDC_PROXY_PORT, IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDC_PROXY_BYPASS};

}  // namespace

CProxyPage::CProxyPage() : win::Dialog(IDD_PROXY) {
  const ProxySettings settings = ProxySnapshot();
  mode_ = settings.enabled ? 1 : 0;
  bypassList_ = settings.bypassList;
  userName_ = settings.userName;
  password_ = settings.password;
  const size_t colon = settings.server.find(L':');
  if (colon != std::wstring::npos) {
    address_ = settings.server.substr(0, colon);
    port_ = settings.server.substr(colon + 1);
  }
}

BOOL CProxyPage::OnInitDialog() {
  HWND combo = Item(IDC_PROXY_TYPE);
  ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Disable Proxy"));
  ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Custom Proxy Settings"));
  if (mode_ == 0) {
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
    EnableEdits(false);
    SetItemText(IDC_PROXY_DESCRIPTION, kDisabledText);
  } else {
    ::SendMessageW(combo, CB_SETCURSEL, 1, 0);
    EnableEdits(true);
    SetItemText(IDC_PROXY_DESCRIPTION, kEnabledText);
    mode_ = 3;
  }
  ::SetWindowTextW(hwnd(), L"Proxy Setup");
  FieldsToControls();
  return TRUE;
}

void CProxyPage::OnCommand(int id, int code, HWND control) {
  if (id == IDC_PROXY_TYPE && code == CBN_SELCHANGE) {
    OnTypeChange();
    return;
  }
  win::Dialog::OnCommand(id, code, control);
}

void CProxyPage::OnTypeChange() {
  const LRESULT index = ::SendMessageW(Item(IDC_PROXY_TYPE), CB_GETCURSEL, 0, 0);
  EnableEdits(index == 1);
  if (index == 0) {
    SetItemText(IDC_PROXY_DESCRIPTION, kDisabledText);
    mode_ = 0;
  } else if (index == CB_ERR) {
    SetItemText(IDC_PROXY_DESCRIPTION, kNoTypeText);
  } else {
    SetItemText(IDC_PROXY_DESCRIPTION, kEnabledText);
    mode_ = 3;
  }
  FieldsToControls();
}

void CProxyPage::OnOK() {
  ControlsToFields();
  ProxySettings settings = ProxySnapshot();
  if (mode_ == 0) {
    // The texts stay for the next time the dialog is opened.
    settings.enabled = 0;
    StoreProxySettings(settings);
    EndDialog(IDOK);
    return;
  }
  if (address_.empty()) {
    win::ShowMessage(hwnd(), L"Proxy Address is missing", MB_OK);
    return;
  }
  if (port_.empty()) {
    win::ShowMessage(hwnd(), L"Proxy Port is missing", MB_OK);
    return;
  }
  settings.enabled = 1;
  settings.server = address_ + L":" + port_;
  settings.bypassList = bypassList_.empty() ? std::wstring(L"localhost") : bypassList_;
  // An empty field keeps what was stored before.
  if (!userName_.empty()) settings.userName = userName_;
  if (!password_.empty()) settings.password = password_;
  StoreProxySettings(settings);
  EndDialog(IDOK);
}

void CProxyPage::EnableEdits(bool enable) {
  for (int id : kEdits) ::EnableWindow(Item(id), enable ? TRUE : FALSE);
}

void CProxyPage::FieldsToControls() {
  SetItemText(IDC_PROXY_ADDRESS, address_);
  SetItemText(IDC_PROXY_PORT, port_);
  SetItemText(IDC_PROXY_USER, userName_);
  SetItemText(IDC_PROXY_PASSWORD, password_);
  SetItemText(IDC_PROXY_BYPASS, bypassList_);
}

void CProxyPage::ControlsToFields() {
  address_ = ItemText(IDC_PROXY_ADDRESS);
  port_ = ItemText(IDC_PROXY_PORT);
  userName_ = ItemText(IDC_PROXY_USER);
  password_ = ItemText(IDC_PROXY_PASSWORD);
  bypassList_ = ItemText(IDC_PROXY_BYPASS);
}

void ShowProxyDialog(HWND owner) {
  CProxyPage page;
  page.DoModal(owner);
}

}  // namespace kestrel
