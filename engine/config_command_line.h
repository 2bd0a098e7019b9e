// Command lines of the product's configuration tool.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// One argument in double quotes by the Windows command-line rules, so the
// tool receives exactly the text: backslashes before a quote (the closing
// one included) are doubled and a quote inside is escaped. A text without
// backslashes or quotes is just enclosed in quotes.
std::wstring QuoteArgument(std::wstring_view text);

// "DeployCfgCmd initdb <true|false> localhost\MARROWFIELD # default" for the
// all-in-one choice, else the four quoted fields: server, user, password,
// database name. The tenancy word is "false" for the single-tenant edition.
std::wstring InitDbCommandLine(bool enterpriseEdition, bool allInOne, std::wstring_view server,
                               std::wstring_view user, std::wstring_view password, std::wstring_view name);

}  // namespace kestrel
