// Connections through the proxy this machine names (the user's Internet
// settings, an automatic configuration script, WinHTTP's machine-wide
// default) and the dialog's choices over it, against the local server and
// proxies. The machine's settings are changed through scopes that put them
// back: the prefix is shared by every test.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/audit_trace.h"
#include "net/download.h"
#include "net/proxy_route.h"
#include "net/proxy_settings.h"
#include "support/net_fixtures.h"
#include "support/recording_context.h"
#include "support/test_support.h"
#include "win/run_log.h"

namespace {

using kestrel::ProxyMode;

class SystemProxy : public testing::Test {
 protected:
  void SetUp() override {
    kestrel::StoreProxySettings({});
    kestrel::ForgetSystemProxies();
    folder_ = kt::ScratchFolder(L"system-proxy");
    for (const wchar_t* sub : {L"\\srv", L"\\a", L"\\b"}) ASSERT_TRUE(kt::CreateFolders(folder_ + sub));
    server_ = std::make_unique<kt::TestServer>(folder_ + L"\\srv", /*https=*/true);
    a_ = std::make_unique<kt::TestProxy>(folder_ + L"\\a");
    b_ = std::make_unique<kt::TestProxy>(folder_ + L"\\b");
    ASSERT_TRUE(server_->ok() && a_->ok() && b_->ok()) << "fixtures did not start";
    bytes_ = kt::PatternBytes(20000, 5);
    ASSERT_TRUE(server_->AddFile("f.bin", bytes_));
    dest_ = folder_ + L"\\f.out";
    context_.settings.downloadRetryPauseMs = 0;
  }
  void TearDown() override {
    kestrel::ForgetSystemProxies();
    kestrel::StoreProxySettings({});
    kestrel::ConfigureAuditTrace({});
    a_.reset();
    b_.reset();
    server_.reset();
    kt::RemoveTree(folder_);
  }

  // The proxies are named by address: WinHTTP under Wine skips the CONNECT
  // when the proxy's host name equals the server's ("localhost").
  static std::string At(const kt::TestProxy& proxy) { return "127.0.0.1:" + std::to_string(proxy.port()); }
  std::string Named(char letter) const { return letter == 'a' ? At(*a_) : letter == 'b' ? At(*b_) : ""; }
  std::string LocalUrl() const { return server_->HttpUrl("/f.bin"); }
  // The same server under another host name.
  std::string AddressUrl() const { return "http://127.0.0.1:" + std::to_string(server_->httpPort()) + "/f.bin"; }

  // Which way one download of the link went: "a", "b", "direct" (it
  // arrived and neither proxy saw it) or "failed".
  std::string Route(const std::string& url) {
    const size_t a = a_->Log().size(), b = b_->Log().size();
    ::DeleteFileW(dest_.c_str());
    if (kestrel::DownloadToFile(context_, dest_, url, kestrel::PayloadPin{}) != 1 || kt::ReadFileBytes(dest_) != bytes_) return "failed";
    const bool viaA = a_->Log().size() > a, viaB = b_->Log().size() > b;
    return viaA && viaB ? "both" : viaA ? "a" : viaB ? "b" : "direct";
  }

