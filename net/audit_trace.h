// The program's one logging operation: each trace is posted to the audit
// service. Failures are silent; the caller always goes on.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Queues the trace and returns at once. One sender thread posts the traces
// in the order they were sent, each post bounded in every phase; a trace
// that cannot be delivered is dropped silently. While the service does not
// answer and 256 traces wait, newer ones are dropped.
void SendAuditTrace(const std::string& text);

// Waits until every queued trace has been posted (or given up on), at most
// timeoutMs; true when the queue is empty. A program that ends normally
// gives its traces this chance, and ends all the same when it runs out.
bool FlushAuditTraces(uint32_t timeoutMs);
inline constexpr uint32_t kAuditFlushAtExitMs = 5000;

// Traces sent so far by this process, in order, whether or not they
// reached the service.
std::vector<std::string> SentAuditTraces();

}  // namespace kestrel
