// The program's one logging operation: each trace is posted to the audit
// service. Failures are silent; the caller always goes on.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

// The built-in partner identifier used when the file name carries none.
inline constexpr char kDefaultPartnerId[] = "5E0C7A1B-93D4-4F62-A8B1-3C2D7E9F4A60";

void SendAuditTrace(const std::string& text);

// Traces sent so far by this process, in order.
std::vector<std::string> SentAuditTraces();

}  // namespace kestrel
