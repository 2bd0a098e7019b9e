#include "ui/proxy_page.h"

#include <string>

#include "net/proxy_settings.h"
#include "net/text_convert.h"
#include "res/resource_ids.h"
#include "ui/web_config_proxy.h"
#include "win/handle.h"
#include "win/message_box.h"
#include "win/module.h"

namespace kestrel {
namespace {

constexpr wchar_t kDisabledText[] =
    L"Proxy support is disabled. The application will connect to Cloud Storage directly. This is a common case for "
    L"home users.";
constexpr wchar_t kEnabledText[] =
    L"Proxy support is enabled. Please configure the proxy settings below. Leave inapplicable fields blank. ";
constexpr wchar_t kNoTypeText[] = L"Warning: No Proxy Type Is Selected!";

constexpr int kEdits[] = {IDC_PROXY_ADDRESS, IDC_PROXY_PORT, IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDC_PROXY_BYPASS};

constexpr wchar_t kWebConfigFailed[] =
    L"Failed to apply proxy settings. Please edit web.config located at the root directory manually to apply.";

// Limit for reading web.config; a real one is a few kilobytes.
constexpr LONGLONG kMaxWebConfigBytes = 64LL << 20;

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  win::UniqueHandle file(::CreateFileW(win::LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxWebConfigBytes) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr) || n == 0)
      return false;
    done += n;
  }
  return true;
}

// Writes the new content beside the file and then puts it in its place,
// so a failure at any point leaves the old file whole.
bool ReplaceFileContent(const std::wstring& path, const std::string& bytes) {
  const std::wstring temp = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".new";
  const std::wstring longTemp = win::LongPath(temp);
  const std::wstring longPath = win::LongPath(path);
  {
    win::UniqueHandle file(::CreateFileW(longTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
      DWORD n = 0;
      ok = ::WriteFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr) &&
           n > 0;
      done += n;
    }
    if (!ok || !::FlushFileBuffers(file.get())) {
      file.reset();
      ::DeleteFileW(longTemp.c_str());
      return false;
    }
  }
  const DWORD attributes = ::GetFileAttributesW(longPath.c_str());
  ::SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(longTemp.c_str(), longPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(longPath.c_str(), attributes);
    ::DeleteFileW(longTemp.c_str());
    return false;
  }
  return true;
}

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

int ApplyProxyToWebConfig(TaskContext& context) {
  const ProxySettings settings = ProxySnapshot();
  if (!settings.enabled) return 1;
  const std::wstring path = context.InstallDir() + L"\\root\\web.config";

  std::string content;
  auto server = WideToUtf8(settings.server);
  auto bypass = WideToUtf8(settings.bypassList);
  if (server && bypass && ReadWholeFile(path, content)) {
    auto updated = AddProxyToWebConfig(content, *server, *bypass);
    if (updated && ReplaceFileContent(path, *updated)) return 1;
  }
  context.Ask(kWebConfigFailed, MB_OK);
  return 0;
}

}  // namespace kestrel
