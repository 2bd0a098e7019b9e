// The XML document of one audit trace.
#pragma once

#include <string>
#include <string_view>

#include "net/self_grow_buffer.h"

namespace kestrel {

// The service contract's namespace.
inline constexpr char kAuditNamespace[] = "http://schemas.vantoris.example/enterprise/2013/partneraudit";

// "&", "<" and ">" as entities; everything else byte for byte.
std::string XmlEscape(std::string_view text);

// Appends the whole document, without line breaks: declaration, root with
// its namespace, PartnerId, Action "InstallGUI", Trace. False when the
// buffer could not grow.
bool AppendAuditTraceBody(SelfGrowBuffer& buffer, std::string_view partnerId, std::string_view text);
std::string AuditTraceBody(std::string_view partnerId, std::string_view text);

}  // namespace kestrel
