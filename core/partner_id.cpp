#include "core/partner_id.h"

namespace kestrel {

std::optional<std::wstring> ParsePartnerId(std::wstring_view fullPath) {
  size_t slash = fullPath.rfind(L'\\');
  if (slash == std::wstring_view::npos) return std::nullopt;
  size_t open = slash + 1;
  if (open >= fullPath.size() || fullPath[open] != L'(') return std::nullopt;
  size_t close = fullPath.find(L')', open + 1);
  if (close == std::wstring_view::npos) return std::nullopt;
  return std::wstring(fullPath.substr(open + 1, close - open - 1));
}

}  // namespace kestrel
