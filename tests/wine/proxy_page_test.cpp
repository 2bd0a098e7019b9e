// The proxy dialog driven from another thread as a user would, with the
// real template linked into this test program; and the web.config writer.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/web_config.h"
#include "net/download.h"
#include "net/proxy_route.h"
#include "net/proxy_settings.h"
#include "res/resource_ids.h"
#include "support/net_fixtures.h"
#include "support/recording_context.h"
#include "support/test_support.h"
#include "ui/proxy_page.h"
#include "win/module.h"

namespace {

using kestrel::ProxyMode;
using kestrel::ProxySettings;

constexpr wchar_t kEnabledText[] =
    L"Proxy support is enabled. Please configure the proxy settings below. Leave inapplicable fields blank. ";
constexpr wchar_t kDisabledText[] =
    L"Proxy support is disabled. The application will connect to Cloud Storage directly. This is a common case for "
    L"home users.";
constexpr wchar_t kSystemText[] =
    L"Proxy support uses the system settings. The application will connect to Cloud Storage through the proxy this "
    L"computer is set to use, or directly when it has none. Enter a user name and password if that proxy asks for "
    L"them.";
// The entries' indices in the list.
constexpr int kDisableEntry = 0, kCustomEntry = 1, kSystemEntry = 2;

using Edits = std::vector<int>;
const Edits kAllEdits = {IDC_PROXY_ADDRESS, IDC_PROXY_PORT, IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDC_PROXY_BYPASS};
const Edits kCredentialEdits = {IDC_PROXY_USER, IDC_PROXY_PASSWORD};

ProxySettings Settings(ProxyMode mode, const wchar_t* server, const wchar_t* bypass, const wchar_t* user,
                       const wchar_t* password) {
  ProxySettings s;
  s.mode = mode;
  s.server = server;
  s.bypassList = bypass;
  s.userName = user;
  s.password = password;
  return s;
}

// The dialog runs modally on its own thread, as on the user-interface
// thread of the program; the test plays the user.
class OpenDialog {
 public:
  OpenDialog() : thread_([] { kestrel::ShowProxyDialog(nullptr); }) {
    hwnd_ = kt::WaitForWindow(L"Proxy Setup", ::GetCurrentProcessId());
  }
  ~OpenDialog() {
    if (thread_.joinable()) {
      if (::IsWindow(hwnd_)) kt::PressButton(hwnd_, IDCANCEL);
      thread_.join();
    }
  }
  HWND hwnd() const { return hwnd_; }
  std::wstring Text(int id) const { return kt::WindowText(::GetDlgItem(hwnd_, id)); }
  void Type(int id, const std::wstring& text) const { ::SendMessageW(::GetDlgItem(hwnd_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }
  LRESULT Selection() const { return ::SendDlgItemMessageW(hwnd_, IDC_PROXY_TYPE, CB_GETCURSEL, 0, 0); }
  void Choose(int index) const {
    ::SendDlgItemMessageW(hwnd_, IDC_PROXY_TYPE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_PROXY_TYPE, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hwnd_, IDC_PROXY_TYPE)));
  }
  Edits EnabledEdits() const {
    Edits enabled;
    for (int id : kAllEdits)
      if (::IsWindowEnabled(::GetDlgItem(hwnd_, id))) enabled.push_back(id);
    return enabled;
  }
  // Whether the description's text fits its control when wrapped there.
  bool DescriptionFits() const {
    HWND control = ::GetDlgItem(hwnd_, IDC_PROXY_DESCRIPTION);
    RECT client = {};
    ::GetClientRect(control, &client);
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = kt::WindowText(control);
    RECT needed = {0, 0, client.right, 0};
    ::DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return needed.bottom <= client.bottom && needed.right <= client.right;
  }
  // Presses OK and waits for the dialog to close.
  void Ok() {
    kt::PressButton(hwnd_, IDOK);
    thread_.join();
  }
  // Presses OK and returns the text of the message box it shows, closing it.
  std::wstring OkWithMessage() const {
    kt::PressButton(hwnd_, IDOK);
    HWND box = kt::WaitForMessageBox(win::ExecutableBaseName(), ::GetCurrentProcessId());
    if (box == nullptr) return L"(no message)";
    std::wstring text = kt::MessageBoxText(box);
    kt::PressButton(box, IDOK);
    while (::IsWindow(box)) ::Sleep(10);
    return text;
  }

