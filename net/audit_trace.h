// The program's one logging operation: each trace is posted to the audit
// service. Failures are silent; the caller always goes on.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

// The built-in partner identifier used when the file name carries none.
inline constexpr char kDefaultPartnerId[] = "5E0C7A1B-93D4-4F62-A8B1-3C2D7E9F4A60";

struct AuditTraceConfig {
  // UTF-8; the file name's identifier (which may be empty) or the default.
  std::string partnerId = kDefaultPartnerId;
  // "https://host[:port]/path"; empty sends nothing (traces are still
  // recorded).
  std::string endpoint;
};

// Set once at start-up, before the first trace. Until then traces carry
// the default identifier and go nowhere.
void ConfigureAuditTrace(AuditTraceConfig config);

// Posts the trace synchronously: the calling thread waits for the reply,
// or for WinHTTP's timeouts when the service cannot be reached.
void SendAuditTrace(const std::string& text);

// Traces sent so far by this process, in order, whether or not they
// reached the service.
std::vector<std::string> SentAuditTraces();

}  // namespace kestrel
