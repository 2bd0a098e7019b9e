#include "net/audit_trace.h"

#include <mutex>

#include "net/audit_body.h"
#include "net/download_text.h"
#include "net/http_connection.h"
#include "net/self_grow_buffer.h"

namespace kestrel {
namespace {

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
std::vector<std::string>& Sent() {
  static std::vector<std::string> sent;
  return sent;
}
AuditTraceConfig& Config() {
  static AuditTraceConfig config;
  return config;
}

}  // namespace

void ConfigureAuditTrace(AuditTraceConfig config) {
  std::lock_guard<std::mutex> lock(Mutex());
  Config() = std::move(config);
}

void SendAuditTrace(const std::string& text) {
  std::string partnerId, endpoint;
  {
    std::lock_guard<std::mutex> lock(Mutex());
    Sent().push_back(text);
    partnerId = Config().partnerId;
    endpoint = Config().endpoint;
  }
  if (endpoint.empty()) return;

  SelfGrowBuffer body;
  if (!AppendAuditTraceBody(body, partnerId, text)) return;

  // Always over TLS: on 443 unless the endpoint names a port.
  UrlParts parts = SplitUrl(endpoint);
  if (!parts.explicitPort) parts.port = 443;
  ConnectionPtr connection(new WOSHttpSyncedConnection());
  if (!connection->Open(parts.host, parts.port, "POST", parts.path, 1)) return;
  connection->AddHeader("Content-Type", "application/xml; charset=utf-8");
  connection->SetContentLength(body.length());
  if (!connection->Send(body.data(), body.length())) return;
  if (!connection->ReceiveResponse()) return;
  // Read only to complete the exchange; nothing in the reply matters.
  (void)connection->ReadAll(nullptr);
}

std::vector<std::string> SentAuditTraces() {
  std::lock_guard<std::mutex> lock(Mutex());
  return Sent();
}

}  // namespace kestrel
