#include "engine/product_contract.h"
#include "engine/config_command_line.h"

namespace kestrel {

std::wstring QuoteArgument(std::wstring_view text) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::wstring InitDbCommandLine(bool enterpriseEdition, bool allInOne, std::wstring_view server,
                               std::wstring_view user, std::wstring_view password, std::wstring_view name) {
  std::wstring line = std::wstring(product::kInitDbCommand) + L" ";
  line += enterpriseEdition ? L"false" : L"true";
  if (allInOne) return line + L" localhost\\MARROWFIELD # default";
  for (std::wstring_view field : {server, user, password, name}) line += L" " + QuoteArgument(field);
  return line;
}

}  // namespace kestrel
