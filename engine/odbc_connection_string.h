// The connection string of the database page's test connection.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// One attribute value as ODBC reads it. A value holding ';', '{' or '}',
// or beginning with a blank, goes in braces with each '}' doubled, so the
// typed text can neither end the attribute and add others nor be read
// differently by the driver; any other value is written as it is.
std::wstring OdbcAttributeValue(std::wstring_view value);

// "DRIVER={SQL Server};SERVER=<server>;UID=<user>;PWD=<password>;".
// The string grows with its values: nothing is cut.
std::wstring TestConnectionString(std::wstring_view server, std::wstring_view user, std::wstring_view password);

}  // namespace kestrel
