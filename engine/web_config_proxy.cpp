#include "engine/web_config_proxy.h"

#include "net/audit_body.h"

namespace kestrel {
namespace {

constexpr std::string_view kConfigurationEnd = "</configuration>";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Attribute values are written between double quotes.
std::string AttributeText(std::string_view text) {
  std::string out;
  for (char c : XmlEscape(text)) {
    if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

std::string DefaultProxyElement(std::string_view server, std::string_view bypassList) {
  std::string out = "\t<defaultProxy useDefaultCredentials=\"true\">\n";
  out += "\t\t<proxy   usesystemdefault=\"true\"    proxyaddress=\"http://" + AttributeText(server) +
         "\" bypassonlocal=\"true\"  />\n";
  out += "\t\t<bypasslist>\n";
  size_t start = 0;
  while (start <= bypassList.size()) {
    size_t end = bypassList.find(';', start);
    if (end == std::string_view::npos) end = bypassList.size();
    if (end > start) out += "\t\t\t <add address=\"" + AttributeText(bypassList.substr(start, end - start)) + "\" />\n";
    start = end + 1;
  }
  out += "\t\t</bypasslist>\n";
  out += "\t</defaultProxy>\n";
  return out;
}

// Comments, CDATA sections and processing instructions hold text, not
// markup: a sample section commented out in the file must not receive the
// proxy, nor may a commented-out closing tag end the configuration.
struct OpaqueMarkup {
  std::string_view open, close;
};
constexpr OpaqueMarkup kOpaqueMarkup[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};

// Start of the first tag beginning with prefix in [from, to) that is not
// inside opaque markup; from must not lie inside such markup itself. An
// unterminated comment, section or instruction hides the rest of the text.
size_t FindTag(std::string_view text, std::string_view prefix, size_t from, size_t to = std::string_view::npos) {
  size_t at = text.find('<', from);
  while (at != std::string_view::npos && at < to) {
    const std::string_view rest = text.substr(at);
    const OpaqueMarkup* opaque = nullptr;
    for (const OpaqueMarkup& markup : kOpaqueMarkup)
      if (rest.starts_with(markup.open)) opaque = &markup;
    if (opaque != nullptr) {
      const size_t end = text.find(opaque->close, at + opaque->open.size());
      if (end == std::string_view::npos) return std::string_view::npos;
      at = text.find('<', end + opaque->close.size());
      continue;
    }
    if (rest.starts_with(prefix)) return at;
    at = text.find('<', at + 1);
  }
  return std::string_view::npos;
}

// Start of "<name" followed by the end of the name, in [from, to).
size_t FindElement(std::string_view text, std::string_view name, size_t from, size_t to) {
  std::string open;
  open.reserve(name.size() + 1);
  open += '<';
  open.append(name.data(), name.size());
  for (size_t at = FindTag(text, open, from, to); at != std::string_view::npos; at = FindTag(text, open, at + 1, to)) {
    const size_t after = at + open.size();
    if (after < text.size() && (text[after] == '>' || text[after] == '/' || IsSpace(text[after]))) return at;
  }
  return std::string_view::npos;
}

// The start of at's line when only blanks precede it there.
size_t LineStartIfIndented(std::string_view text, size_t at) {
  size_t i = at;
  while (i > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t')) --i;
  return (i == 0 || text[i - 1] == '\n') ? i : at;
}

// Past the line break when only blanks follow end on its line.
size_t PastLineEndIfTrailing(std::string_view text, size_t end) {
  size_t i = end;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
  if (i < text.size() && text[i] == '\n') return i + 1;
  return i == text.size() ? i : end;
}

}  // namespace

std::optional<std::string> AddProxyToWebConfig(std::string_view content, std::string_view server,
                                               std::string_view bypassList) {
  const size_t configurationEnd = FindTag(content, kConfigurationEnd, 0);
  if (configurationEnd == std::string_view::npos) return std::nullopt;
  const std::string element = DefaultProxyElement(server, bypassList);

  const size_t section = FindElement(content, "system.net", 0, configurationEnd);
  if (section == std::string_view::npos) {
    std::string out(content.substr(0, configurationEnd));
    out += "\n\n<system.net>\n";
    out += element;
    out += "</system.net>\n</configuration>\n";
    return out;
  }

  const size_t sectionTagEnd = content.find('>', section);
  if (sectionTagEnd == std::string_view::npos || sectionTagEnd > configurationEnd) return std::nullopt;
  std::string out;
  if (content[sectionTagEnd - 1] == '/') {
    // <system.net/>: the section becomes one with the proxy in it.
    out = std::string(content.substr(0, section)) + "<system.net>\n" + element + "</system.net>" +
          std::string(content.substr(sectionTagEnd + 1));
    return out;
  }
  const size_t sectionClose = FindTag(content, "</system.net>", sectionTagEnd + 1);
  if (sectionClose == std::string_view::npos || sectionClose > configurationEnd) return std::nullopt;

  const size_t proxy = FindElement(content, "defaultProxy", sectionTagEnd + 1, sectionClose);
  if (proxy == std::string_view::npos) {
    const size_t at = LineStartIfIndented(content, sectionClose);
    out = std::string(content.substr(0, at));
    if (at == sectionClose) out += "\n";
    out += element + std::string(content.substr(at));
    return out;
  }

  const size_t proxyTagEnd = content.find('>', proxy);
  if (proxyTagEnd == std::string_view::npos || proxyTagEnd > sectionClose) return std::nullopt;
  size_t proxyEnd = proxyTagEnd + 1;
  if (content[proxyTagEnd - 1] != '/') {
    constexpr std::string_view kProxyClose = "</defaultProxy>";
    const size_t close = FindTag(content, kProxyClose, proxyTagEnd + 1);
    if (close == std::string_view::npos || close > sectionClose) return std::nullopt;
    proxyEnd = close + kProxyClose.size();
  }
  const size_t from = LineStartIfIndented(content, proxy);
  const size_t to = from == proxy ? proxyEnd : PastLineEndIfTrailing(content, proxyEnd);
  out = std::string(content.substr(0, from));
  if (from == proxy) {
    // Not on a line of its own: keep the neighbours on theirs.
    out += "\n" + element;
  } else {
    out += element;
  }
  out += std::string(content.substr(to));
  return out;
}

}  // namespace kestrel