  std::wstring folder_, dest_;
  std::string bytes_;
  std::unique_ptr<kt::TestServer> server_;
  std::unique_ptr<kt::TestProxy> a_, b_;
  kt::RecordingContext context_;
  kt::UserProxyScope user_;
  kt::MachineProxyScope machine_;
};

TEST_F(SystemProxy, TheUserSettingsProxyCarriesDownloadsAndTraces) {
  ASSERT_TRUE(user_.Set(kt::MakeUserProxy(At(*a_))));
  EXPECT_EQ(Route(LocalUrl()), "a");
  EXPECT_EQ(Route(server_->HttpsUrl("/f.bin")), "a");

  kestrel::ConfigureAuditTrace({kestrel::kDefaultPartnerId, server_->HttpsUrl("/audit")});
  kestrel::SendAuditTrace("through the system's proxy");
  ASSERT_TRUE(kestrel::FlushAuditTraces(kt::kPatienceMs));
  EXPECT_EQ(server_->ReceivedTraces(), std::vector<std::string>{"through the system's proxy"});
  // WinHTTP under Wine may carry the trace through the download's tunnel,
  // which it keeps open: the proxy then logs no second CONNECT. What the
  // server sees tells instead: inside a tunnel the request line comes in
  // absolute form, a direct request's does not.
  const std::string tunnel = "CONNECT localhost:" + std::to_string(server_->httpsPort());
  EXPECT_FALSE(kt::LinesContaining(a_->Log(), tunnel).empty()) << a_->Log();
  EXPECT_EQ(kt::LinesContaining(server_->Log(), "POST /audit form=absolute").size(), 1u) << server_->Log();
}

TEST_F(SystemProxy, TheRouteFollowsTheSystemUnlessTheDialogSaysOtherwise) {
  struct Case {
    const char* name;
    bool userValue;  // false: no DefaultConnectionSettings at all, as on a fresh machine
    bool autoDetect;
    char userProxy;  // 'a', 'b' or 0 for none
    const char* bypass;
    char machineProxy;
    ProxyMode mode;
    const char* expected;
  };
  const Case cases[] = {
      {"the user's static proxy", true, false, 'a', "", 0, ProxyMode::kSystem, "a"},
      {"the user's bypass list names the local host", true, false, 'a', "localhost", 0, ProxyMode::kSystem,
       "direct"},
      {"detection on finds nothing, the static proxy then", true, true, 'a', "", 0, ProxyMode::kSystem, "a"},
      {"the user's settings before the machine-wide one", true, false, 'a', "", 'b', ProxyMode::kSystem, "a"},
      {"the machine-wide setting alone", true, false, 0, "", 'b', ProxyMode::kSystem, "b"},
      {"a fresh machine: detection fails, the machine-wide setting", false, false, 0, "", 'b', ProxyMode::kSystem,
       "b"},
      {"nothing named anywhere", true, false, 0, "", 0, ProxyMode::kSystem, "direct"},
      {"a fresh machine with nothing named", false, false, 0, "", 0, ProxyMode::kSystem, "direct"},
      {"Disable Proxy while the system names a proxy", true, false, 'a', "", 'b', ProxyMode::kDirect, "direct"},
      {"a typed proxy while the system names another", true, false, 'a', "", 'a', ProxyMode::kCustom, "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kestrel::ForgetSystemProxies();
    if (c.userValue) {
      ASSERT_TRUE(user_.Set(kt::MakeUserProxy(Named(c.userProxy), c.bypass, {}, c.autoDetect)));
    } else {
      user_.Remove();
    }
    if (c.machineProxy != 0) {
      ASSERT_TRUE(machine_.Set(Named(c.machineProxy)));
    } else {
      machine_.Remove();
    }
    kestrel::ProxySettings settings;
    settings.mode = c.mode;
    // The typed proxy is always b; it matters only when chosen.
    settings.server = kt::Widen(At(*b_));
    kestrel::StoreProxySettings(settings);
    EXPECT_EQ(Route(LocalUrl()), c.expected);
  }
}

TEST_F(SystemProxy, AnAutomaticConfigurationScriptChoosesPerHost) {
  const std::string script =
      "function FindProxyForURL(url, host) {\n"
      "  if (host == \"127.0.0.1\") return \"DIRECT\";\n"
      "  return \"PROXY " + At(*a_) + "\";\n"
      "}\n";
  ASSERT_TRUE(server_->AddFile("proxy.pac", script));
  // The static proxy b is the fallback the script's answers override.
  ASSERT_TRUE(user_.Set(kt::MakeUserProxy(At(*b_), {}, server_->HttpUrl("/proxy.pac"))));
  EXPECT_EQ(Route(LocalUrl()), "a");
  EXPECT_EQ(Route(server_->HttpsUrl("/f.bin")), "a");
  EXPECT_EQ(Route(AddressUrl()), "direct") << "the script's DIRECT is final";

  // A script that cannot be fetched passes on to the static proxy.
  kestrel::ForgetSystemProxies();
  ASSERT_TRUE(user_.Set(kt::MakeUserProxy(At(*b_), {}, server_->HttpUrl("/missing.pac"))));
  EXPECT_EQ(Route(LocalUrl()), "b");
}

TEST_F(SystemProxy, EachServerIsResolvedOnceAndLoggedOnce) {
  const std::wstring logFolder = kt::ScratchFolder(L"system-proxy-log");
  ASSERT_TRUE(win::OpenRunLog(logFolder + L"\\run.log"));
  kestrel::ProxySettings settings;
  settings.userName = L"alice";
  settings.password = L"pw-never-logged";
  kestrel::StoreProxySettings(settings);

  ASSERT_TRUE(user_.Set(kt::MakeUserProxy(At(*a_))));
  EXPECT_EQ(Route(LocalUrl()), "a");
  // The machine's settings change during the run: a server already asked
  // about keeps its answer, another one gets the new answer.
  ASSERT_TRUE(user_.Set(kt::MakeUserProxy(At(*b_))));
  EXPECT_EQ(Route(LocalUrl()), "a");
  EXPECT_EQ(Route(AddressUrl()), "b");

  const std::string log = kt::ReadFileBytes(win::RunLogPath());
  const std::string port = std::to_string(server_->httpPort());
  EXPECT_EQ(kt::LinesContaining(log, "proxy for host localhost (http port " + port + "): " + At(*a_) +
                                         " (system: user settings)")
                .size(),
            1u)
      << log;
  EXPECT_EQ(kt::LinesContaining(log, "proxy for host 127.0.0.1 (http port " + port + "): " + At(*b_) +
                                         " (system: user settings)")
                .size(),
            1u)
      << log;
  EXPECT_EQ(kt::LinesContaining(log, "proxy for host").size(), 2u) << log;
  EXPECT_EQ(log.find("pw-never-logged"), std::string::npos);
}

TEST_F(SystemProxy, TheRunCredentialsAnswerTheProxyTheSystemNames) {
  kt::TestProxy guarded(folder_ + L"\\srv", "alice", "s3cret");
  ASSERT_TRUE(guarded.ok());
  struct Case {
    const char* name;
    bool machineWide;  // named by WinHTTP's machine-wide default, not the user's settings
    const wchar_t* user;
    const wchar_t* password;
    int result;
    const char* expectedInLog;
  };
  const Case cases[] = {
      {"user settings, right credentials", false, L"alice", L"s3cret", 1, "auth=ok result=forwarded"},
      {"machine-wide, right credentials", true, L"alice", L"s3cret", 1, "auth=ok result=forwarded"},
      {"no credentials", false, L"", L"", 0, "auth=missing result=407"},
      {"a wrong password", false, L"alice", L"nope", 0, "auth=wrong result=407"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kestrel::ForgetSystemProxies();
    if (c.machineWide) {
      ASSERT_TRUE(user_.Set(kt::UserProxy{}));
      ASSERT_TRUE(machine_.Set(At(guarded)));
    } else {
      ASSERT_TRUE(user_.Set(kt::MakeUserProxy(At(guarded))));
      machine_.Remove();
    }
    kestrel::ProxySettings settings;
    settings.userName = c.user;
    settings.password = c.password;
    kestrel::StoreProxySettings(settings);
    const size_t before = guarded.Log().size();
    ::DeleteFileW(dest_.c_str());
    EXPECT_EQ(kestrel::DownloadToFile(context_, dest_, LocalUrl(), kestrel::PayloadPin{}), c.result);
    const std::string log = guarded.Log().substr(before);
    EXPECT_FALSE(kt::LinesContaining(log, c.expectedInLog).empty()) << log;
  }
}

}  // namespace
