// Audit traces posted through the real WinHTTP to the local HTTPS server,
// from this process through the seam and from the real executable through
// its stamped endpoint.
#include <gtest/gtest.h>

#include "net/audit_trace.h"
#include "net/proxy_settings.h"
#include "support/net_fixtures.h"
#include "support/test_support.h"

namespace {

constexpr char kPath[] = "/namespace/n.svc/partneraudittrace";

std::string Document(const std::string& partnerId, const std::string& trace) {
  return "<?xml version='1.0' encoding='utf-8' ?>"
         "<PartnetAuditTrace  xmlns=\"http://schemas.vantoris.example/enterprise/2013/partneraudit\">"
         "<PartnerId>" + partnerId + "</PartnerId><Action>InstallGUI</Action><Trace>" + trace +
         "</Trace></PartnetAuditTrace>";
}

class AuditTrace : public testing::Test {
 protected:
  void SetUp() override {
    kestrel::StoreProxySettings({});
    folder_ = kt::ScratchFolder(L"audit");
    server_ = std::make_unique<kt::TestServer>(folder_, /*https=*/true);
    ASSERT_TRUE(server_->ok());
    Configure(kestrel::kDefaultPartnerId, server_->HttpsUrl(kPath));
  }
  void TearDown() override {
    kestrel::ConfigureAuditTrace({});
    server_.reset();
    kt::RemoveTree(folder_);
  }
  static void Configure(const std::string& partnerId, const std::string& endpoint) {
    kestrel::ConfigureAuditTrace({partnerId, endpoint});
  }
  // The n-th POST the server stored (1-based).
  std::string Body(int n) const { return kt::ReadFileBytes(PostFile(n, L".body")); }
  std::string Headers(int n) const { return kt::ReadFileBytes(PostFile(n, L".headers")); }
  std::wstring PostFile(int n, const wchar_t* extension) const {
    wchar_t name[16];
    swprintf(name, 16, L"\\%04d", n);
    return server_->postDir() + name + extension;
  }

