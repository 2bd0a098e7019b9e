// The program's one logging operation: each trace is posted to the audit
// service. Failures are silent; the caller always goes on.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrel {

// The built-in partner identifier used when the file name carries none.
inline constexpr char kDefaultPartnerId[] = "5E0C7A1B-93D4-4F62-A8B1-3C2D7E9F4A60";

// Posts the trace synchronously: the calling thread waits for the reply,
// or for WinHTTP's timeouts when the service cannot be reached.
void SendAuditTrace(const std::string& text);

// Traces sent so far by this process, in order, whether or not they
// reached the service.
std::vector<std::string> SentAuditTraces();

// Points the traces at another service ("https://host[:port]/path"); an
// empty text sends none at all. Without a call the endpoint is built-in
// string 146. Test programs, which do not carry the executable's
// resources, use it to reach a local server.
void SetAuditServiceEndpoint(std::optional<std::string> url);

}  // namespace kestrel
