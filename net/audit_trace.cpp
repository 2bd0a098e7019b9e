#include "net/audit_trace.h"

#include <mutex>

#include "app/builtin_strings.h"
#include "app/globals.h"
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
std::optional<std::string>& EndpointOverride() {
  static std::optional<std::string> url;
  return url;
}

std::string Endpoint() {
  {
    std::lock_guard<std::mutex> lock(Mutex());
    if (EndpointOverride()) return *EndpointOverride();
  }
  return LoadBuiltInStringUtf8(kStrAuditEndpoint).value_or(std::string());
}

// The partner identifier, installing the default on first use. The first
// trace goes out at start-up before any other thread exists; the lock
// covers later callers on other threads all the same.
std::string PartnerId() {
  std::lock_guard<std::mutex> lock(Mutex());
  if (!g_partnerId) g_partnerId = kDefaultPartnerId;
  return *g_partnerId;
}

}  // namespace

void SendAuditTrace(const std::string& text) {
  const std::string partnerId = PartnerId();
  {
    std::lock_guard<std::mutex> lock(Mutex());
    Sent().push_back(text);
  }
  const std::string endpoint = Endpoint();
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

void SetAuditServiceEndpoint(std::optional<std::string> url) {
  std::lock_guard<std::mutex> lock(Mutex());
  EndpointOverride() = std::move(url);
}

}  // namespace kestrel
