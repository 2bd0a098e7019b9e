// Downloads through the real WinHTTP against the local test server and
// proxy. Every link names its port: the server listens on a free one.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/payload_pin.h"
#include "core/text_convert.h"
#include "net/audit_trace.h"
#include "net/download.h"
#include "net/download_text.h"
#include "net/proxy_settings.h"
#include "support/net_fixtures.h"
#include "support/recording_context.h"
#include "support/test_support.h"
#include "win/module.h"
#include "win/run_log.h"
#include "win/sha256.h"

namespace {

using kestrel::PayloadPin;

// Downloads without a pin; the pinned ones say so.
int DownloadToFile(kestrel::Reporter& context, const std::wstring& destination, const std::string& url) {
  return kestrel::DownloadToFile(context, destination, url, {});
}

PayloadPin PinOf(const std::string& bytes) {
  win::Sha256 sha;
  PayloadPin pin;
  auto digest = sha.ok() && sha.Add(bytes.data(), bytes.size()) ? sha.Finish() : std::nullopt;
  if (!digest) return pin;
  pin.kind = PayloadPin::Kind::kSha256;
  pin.digest = *digest;
  pin.text = kestrel::PinText(*digest);
  return pin;
}


// Compares without printing megabytes of binary on a mismatch.
testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return testing::AssertionFailure() << "got " << actual.size() << " bytes, expected " << expected.size()
                                     << ", first difference at " << at;
}

class Download : public testing::Test {
 protected:
  void SetUp() override {
    kestrel::StoreProxySettings({});
    folder_ = kt::ScratchFolder(L"download");
    ASSERT_TRUE(kt::CreateFolders(folder_ + L"\\srv"));
    ASSERT_TRUE(kt::CreateFolders(folder_ + L"\\out"));
    server_ = std::make_unique<kt::TestServer>(folder_ + L"\\srv", /*https=*/true);
    ASSERT_TRUE(server_->ok()) << "test server did not start";
    dest_ = folder_ + L"\\out\\file.bin";
    // These servers answer at once or fail for good: attempts need no pause.
    context_.settings.downloadRetryPauseMs = 0;
  }
  void TearDown() override {
    kestrel::StoreProxySettings({});
    server_.reset();
    kt::RemoveTree(folder_);
  }

  std::string Put(const std::string& name, size_t size, unsigned seed = 1) {
    std::string bytes = kt::PatternBytes(size, seed);
    EXPECT_TRUE(server_->AddFile(name, bytes));
    return bytes;
  }
  std::string Received() const { return kt::ReadFileBytes(dest_); }

  std::wstring folder_, dest_;
  std::unique_ptr<kt::TestServer> server_;
  kt::RecordingContext context_;
};

TEST_F(Download, CutTransferResumesWithRangeAndCompletes) {
  const std::string bytes = Put("a.bin", 300000);
  ASSERT_EQ(DownloadToFile(context_, dest_, server_->HttpUrl("/fault/cut-once=100000/a.bin")), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));

  auto resumed = kt::LinesContaining(server_->Log(), "range=bytes=");
  ASSERT_EQ(resumed.size(), 1u) << server_->Log();
  EXPECT_NE(resumed[0].find("status=206"), std::string::npos) << resumed[0];
  // The resume starts at the bytes written by the first attempt; the last
  // progress reaches the whole size.
  const size_t at = resumed[0].find("range=bytes=") + 12;
  const unsigned long long offset = std::stoull(resumed[0].substr(at));
  EXPECT_GT(offset, 0u);
  EXPECT_LE(offset, 100000u);
  EXPECT_EQ(context_.lastStatus(), L"#Progress:300000 300000@@Download:292.97 KB of 292.97 KB");
  EXPECT_TRUE(context_.questions().empty());
}

