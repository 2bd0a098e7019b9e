#include "net/audit_body.h"

namespace kestrel {

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool AppendAuditTraceBody(SelfGrowBuffer& buffer, std::string_view partnerId, std::string_view text) {
  const std::string root = std::string("<PartnetAuditTrace  xmlns=\"") + kAuditNamespace + "\">";
  const std::string pieces[] = {
      "<?xml version='1.0' encoding='utf-8' ?>",
      root,
      "<PartnerId>" + XmlEscape(partnerId) + "</PartnerId>",
      "<Action>InstallGUI</Action>",
      "<Trace>" + XmlEscape(text) + "</Trace>",
      "</PartnetAuditTrace>",
  };
  for (const std::string& piece : pieces)
    if (!buffer.Append(piece.data(), piece.size())) return false;
  return true;
}

std::string AuditTraceBody(std::string_view partnerId, std::string_view text) {
  SelfGrowBuffer buffer;
  if (!AppendAuditTraceBody(buffer, partnerId, text)) return {};
  return std::string(buffer.data(), buffer.length());
}

}  // namespace kestrel