 private:
  std::thread thread_;
  HWND hwnd_ = nullptr;
};

class ProxyDialog : public testing::Test {
 protected:
  void SetUp() override { kestrel::StoreProxySettings({}); }
  void TearDown() override { kestrel::StoreProxySettings({}); }
};

TEST_F(ProxyDialog, ShowsStoredSettingsAndDisableKeepsTheTexts) {
  kestrel::StoreProxySettings(Settings(ProxyMode::kCustom, L"proxy.corp:8080", L"a;b", L"alice", L"pw"));
  {
    OpenDialog d;
    ASSERT_NE(d.hwnd(), nullptr);
    EXPECT_EQ(d.Selection(), kCustomEntry);
    EXPECT_EQ(d.EnabledEdits(), kAllEdits);
    EXPECT_EQ(d.Text(IDC_PROXY_DESCRIPTION), kEnabledText);
    EXPECT_EQ(d.Text(IDC_PROXY_ADDRESS), L"proxy.corp");
    EXPECT_EQ(d.Text(IDC_PROXY_PORT), L"8080");
    EXPECT_EQ(d.Text(IDC_PROXY_USER), L"alice");
    EXPECT_EQ(d.Text(IDC_PROXY_BYPASS), L"a;b");
    d.Choose(kDisableEntry);
    EXPECT_EQ(d.EnabledEdits(), Edits{});
    EXPECT_EQ(d.Text(IDC_PROXY_DESCRIPTION), kDisabledText);
    d.Ok();
  }
  const ProxySettings stored = kestrel::ProxySnapshot();
  EXPECT_EQ(stored.mode, ProxyMode::kDirect);
  EXPECT_EQ(stored.server, L"proxy.corp:8080");
  EXPECT_EQ(stored.userName, L"alice");
  {
    OpenDialog d;
    ASSERT_NE(d.hwnd(), nullptr);
    EXPECT_EQ(d.Selection(), kDisableEntry);
    EXPECT_EQ(d.EnabledEdits(), Edits{});
    EXPECT_EQ(d.Text(IDC_PROXY_ADDRESS), L"proxy.corp");
    EXPECT_EQ(d.Text(IDC_PROXY_BYPASS), L"a;b");
  }
}

TEST_F(ProxyDialog, OpensOnTheSystemEntryWhichStoresOnlyTheCredentials) {
  {
    OpenDialog d;
    ASSERT_NE(d.hwnd(), nullptr);
    EXPECT_EQ(d.Selection(), kSystemEntry);
    EXPECT_EQ(kt::WindowText(::GetDlgItem(d.hwnd(), IDC_PROXY_TYPE)), L"Use system proxy settings");
    EXPECT_EQ(d.Text(IDC_PROXY_DESCRIPTION), kSystemText);
    EXPECT_EQ(d.EnabledEdits(), kCredentialEdits);
    d.Ok();
  }
  EXPECT_EQ(kestrel::ProxySnapshot().mode, ProxyMode::kSystem);

  // Chosen over a stored typed proxy: its texts stay for later, the
  // credentials typed now are stored, an empty field keeps the stored one.
  kestrel::StoreProxySettings(Settings(ProxyMode::kCustom, L"proxy.corp:8080", L"a;b", L"alice", L"old"));
  {
    OpenDialog d;
    d.Choose(kSystemEntry);
    EXPECT_EQ(d.EnabledEdits(), kCredentialEdits);
    EXPECT_EQ(d.Text(IDC_PROXY_DESCRIPTION), kSystemText);
    d.Type(IDC_PROXY_USER, L"");
    d.Type(IDC_PROXY_PASSWORD, L"new");
    d.Ok();
  }
  const ProxySettings stored = kestrel::ProxySnapshot();
  EXPECT_EQ(stored.mode, ProxyMode::kSystem);
  EXPECT_EQ(stored.server, L"proxy.corp:8080");
  EXPECT_EQ(stored.bypassList, L"a;b");
  EXPECT_EQ(stored.userName, L"alice");
  EXPECT_EQ(stored.password, L"new");
  {
    OpenDialog d;
    EXPECT_EQ(d.Selection(), kSystemEntry);
    EXPECT_EQ(d.Text(IDC_PROXY_ADDRESS), L"proxy.corp");
    EXPECT_EQ(d.Text(IDC_PROXY_USER), L"alice");
  }
}

TEST_F(ProxyDialog, EachDescriptionFitsItsControl) {
  OpenDialog d;
  ASSERT_NE(d.hwnd(), nullptr);
  for (int entry : {kDisableEntry, kCustomEntry, kSystemEntry}) {
    d.Choose(entry);
    EXPECT_TRUE(d.DescriptionFits()) << "entry " << entry;
  }
}

TEST_F(ProxyDialog, MissingAddressThenPortThenDefaults) {
  OpenDialog d;
  ASSERT_NE(d.hwnd(), nullptr);
  d.Choose(kCustomEntry);
  EXPECT_EQ(d.EnabledEdits(), kAllEdits);
  EXPECT_EQ(d.OkWithMessage(), L"Proxy Address is missing");
  d.Type(IDC_PROXY_ADDRESS, L"10.0.0.5");
  EXPECT_EQ(d.OkWithMessage(), L"Proxy Port is missing");
  EXPECT_EQ(kestrel::ProxySnapshot().mode, ProxyMode::kSystem) << "nothing stored while the dialog stays";
  d.Type(IDC_PROXY_PORT, L"3128");
  d.Ok();
  const ProxySettings stored = kestrel::ProxySnapshot();
  EXPECT_EQ(stored.mode, ProxyMode::kCustom);
  EXPECT_EQ(stored.server, L"10.0.0.5:3128");
  EXPECT_EQ(stored.bypassList, L"localhost");
  EXPECT_EQ(stored.userName, L"");
}

TEST_F(ProxyDialog, EmptyCredentialFieldsKeepStoredOnesAndCancelStoresNothing) {
  kestrel::StoreProxySettings(Settings(ProxyMode::kCustom, L"p:1", L"x", L"alice", L"pw"));
  {
    OpenDialog d;
    d.Type(IDC_PROXY_USER, L"");
    d.Type(IDC_PROXY_PASSWORD, L"");
    d.Type(IDC_PROXY_PORT, L"2");
    d.Ok();
  }
  ProxySettings stored = kestrel::ProxySnapshot();
  EXPECT_EQ(stored.server, L"p:2");
  EXPECT_EQ(stored.userName, L"alice");
  EXPECT_EQ(stored.password, L"pw");
  {
    OpenDialog d;
    d.Type(IDC_PROXY_USER, L"bob");
    d.Type(IDC_PROXY_ADDRESS, L"q");
    // Destroyed unanswered: Cancel.
  }
  stored = kestrel::ProxySnapshot();
  EXPECT_EQ(stored.server, L"p:2");
  EXPECT_EQ(stored.userName, L"alice");
}

TEST_F(ProxyDialog, ServerWithoutColonShowsEmptyFields) {
  kestrel::StoreProxySettings(Settings(ProxyMode::kCustom, L"proxyonly", L"", L"", L""));
  OpenDialog d;
  EXPECT_EQ(d.Text(IDC_PROXY_ADDRESS), L"");
  EXPECT_EQ(d.Text(IDC_PROXY_PORT), L"");
}

// The user name and password typed with the system entry answer the proxy
// the user's settings name, which asks for them.
TEST_F(ProxyDialog, CredentialsTypedForTheSystemProxyReachIt) {
  const std::wstring folder = kt::ScratchFolder(L"proxy-dialog-net");
  kt::TestServer server(folder);
  kt::TestProxy guarded(folder, "alice", "s3cret");
  ASSERT_TRUE(server.ok());
  ASSERT_TRUE(guarded.ok());
  const std::string bytes = kt::PatternBytes(5000, 3);
  ASSERT_TRUE(server.AddFile("c.bin", bytes));
  kt::UserProxyScope user;
  ASSERT_TRUE(user.Set(kt::MakeUserProxy("127.0.0.1:" + std::to_string(guarded.port()))));
  kestrel::ForgetSystemProxies();
  {
    OpenDialog d;
    ASSERT_EQ(d.Selection(), kSystemEntry);
    d.Type(IDC_PROXY_USER, L"alice");
    d.Type(IDC_PROXY_PASSWORD, L"s3cret");
    d.Ok();
  }
  kt::RecordingContext context;
  context.settings.downloadRetryPauseMs = 0;
  const std::wstring dest = folder + L"\\c.out";
  ASSERT_EQ(kestrel::DownloadToFile(context, dest, server.HttpUrl("/c.bin"), kestrel::PayloadPin{}), 1) << guarded.Log();
  EXPECT_EQ(kt::ReadFileBytes(dest), bytes);
  EXPECT_FALSE(kt::LinesContaining(guarded.Log(), "auth=ok result=forwarded").empty()) << guarded.Log();
  kestrel::ForgetSystemProxies();
}

class WebConfig : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = kt::ScratchFolder(L"webconfig");
    ASSERT_TRUE(kt::CreateFolders(dir_ + L"\\root"));
    path_ = dir_ + L"\\root\\web.config";
    context_.SetInstallDir(dir_);
  }
  void TearDown() override {
    kestrel::StoreProxySettings({});
    kt::RemoveTree(dir_);
  }
  // What the root folder holds besides web.config.
  int OtherFiles() const {
    WIN32_FIND_DATAW entry;
    win::UniqueFind find(::FindFirstFileW((dir_ + L"\\root\\*").c_str(), &entry));
    int n = 0;
    if (find) {
      do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L".." && name != L"web.config") ++n;
      } while (::FindNextFileW(find.get(), &entry));
    }
    return n;
  }
  std::wstring dir_, path_;
  kt::RecordingContext context_;
};