TEST_F(Download, RangeAnsweredWithWholeFileRestartsFromZeroAndOverwrites) {
  const std::string bytes = Put("b.bin", 250000, 2);
  // Two cut answers that ignore the range, then a whole one.
  ASSERT_EQ(DownloadToFile(context_, dest_, server_->HttpUrl("/fault/cut=90000,ignore-range,times=2/b.bin")), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  auto requests = kt::LinesContaining(server_->Log(), "GET ");
  ASSERT_EQ(requests.size(), 3u) << server_->Log();
  EXPECT_EQ(requests[0].find("range="), std::string::npos);
  EXPECT_NE(requests[1].find("range=bytes="), std::string::npos);
  EXPECT_NE(requests[1].find("status=200"), std::string::npos);
  EXPECT_EQ(requests[2].find("range="), std::string::npos) << "the third attempt starts over";
}

TEST_F(Download, FailuresUseAllSixAttemptsWithoutAMessage) {
  Put("c.bin", 70000);
  const struct {
    const char* path;
    const char* expectedInLog;  // on every request
  } cases[] = {
      {"/missing.bin", "status=404"},
      {"/fault/status=500/c.bin", "status=500"},
      // Without a length a body ended by a close cannot be told from a
      // broken one: never complete.
      {"/fault/no-length/c.bin", "GET /fault/no-length/c.bin"},
      // Nor can a chunked one: this WinHTTP ends a chunked body cut before
      // its closing chunk exactly like a whole one.
      {"/fault/chunked/c.bin", "GET /fault/chunked/c.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    kt::RecordingContext context;
    context.settings.downloadRetryPauseMs = 0;
    const std::string before = server_->Log();
    EXPECT_EQ(DownloadToFile(context, dest_, server_->HttpUrl(c.path)), 0);
    const std::string log = server_->Log().substr(before.size());
    EXPECT_EQ(kt::LinesContaining(log, "GET ").size(), 6u) << log;
    EXPECT_EQ(kt::LinesContaining(log, c.expectedInLog).size(), 6u) << log;
    EXPECT_TRUE(context.questions().empty());
  }
}

TEST_F(Download, NoLengthShowsAnUnknownTotal) {
  Put("c.bin", 70000);
  EXPECT_EQ(DownloadToFile(context_, dest_, server_->HttpUrl("/fault/no-length/c.bin")), 0);
  const auto statuses = context_.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                      L"#Progress:70000 -1@@Download: 68.36 KB of 16777216.00 TB"),
            statuses.end());
}

// A server away for seconds in the middle of a transfer: the growing pauses
// between attempts outlast the outage (the shipped 1, 2, 4 s before the
// fourth attempt) and the transfer resumes from the bytes it has.
TEST_F(Download, AServerAwayForSecondsIsWaitedForAndTheTransferResumes) {
  const std::string bytes = Put("outage.bin", size_t{3} << 20, 6);
  kt::RecordingContext context;
  int result = -1;
  std::thread download(
      [&] { result = DownloadToFile(context, dest_, server_->HttpUrl("/fault/slow=1000000/outage.bin")); });
  ASSERT_TRUE(kt::WaitUntil([&] {
    const std::wstring status = context.lastStatus();
    return status.rfind(L"#Progress:", 0) == 0 && status.rfind(L"#Progress:0 ", 0) != 0;
  }));
  server_->Kill();
  ::Sleep(5000);
  const bool back = server_->Restart();
  download.join();
  ASSERT_TRUE(back) << "the server did not come back on its port";
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  const auto resumed = kt::LinesContaining(server_->Log(), "range=bytes=");
  ASSERT_EQ(resumed.size(), 1u) << server_->Log();
  EXPECT_NE(resumed[0].find("status=206"), std::string::npos) << resumed[0];
  EXPECT_TRUE(context.questions().empty());
}

