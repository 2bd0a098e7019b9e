#include "core/os_description.h"

namespace kestrel {

std::string ComposeOsDescription(std::string_view productName, std::string_view buildLabel) {
  constexpr size_t kMaxChars = 2047;
  std::string text;
  text.reserve(productName.size() + buildLabel.size() + 3);
  text.append(productName).append(" (").append(buildLabel).append(")");
  if (text.size() > kMaxChars) text.resize(kMaxChars);
  return text;
}

}  // namespace kestrel