  std::wstring folder_;
  std::unique_ptr<kt::TestServer> server_;
};

TEST_F(AuditTrace, CommitPageTraceAsTheServiceReceivesIt) {
  kestrel::SendAuditTrace("commit page");
  ASSERT_TRUE(kestrel::FlushAuditTraces(kt::kPatienceMs));
  const std::string body = Body(1);
  EXPECT_EQ(body, Document("5E0C7A1B-93D4-4F62-A8B1-3C2D7E9F4A60", "commit page"));
  EXPECT_EQ(body.size(), 260u);
  const std::string headers = Headers(1);
  EXPECT_EQ(headers.rfind(std::string("POST ") + kPath + " HTTP/1.1\n", 0), 0u) << headers;
  EXPECT_NE(headers.find("Content-Type: application/xml; charset=utf-8\n"), std::string::npos) << headers;
  EXPECT_NE(headers.find("Content-Length: 260\n"), std::string::npos) << headers;
}

TEST_F(AuditTrace, PartnerIdEmptyTextAndMarkupCharacters) {
  Configure("acme&co", server_->HttpsUrl(kPath));
  kestrel::SendAuditTrace("");
  kestrel::SendAuditTrace("a<b>");
  ASSERT_TRUE(kestrel::FlushAuditTraces(kt::kPatienceMs));
  EXPECT_EQ(Body(1), Document("acme&amp;co", ""));
  const std::string escaped = Document("acme&amp;co", "a&lt;b&gt;");
  EXPECT_EQ(Body(2), escaped);
  EXPECT_NE(Headers(2).find("Content-Length: " + std::to_string(escaped.size()) + "\n"), std::string::npos);
}

// A trace shows nothing to anyone (a message box would hold this test until
// it times out) and the caller goes on.
TEST_F(AuditTrace, UnreachableServiceLeavesTheCallerGoing) {
  const auto before = kestrel::SentAuditTraces().size();
  // Nothing listens there: the connection is refused.
  Configure(kestrel::kDefaultPartnerId, "https://localhost:1" + std::string(kPath));
  kestrel::SendAuditTrace("commit:task completed");
  // A server that answers plain HTTP on the TLS port.
  Configure(kestrel::kDefaultPartnerId, "https://localhost:" + std::to_string(server_->httpPort()) + kPath);
  kestrel::SendAuditTrace("commit:task completed");
  EXPECT_TRUE(kestrel::FlushAuditTraces(kt::kPatienceMs));
  EXPECT_EQ(kestrel::SentAuditTraces().size(), before + 2);
  EXPECT_TRUE(Body(1).empty());
}

// The caller never waits on the service: a service that accepts and never
// answers leaves SendAuditTrace returning at once, and the sender gives up
// on each post after its timeouts instead of hanging the queue; the trace
// after it still reaches a service that answers.
TEST_F(AuditTrace, ASilentServiceHoldsNeitherTheCallerNorTheQueue) {
  kt::SilentListener silent;
  ASSERT_TRUE(silent.ok());
  Configure(kestrel::kDefaultPartnerId, "https://localhost:" + std::to_string(silent.port()) + kPath);
  kestrel::SendAuditTrace("to nobody");
  EXPECT_FALSE(kestrel::FlushAuditTraces(0)) << "queued, not yet given up on: the call did not wait for it";
  ASSERT_TRUE(kt::WaitUntil([&] { return silent.connections() > 0; }));
  Configure(kestrel::kDefaultPartnerId, server_->HttpsUrl(kPath));
  kestrel::SendAuditTrace("after the silent one");
  ASSERT_TRUE(kestrel::FlushAuditTraces(kt::kPatienceMs)) << "every phase of a post is bounded";
  EXPECT_EQ(server_->ReceivedTraces(), std::vector<std::string>{"after the silent one"});
  EXPECT_TRUE(kt::WaitUntil([&] { return silent.closedByClients() == silent.connections(); }))
      << "the sender closed the connection it gave up on";
}

// A slow service gets every trace, one after the other, in the order sent.
TEST_F(AuditTrace, ASlowServiceGetsEveryTraceInOrder) {
  Configure(kestrel::kDefaultPartnerId, server_->HttpsUrl("/fault/delay=300" + std::string(kPath)));
  const std::vector<std::string> texts = {"one", "two", "three", "four", "five"};
  for (const auto& text : texts) kestrel::SendAuditTrace(text);
  ASSERT_TRUE(kestrel::FlushAuditTraces(kt::kPatienceMs));
  EXPECT_EQ(server_->ReceivedTraces(), texts);
}

// The body declares UTF-8: so is the system description, whatever the
// product name holds.
TEST_F(AuditTrace, StampedExecutableSendsTheSystemDescriptionFirst) {
  kt::InstallerKeyScope registry;
  const std::wstring exe = kt::CopyInstaller(folder_);
  ASSERT_FALSE(exe.empty());
  const std::wstring url = L"https://localhost:" + std::to_wstring(server_->httpsPort()) + L"/namespace/n.svc/partneraudittrace";
  ASSERT_TRUE(kt::Stamp(exe, L"--string 146=" + url));

  struct Case {
    const wchar_t* productName;
    const wchar_t* buildLabel;
    std::string description;
  } const cases[] = {
      {L"Windows Server\x00AE 2008 R2 Standard", L"7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707",
       "Windows Server\xC2\xAE 2008 R2 Standard (7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707)"},
      {L"Windows Server 2008 R2 \x0421\x0442\x0430\x043D\x0434\x0430\x0440\x0442\x043D\x044B\x0439", L"7601",
       "Windows Server 2008 R2 \xD0\xA1\xD1\x82\xD0\xB0\xD0\xBD\xD0\xB4\xD0\xB0\xD1\x80\xD1\x82\xD0\xBD"
       "\xD1\x8B\xD0\xB9 (7601)"},
  };
  kt::WindowsNameScope names(nullptr, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    names.Set(c.productName, c.buildLabel);
    const int first = static_cast<int>(server_->ReceivedTraces().size()) + 1;
    kt::Process p = kt::Launch(exe, L"/runas");
    HWND wizard = kt::WaitForWindow(L"Marrowfield Installation", p.pid());
    ASSERT_NE(wizard, nullptr);
    // The first trace, sent before the wizard showed, arrives.
    ASSERT_TRUE(kt::WaitForFile(PostFile(first, L".body")));
    EXPECT_EQ(Body(first), Document("5E0C7A1B-93D4-4F62-A8B1-3C2D7E9F4A60", c.description));
    EXPECT_NE(Headers(first).find("Content-Length: " + std::to_string(Body(first).size()) + "\n"), std::string::npos);
    kt::PressButton(wizard, IDCANCEL);
    DWORD code = 1;
    ASSERT_TRUE(p.Wait(&code));
    EXPECT_EQ(code, 1602u);
  }
}

}  // namespace