// Many pieces at loopback speed: the row gets far fewer texts than the
// download has pieces, and ends with the same last text as ever.
TEST_F(Download, ManyPiecesWriteFewTextsAndEndWithTheWholeSize) {
  const size_t size = size_t{32} << 20;
  const std::string bytes = Put("many.bin", size, 7);
  ASSERT_EQ(DownloadToFile(context_, dest_, server_->HttpUrl("/many.bin")), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  const size_t pieces = size / kestrel::kDownloadPiece;
  EXPECT_LT(context_.statuses().size(), pieces / 4) << "one text per piece would be " << pieces;
  EXPECT_EQ(context_.lastStatus(), L"#Progress:33554432 33554432@@Download: 32.00 MB of  32.00 MB");
}

TEST_F(Download, UrlWithoutPathAsksForRoot) {
  EXPECT_EQ(DownloadToFile(context_, dest_, "http://localhost:" + std::to_string(server_->httpPort())), 0);
  EXPECT_EQ(kt::LinesContaining(server_->Log(), "GET / ").size(), 6u) << server_->Log();
}

TEST_F(Download, HttpsAgainstTheTestAuthority) {
  const std::string bytes = Put("e.bin", 150000, 4);
  ASSERT_EQ(DownloadToFile(context_, dest_, server_->HttpsUrl("/e.bin")), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  // And resuming inside TLS.
  kt::RecordingContext again;
  again.settings.downloadRetryPauseMs = 0;
  ASSERT_EQ(DownloadToFile(again, dest_, server_->HttpsUrl("/fault/cut-once=40000/e.bin")), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
}

TEST_F(Download, ReadOnlyDestinationIsReplaced) {
  const std::string bytes = Put("f.bin", 1000, 5);
  ASSERT_TRUE(kt::WriteFileBytes(dest_, "old content that is longer than nothing"));
  ASSERT_TRUE(::SetFileAttributesW(dest_.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(DownloadToFile(context_, dest_, server_->HttpUrl("/f.bin")), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  EXPECT_EQ(::GetFileAttributesW(dest_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Download, DestinationThatCannotBeCreatedIsReportedOnce) {
  Put("g.bin", 1000);
  const auto tracesBefore = kestrel::SentAuditTraces().size();
  EXPECT_EQ(DownloadToFile(context_, folder_ + L"\\no-such-folder\\g.bin", server_->HttpUrl("/g.bin")), 0);
  const auto questions = context_.questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, L"Failed to create destination file for .Net:3");
  EXPECT_EQ(questions[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OK));
  const auto traces = kestrel::SentAuditTraces();
  ASSERT_EQ(traces.size(), tracesBefore + 1);
  EXPECT_EQ(traces.back(), "faild to create dest file");
  EXPECT_TRUE(kt::LinesContaining(server_->Log(), "GET ").empty()) << "no attempt is made";
}

TEST_F(Download, FileLinkCopiesFromBesideTheExecutable) {
  const std::wstring source = win::ExecutableFolder() + L"\\kt-file-link.bin";
  const std::string bytes = kt::PatternBytes(5000, 6);
  ASSERT_TRUE(kt::WriteFileBytes(source, bytes));
  ASSERT_TRUE(kt::WriteFileBytes(dest_, "old"));
  ASSERT_TRUE(::SetFileAttributesW(dest_.c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_EQ(DownloadToFile(context_, dest_, "FILE:kt-file-link.bin"), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  // No attempt was made: no status at all.
  EXPECT_TRUE(context_.statuses().empty());

  EXPECT_EQ(DownloadToFile(context_, dest_, "file:kt-no-such-file.bin"), 0);
  EXPECT_EQ(::GetFileAttributesW(dest_.c_str()), INVALID_FILE_ATTRIBUTES) << "the old destination is gone";
  EXPECT_TRUE(context_.statuses().empty());
  EXPECT_TRUE(context_.questions().empty());
  ::DeleteFileW(source.c_str());
}

TEST_F(Download, LongDestinationPath) {
  const std::string bytes = Put("h.bin", 3000, 7);
  std::wstring folder = folder_ + L"\\out";
  while (folder.size() < 240) {
    folder += L"\\" + std::wstring(40, L'd');
    ASSERT_TRUE(::CreateDirectoryW(win::LongPath(folder).c_str(), nullptr));
  }
  const std::wstring dest = folder + L"\\h.bin";
  ASSERT_EQ(DownloadToFile(context_, dest, server_->HttpUrl("/h.bin")), 1)
      << (context_.questions().empty() ? std::string() : testing::PrintToString(context_.questions()[0].text));
  EXPECT_TRUE(SameBytes(kt::ReadFileBytes(win::LongPath(dest)), bytes));
}

// Pinned payloads: each piece is hashed as it is written, the hash follows
// the file through resumed and restarted attempts, and only a file that
// matches its pin stays.
class PinnedDownload : public Download {
 protected:
  void SetUp() override {
    Download::SetUp();
    // A log of each test's own, outside the folder the next test clears:
    // the log stays open until another one is opened.
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    log_ = L"C:\\ktest\\download-" + std::wstring(name.begin(), name.end()) + L".log";
    ASSERT_TRUE(win::OpenRunLog(log_));
  }
  std::vector<std::string> LogLines(const std::string& text) const {
    return kt::LinesContaining(kt::ReadFileBytes(log_), text);
  }
  std::wstring log_;
};

TEST_F(PinnedDownload, AFileThatMatchesItsPinIsKept) {
  const std::string bytes = Put("p.bin", 300000, 11);
  const PayloadPin pin = PinOf(bytes);
  ASSERT_TRUE(pin.pinned());
  const std::string pinText = kestrel::WideToUtf8(pin.text).value_or("");
  const struct {
    const char* path;
    size_t requests;
  } cases[] = {
      {"/p.bin", 1},
      // Resumed with a range: the hash goes on from the bytes it has.
      {"/fault/cut-once=100000/p.bin", 2},
      // Started over from byte 0 twice: the hash starts over with the file.
      {"/fault/cut=90000,ignore-range,times=2/p.bin", 3},
      // No length, or a chunked body: complete at the end of the body once
      // the hash matches.
      {"/fault/no-length/p.bin", 1},
      {"/fault/chunked/p.bin", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    kt::RecordingContext context;
    context.settings.downloadRetryPauseMs = 0;
    const std::string before = server_->Log();
    const size_t verifiedBefore = LogLines("verified " + pinText).size();
    EXPECT_EQ(kestrel::DownloadToFile(context, dest_, server_->HttpUrl(c.path), pin), 1);
    EXPECT_TRUE(SameBytes(Received(), bytes));
    EXPECT_EQ(kt::LinesContaining(server_->Log().substr(before.size()), "GET ").size(), c.requests);
    EXPECT_TRUE(context.questions().empty());
    EXPECT_EQ(LogLines("verified " + pinText).size(), verifiedBefore + 1);
  }
  EXPECT_TRUE(LogLines("unverified").empty());
}

TEST_F(PinnedDownload, AFileThatDoesNotMatchIsDeletedAndReported) {
  const std::string bytes = Put("wrong.bin", 200000, 12);
  PayloadPin pin = PinOf("what the maker built");
  const std::wstring expected = pin.text, received = PinOf(bytes).text;
  for (const char* path : {"/wrong.bin", "/fault/no-length/wrong.bin", "/fault/cut-once=50000/wrong.bin"}) {
    SCOPED_TRACE(path);
    kt::RecordingContext context;
    context.settings.downloadRetryPauseMs = 0;
    const auto tracesBefore = kestrel::SentAuditTraces().size();
    const std::string before = server_->Log();
    EXPECT_EQ(kestrel::DownloadToFile(context, dest_, server_->HttpUrl(path), pin), 0);
    EXPECT_FALSE(kt::Exists(dest_)) << "the file is gone";
    const auto questions = context.questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, L"Verification of file.bin failed: the file is not the one this installer expects, "
                                 L"so it was deleted and nothing was started.\nExpected " +
                                     expected + L"\nReceived " + received);
    EXPECT_EQ(questions[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OK));
    const auto traces = kestrel::SentAuditTraces();
    ASSERT_EQ(traces.size(), tracesBefore + 1);
    EXPECT_EQ(traces.back(), "payload mismatch:file.bin expected " + kestrel::WideToUtf8(expected).value_or("") +
                                 " received " + kestrel::WideToUtf8(received).value_or(""));
    // A whole body that hashes wrong is not fetched again.
    const size_t requests = kt::LinesContaining(server_->Log().substr(before.size()), "GET ").size();
    EXPECT_EQ(requests, std::string(path).find("cut-once") != std::string::npos ? 2u : 1u);
  }
  EXPECT_EQ(LogLines("sha256 mismatch, expected " + kestrel::WideToUtf8(expected).value_or("") + ", received " +
                     kestrel::WideToUtf8(received).value_or("") + "; file deleted")
                .size(),
            3u);
}

TEST_F(PinnedDownload, AnUnpinnedFileIsKeptAndLoggedAsUnverified) {
  const std::string bytes = Put("u.bin", 70000, 13);
  ASSERT_EQ(DownloadToFile(context_, dest_, server_->HttpUrl("/u.bin")), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  EXPECT_EQ(LogLines("unverified (no pin)").size(), 1u);
  EXPECT_TRUE(LogLines(": verified").empty());
}

TEST_F(PinnedDownload, AMalformedPinDownloadsNothing) {
  Put("m.bin", 1000, 14);
  ASSERT_TRUE(kt::WriteFileBytes(dest_, "from an earlier run"));
  const PayloadPin pin = kestrel::ParsePayloadPin(L"sha256:1234");
  const auto tracesBefore = kestrel::SentAuditTraces().size();
  EXPECT_EQ(kestrel::DownloadToFile(context_, dest_, server_->HttpUrl("/m.bin"), pin), 0);
  EXPECT_TRUE(kt::LinesContaining(server_->Log(), "GET ").empty());
  const auto questions = context_.questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, L"The pin of file.bin in this installer is not valid (it must be \"sha256:\" and 64 "
                               L"hexadecimal digits), so nothing was downloaded: sha256:1234");
  const auto traces = kestrel::SentAuditTraces();
  ASSERT_EQ(traces.size(), tracesBefore + 1);
  EXPECT_EQ(traces.back(), "invalid payload pin:file.bin");
}

TEST_F(PinnedDownload, ACopiedFileIsCheckedToo) {
  const std::wstring source = win::ExecutableFolder() + L"\\kt-pinned-link.bin";
  const std::string bytes = kt::PatternBytes(150000, 15);
  ASSERT_TRUE(kt::WriteFileBytes(source, bytes));
  EXPECT_EQ(kestrel::DownloadToFile(context_, dest_, "file:kt-pinned-link.bin", PinOf(bytes)), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  EXPECT_TRUE(context_.questions().empty());

  EXPECT_EQ(kestrel::DownloadToFile(context_, dest_, "file:kt-pinned-link.bin", PinOf("another file")), 0);
  EXPECT_FALSE(kt::Exists(dest_));
  ASSERT_EQ(context_.questions().size(), 1u);
  EXPECT_EQ(context_.questions()[0].text.rfind(L"Verification of file.bin failed:", 0), 0u);
  EXPECT_EQ(LogLines("copy file:kt-pinned-link.bin").size(), 4u) << "copied, verified; copied, mismatch";
  ::DeleteFileW(source.c_str());
}

class DownloadThroughProxy : public Download {};

TEST_F(DownloadThroughProxy, OpenAndAuthenticatingProxies) {
  const std::string bytes = Put("p.bin", 120000, 8);
  kt::TestProxy open(folder_ + L"\\srv");
  kt::TestProxy guarded(folder_ + L"\\out", "alice", "s3cret");
  ASSERT_TRUE(open.ok());
  ASSERT_TRUE(guarded.ok());
  // The proxy is named by its address: WinHTTP under Wine skips the
  // CONNECT when the proxy's host name equals the server's ("localhost").
  auto proxyAt = [](int port, const std::wstring& user, const std::wstring& password) {
    kestrel::ProxySettings settings;
    settings.mode = kestrel::ProxyMode::kCustom;
    settings.server = L"127.0.0.1:" + std::to_wstring(port);
    settings.userName = user;
    settings.password = password;
    return settings;
  };
  const struct {
    const char* name;
    kestrel::ProxySettings settings;
    const kt::TestProxy* proxy;
    bool https;
    int result;
    const char* expectedInLog;
  } cases[] = {
      {"open, http", proxyAt(open.port(), L"", L""), &open, false, 1, "auth=off result=forwarded"},
      {"open, https", proxyAt(open.port(), L"", L""), &open, true, 1, "result=tunnel"},
      {"with credentials, http", proxyAt(guarded.port(), L"alice", L"s3cret"), &guarded, false, 1,
       "auth=ok result=forwarded"},
      // Credentials go out only when both are set.
      {"user name only", proxyAt(guarded.port(), L"alice", L""), &guarded, false, 0, "auth=missing result=407"},
      {"wrong password", proxyAt(guarded.port(), L"alice", L"nope"), &guarded, false, 0, "auth=wrong result=407"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kestrel::StoreProxySettings(c.settings);
    kt::RecordingContext context;
    context.settings.downloadRetryPauseMs = 0;
    const std::string before = c.proxy->Log();
    const std::string url = c.https ? server_->HttpsUrl("/p.bin") : server_->HttpUrl("/p.bin");
    EXPECT_EQ(DownloadToFile(context, dest_, url), c.result);
    if (c.result == 1) {
      EXPECT_TRUE(SameBytes(Received(), bytes));
    }
    const std::string log = c.proxy->Log().substr(before.size());
    EXPECT_FALSE(kt::LinesContaining(log, c.expectedInLog).empty()) << log;
  }
}

TEST_F(DownloadThroughProxy, BypassListGoesDirect) {
  const std::string bytes = Put("q.bin", 1000, 9);
  kt::TestProxy open(folder_ + L"\\srv");
  ASSERT_TRUE(open.ok());
  kestrel::ProxySettings settings;
  settings.mode = kestrel::ProxyMode::kCustom;
  settings.server = L"127.0.0.1:" + std::to_wstring(open.port());
  settings.bypassList = L"localhost";
  kestrel::StoreProxySettings(settings);
  ASSERT_EQ(DownloadToFile(context_, dest_, server_->HttpUrl("/q.bin")), 1);
  EXPECT_TRUE(SameBytes(Received(), bytes));
  EXPECT_EQ(open.Log(), "");
}

}  // namespace
