// The one-line system description sent as the first audit trace.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// "<product name> (<build label>)" of UTF-8 texts, cut to at most 2047
// bytes between two characters.
std::string ComposeOsDescription(std::string_view productName, std::string_view buildLabel);

}  // namespace kestrel
