// Reading the English feature listing of the image servicing tool
// ("/get-features /English"): which features it reports as enabled.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// Names of the features whose "State :" line begins with "Enabled", in the
// order the listing gives them. Lines end in LF or CR LF; lines and names
// of any length and any number of features are kept whole.
std::vector<std::string> ParseEnabledFeatures(std::string_view listing);

// Whole-name match, ignoring ASCII case: the tool's listing and our item
// tables do not always agree on capitals.
bool ContainsFeature(const std::vector<std::string>& enabled, std::string_view name);

}  // namespace kestrel