const wchar_t kFailure[] =
    L"Failed to apply proxy settings. Please edit web.config located at the root directory manually to apply.";

TEST_F(WebConfig, WritesTheSectionWithEachBypassEntry) {
  const struct {
    const wchar_t* bypass;
    std::string adds;
  } cases[] = {
      {L"localhost;*.corp", "\t\t\t <add address=\"localhost\" />\n\t\t\t <add address=\"*.corp\" />\n"},
      {L";a;;b;", "\t\t\t <add address=\"a\" />\n\t\t\t <add address=\"b\" />\n"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(kt::WriteFileBytes(path_, "<configuration>\r\n  <appSettings />\r\n</configuration>\r\n"));
    ASSERT_TRUE(::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    kestrel::StoreProxySettings(Settings(ProxyMode::kCustom, L"proxy.corp:8080", c.bypass, L"", L""));
    EXPECT_EQ(kestrel::ApplyProxyToWebConfig(context_), 1);
    EXPECT_EQ(kt::ReadFileBytes(path_),
              "<configuration>\r\n  <appSettings />\r\n\n\n<system.net>\n"
              "\t<defaultProxy useDefaultCredentials=\"true\">\n"
              "\t\t<proxy   usesystemdefault=\"true\"    proxyaddress=\"http://proxy.corp:8080\" bypassonlocal=\"true\"  />\n"
              "\t\t<bypasslist>\n" + c.adds + "\t\t</bypasslist>\n\t</defaultProxy>\n</system.net>\n</configuration>\n");
    EXPECT_EQ(OtherFiles(), 0) << "no temporary file left";
  }
  EXPECT_TRUE(context_.questions().empty());
}

TEST_F(WebConfig, UnusableFileIsLeftAsItWasWithAMessage) {
  kestrel::StoreProxySettings(Settings(ProxyMode::kCustom, L"p:1", L"localhost", L"", L""));
  const std::string noEnd = "<configuration><appSettings />";
  ASSERT_TRUE(kt::WriteFileBytes(path_, noEnd));
  EXPECT_EQ(kestrel::ApplyProxyToWebConfig(context_), 0);
  EXPECT_EQ(kt::ReadFileBytes(path_), noEnd);

  ASSERT_TRUE(kt::WriteFileBytes(path_, ""));
  EXPECT_EQ(kestrel::ApplyProxyToWebConfig(context_), 0);
  ::DeleteFileW(path_.c_str());
  EXPECT_EQ(kestrel::ApplyProxyToWebConfig(context_), 0);

  const auto questions = context_.questions();
  ASSERT_EQ(questions.size(), 3u);
  for (const auto& q : questions) {
    EXPECT_EQ(q.text, kFailure);
    EXPECT_EQ(q.type & MB_TYPEMASK, static_cast<UINT>(MB_OK));
  }
  EXPECT_EQ(OtherFiles(), 0);
}

TEST_F(WebConfig, OnlyATypedProxyOpensTheFile) {
  const std::string content = "<configuration></configuration>";
  ASSERT_TRUE(kt::WriteFileBytes(path_, content));
  // Held without any sharing: opening it would fail.
  win::UniqueHandle held(::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  for (ProxyMode mode : {ProxyMode::kDirect, ProxyMode::kSystem}) {
    kestrel::StoreProxySettings(Settings(mode, L"p:1", L"localhost", L"", L""));
    EXPECT_EQ(kestrel::ApplyProxyToWebConfig(context_), 1);
  }
  EXPECT_TRUE(context_.questions().empty());
  // The same with the typed proxy reaches the file and fails.
  kestrel::StoreProxySettings(Settings(ProxyMode::kCustom, L"p:1", L"localhost", L"", L""));
  EXPECT_EQ(kestrel::ApplyProxyToWebConfig(context_), 0);
  EXPECT_EQ(context_.questions().size(), 1u);
  held.reset();
  EXPECT_EQ(kt::ReadFileBytes(path_), content);
}

}  // namespace
