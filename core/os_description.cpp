#include "core/os_description.h"

namespace kestrel {

std::string ComposeOsDescription(std::string_view productName, std::string_view buildLabel) {
  constexpr size_t kMaxBytes = 2047;
  std::string text;
  text.reserve(productName.size() + buildLabel.size() + 3);
  text.append(productName).append(" (").append(buildLabel).append(")");
  if (text.size() > kMaxBytes) {
    // A character cut in two is not UTF-8, which the trace's service
    // rejects: the one the limit would split goes as a whole.
    size_t cut = kMaxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

}  // namespace kestrel
