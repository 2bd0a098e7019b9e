#include "engine/feature_listing.h"

#include "core/ascii_text.h"

namespace kestrel {
namespace {

constexpr std::string_view kNamePrefix = "Feature Name :";
constexpr std::string_view kStatePrefix = "State :";
constexpr std::string_view kEnabled = "Enabled";

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<std::string> ParseEnabledFeatures(std::string_view listing) {
  std::vector<std::string> enabled;
  std::string current;
  while (!listing.empty()) {
    size_t end = listing.find('\n');
    std::string_view line = listing.substr(0, end);
    listing.remove_prefix(end == std::string_view::npos ? listing.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (line.starts_with(kNamePrefix)) current = TrimSpaces(line.substr(kNamePrefix.size()));
    if (line.starts_with(kStatePrefix)) {
      std::string_view state = TrimSpaces(line.substr(kStatePrefix.size()));
      // "Enable Pending" and "Disabled" leave the name to be overwritten by
      // the next feature's name line.
      if (state.starts_with(kEnabled)) {
        if (!current.empty()) enabled.push_back(std::move(current));
        current.clear();
      }
    }
  }
  return enabled;
}

bool ContainsFeature(const std::vector<std::string>& enabled, std::string_view name) {
  for (const std::string& entry : enabled)
    if (EqualsNoCase(entry, name)) return true;
  return false;
}

}  // namespace kestrel
