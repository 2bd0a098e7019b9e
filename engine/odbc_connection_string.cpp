#include "engine/odbc_connection_string.h"

namespace kestrel {

std::wstring OdbcAttributeValue(std::wstring_view value) {
  const bool needsBraces = value.find_first_of(L";{}") != std::wstring_view::npos ||
                           (!value.empty() && (value.front() == L' ' || value.front() == L'\t'));
  if (!needsBraces) return std::wstring(value);
  std::wstring braced;
  braced.reserve(value.size() + 2);
  braced.push_back(L'{');
  for (wchar_t c : value) {
    braced.push_back(c);
    if (c == L'}') braced.push_back(L'}');
  }
  braced.push_back(L'}');
  return braced;
}

std::wstring TestConnectionString(std::wstring_view server, std::wstring_view user, std::wstring_view password) {
  return L"DRIVER={SQL Server};SERVER=" + OdbcAttributeValue(server) + L";UID=" + OdbcAttributeValue(user) +
         L";PWD=" + OdbcAttributeValue(password) + L";";
}

}  // namespace kestrel
