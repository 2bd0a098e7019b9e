#include "net/download_text.h"

#include "core/ascii_text.h"
#include "core/progress_markup.h"

#include <cstdio>

namespace kestrel {
namespace {

std::string Format(const char* format, double value, const char* unit) {
  char text[64];
  int n = std::snprintf(text, sizeof text, format, value, unit);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof text) return std::string(text, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), format, value, unit);
  big.resize(static_cast<size_t>(n));
  return big;
}

// A port written after the host: digits only, 1 to 65535.
std::optional<int> ParsePort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}

}  // namespace

UrlParts SplitUrl(std::string_view url) {
  UrlParts parts;
  size_t hostStart = 7;
  if (StartsWithNoCase(url, "https://")) {
    parts.secure = true;
    parts.port = 443;
    hostStart = 8;
  }
  std::string_view rest = url.size() > hostStart ? url.substr(hostStart) : std::string_view();
  const size_t slash = rest.find('/');
  std::string_view host = rest.substr(0, slash);
  parts.path = slash == std::string_view::npos ? std::string("/") : std::string(rest.substr(slash));

  // "[::1]:8080" keeps the colons inside the brackets.
  const size_t colon = host.rfind(':');
  const size_t bracket = host.rfind(']');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || bracket < colon)) {
    if (auto port = ParsePort(host.substr(colon + 1))) {
      parts.port = *port;
      parts.explicitPort = true;
      host = host.substr(0, colon);
    }
  }
  parts.host = std::string(host);
  return parts;
}

std::string SizeText(uint64_t bytes) {
  constexpr uint64_t kKB = 1024, kMB = kKB * 1024, kGB = kMB * 1024, kTB = kGB * 1024;
  const double value = static_cast<double>(bytes);
  if (bytes > kTB) return Format("%6.2f %s", value / static_cast<double>(kTB), "TB");
  if (bytes >= kGB) return Format("%6.2f %s", value / static_cast<double>(kGB), "GB");
  if (bytes > kMB) return Format("%6.2f %s", value / static_cast<double>(kMB), "MB");
  return Format("%6.2f %s", value / static_cast<double>(kKB), "KB");
}

std::wstring ProgressText(uint64_t offset, int64_t total) {
  return ProgressMarkup(static_cast<int64_t>(offset), total,
                        L"Download:" + WidenAscii(SizeText(offset)) + L" of " +
                            WidenAscii(SizeText(static_cast<uint64_t>(total))));
}

std::string RangeValue(uint64_t offset) { return "bytes=" + std::to_string(offset) + "-"; }

std::string PayloadFileName(std::string_view url) {
  std::string_view path = url;
  if (StartsWithNoCase(path, "file:")) {
    path.remove_prefix(5);
  } else {
    const size_t scheme = path.find("://");
    if (scheme == std::string_view::npos) return {};
    const size_t slash = path.find('/', scheme + 3);
    if (slash == std::string_view::npos) return {};
    path.remove_prefix(slash);
  }
  const size_t end = path.find_first_of("?#");
  if (end != std::string_view::npos) path = path.substr(0, end);
  const size_t last = path.find_last_of("/\\");
  const std::string_view name = last == std::string_view::npos ? path : path.substr(last + 1);
  // A name that could reach outside its folder is no file name.
  if (name.empty() || name == "." || name == ".." || name.find(':') != std::string_view::npos) return {};
  return std::string(name);
}

}  // namespace kestrel
