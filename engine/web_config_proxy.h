// The proxy section of the product's web.config, as text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// Returns the new file content with the proxy (UTF-8 "address:port") and
// its bypass list (";"-separated, empty entries skipped) written in:
// - without a <system.net> section, a new one goes before the closing
//   "</configuration>", which ends the file (anything after it is dropped);
// - with one, its <defaultProxy> is replaced, or added when it has none,
//   and every other child stays.
// Comments, CDATA sections and processing instructions are text: no element
// or closing tag is looked for inside them, and they stay as they are.
// nullopt when the text has no "</configuration>" or the existing section
// is not well formed; the caller then leaves the file alone.
std::optional<std::string> AddProxyToWebConfig(std::string_view content, std::string_view server,
                                               std::string_view bypassList);

}  // namespace kestrel
