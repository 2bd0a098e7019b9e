#include "ui/proxy_page.h"

#include <string>

#include "net/proxy_settings.h"
#include "res/resource_ids.h"
#include "win/message_box.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

constexpr wchar_t kDisabledText[] =
    L"Proxy support is disabled. The application will connect to Cloud Storage directly. This is a common case for "
    L"home users.";
constexpr wchar_t kEnabledText[] =
    L"Proxy support is enabled. Please configure the proxy settings below. Leave inapplicable fields blank. ";
constexpr wchar_t kSystemText[] =
    L"Proxy support uses the system settings. The application will connect to Cloud Storage through the proxy this "
    L"computer is set to use, or directly when it has none. Enter a user name and password if that proxy asks for "
    L"them.";
constexpr wchar_t kNoTypeText[] = L"Warning: No Proxy Type Is Selected!";

// The entries in their order; each one's mode is its item data.
struct Entry {
  const wchar_t* text;
  ProxyMode mode;
};
constexpr Entry kEntries[] = {
    {L"Disable Proxy", ProxyMode::kDirect},
    {L"Custom Proxy Settings", ProxyMode::kCustom},
    {L"Use system proxy settings", ProxyMode::kSystem},
};

// The typed proxy's own fields, and the credentials any proxy may ask for.
constexpr int kServerEdits[] = {IDC_PROXY_ADDRESS, IDC_PROXY_PORT, IDC_PROXY_BYPASS};
constexpr int kCredentialEdits[] = {IDC_PROXY_USER, IDC_PROXY_PASSWORD};

const wchar_t* DescriptionOf(ProxyMode mode) {
  switch (mode) {
    case ProxyMode::kDirect:
      return kDisabledText;
    case ProxyMode::kCustom:
      return kEnabledText;
    case ProxyMode::kSystem:
      break;
  }
  return kSystemText;
}

}  // namespace

CProxyPage::CProxyPage() : win::Dialog(IDD_PROXY) {
  const ProxySettings settings = ProxySnapshot();
  mode_ = settings.mode;
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
  for (const Entry& entry : kEntries) {
    const LRESULT index = ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text));
    ::SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(entry.mode));
    if (entry.mode == mode_) ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  ShowMode();
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
  HWND combo = Item(IDC_PROXY_TYPE);
  const LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) {
    // The mode stays as it was.
    EnableEdits(kServerEdits, false);
    EnableEdits(kCredentialEdits, false);
    SetItemText(IDC_PROXY_DESCRIPTION, kNoTypeText);
  } else {
    mode_ = static_cast<ProxyMode>(::SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    ShowMode();
  }
  FieldsToControls();
}

void CProxyPage::ShowMode() {
  EnableEdits(kServerEdits, mode_ == ProxyMode::kCustom);
  EnableEdits(kCredentialEdits, mode_ != ProxyMode::kDirect);
  SetItemText(IDC_PROXY_DESCRIPTION, DescriptionOf(mode_));
}

void CProxyPage::OnOK() {
  ControlsToFields();
  ProxySettings settings = ProxySnapshot();
  // An empty credential field keeps what was stored before.
  auto storeCredentials = [&] {
    if (!userName_.empty()) settings.userName = userName_;
    if (!password_.empty()) settings.password = password_;
  };
  // Whatever is typed here never reaches the run's log.
  win::AddLogSecret(password_);
  if (mode_ == ProxyMode::kDirect) {
    // The texts stay for the next time the dialog is opened.
    settings.mode = ProxyMode::kDirect;
    StoreProxySettings(settings);
    EndDialog(IDOK);
    return;
  }
  if (mode_ == ProxyMode::kSystem) {
    // The typed proxy's texts stay too; the credentials answer the proxy
    // the system names.
    settings.mode = ProxyMode::kSystem;
    storeCredentials();
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
  settings.mode = ProxyMode::kCustom;
  settings.server = address_ + L":" + port_;
  settings.bypassList = bypassList_.empty() ? std::wstring(L"localhost") : bypassList_;
  storeCredentials();
  StoreProxySettings(settings);
  EndDialog(IDOK);
}

void CProxyPage::EnableEdits(std::span<const int> ids, bool enable) {
  for (int id : ids) ::EnableWindow(Item(id), enable ? TRUE : FALSE);
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
