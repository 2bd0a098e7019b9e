#include "net/audit_trace.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "net/audit_body.h"
#include "net/download_text.h"
#include "net/http_connection.h"
#include "net/self_grow_buffer.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

// How many traces may wait for the sender. A run sends a few dozen; the
// queue fills only while the service does not answer, and then the newest
// traces are the ones dropped, so what is delivered keeps its order.
constexpr size_t kQueueLimit = 256;

// Every phase of a post is bounded, so a service behind a firewall that
// drops packets, or one that accepts and never answers, holds the sender
// for seconds, never for the run. Under Wine the timeouts of
// WinHttpSetTimeouts did not end a TLS handshake that got no answer; the
// receive-response timeout does.
constexpr int kResolveMs = 10000;
constexpr int kConnectMs = 10000;
constexpr int kSendMs = 10000;
constexpr int kReceiveMs = 10000;

struct Trace {
  std::string text;
  AuditTraceConfig config;
};

// The queue and its one sender thread. Allocated once and never freed: a
// sender blocked in a post must not meet a destroyed queue while the
// process ends.
struct Sender {
  std::mutex mutex;
  std::condition_variable queued;
  std::condition_variable idle;
  std::deque<Trace> waiting;
  bool posting = false;
  bool threadStarted = false;
  std::vector<std::string> sent;
  AuditTraceConfig config;
};

Sender& TheSender() {
  static Sender* sender = new Sender;
  return *sender;
}

// One HTTPS POST; any failure drops the trace.
void Post(const Trace& trace) {
  SelfGrowBuffer body;
  if (!AppendAuditTraceBody(body, trace.config.partnerId, trace.text)) return;

  // Always over TLS: on 443 unless the endpoint names a port.
  UrlParts parts = SplitUrl(trace.config.endpoint);
  if (!parts.explicitPort) parts.port = 443;
  auto* raw = new WOSHttpSyncedConnection();
  ConnectionPtr connection(raw);
  if (!connection->Open(parts.host, parts.port, "POST", parts.path, 1)) return;
  connection->SetTimeouts(kResolveMs, kConnectMs, kSendMs, kReceiveMs);
  raw->SetResponseTimeout(kReceiveMs);
  connection->AddHeader("Content-Type", "application/xml; charset=utf-8");
  connection->SetContentLength(body.length());
  if (!connection->Send(body.data(), body.length())) return;
  if (!connection->ReceiveResponse()) return;
  // Read only to complete the exchange; nothing in the reply matters.
  (void)connection->ReadAll(nullptr);
}

void SenderLoop() {
  Sender& sender = TheSender();
  for (;;) {
    Trace trace;
    {
      std::unique_lock<std::mutex> lock(sender.mutex);
      sender.posting = false;
      if (sender.waiting.empty()) sender.idle.notify_all();
      sender.queued.wait(lock, [&] { return !sender.waiting.empty(); });
      trace = std::move(sender.waiting.front());
      sender.waiting.pop_front();
      sender.posting = true;
    }
    try {
      Post(trace);
    } catch (...) {
      // Out of memory: this trace is lost, the next one may go.
    }
  }
}

}  // namespace

void ConfigureAuditTrace(AuditTraceConfig config) {
  Sender& sender = TheSender();
  std::lock_guard<std::mutex> lock(sender.mutex);
  sender.config = std::move(config);
}

void SendAuditTrace(const std::string& text) {
  win::LogUtf8("audit trace: " + text);
  Sender& sender = TheSender();
  std::lock_guard<std::mutex> lock(sender.mutex);
  sender.sent.push_back(text);
  if (sender.config.endpoint.empty()) return;
  if (sender.waiting.size() >= kQueueLimit) return;
  if (!sender.threadStarted) {
    try {
      // Never joined: the process may end while a post still hangs.
      std::thread(SenderLoop).detach();
      sender.threadStarted = true;
    } catch (...) {
      return;  // no sender: the trace is only recorded
    }
  }
  sender.waiting.push_back({text, sender.config});
  sender.queued.notify_one();
}

bool FlushAuditTraces(uint32_t timeoutMs) {
  Sender& sender = TheSender();
  std::unique_lock<std::mutex> lock(sender.mutex);
  return sender.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return sender.waiting.empty() && !sender.posting; });
}

std::vector<std::string> SentAuditTraces() {
  Sender& sender = TheSender();
  std::lock_guard<std::mutex> lock(sender.mutex);
  return sender.sent;
}

}  // namespace kestrel
