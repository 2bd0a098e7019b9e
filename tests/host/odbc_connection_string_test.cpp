#include "engine/odbc_connection_string.h"

#include <gtest/gtest.h>

namespace {

using kestrel::OdbcAttributeValue;
using kestrel::TestConnectionString;

TEST(OdbcConnectionString, PlainValuesGiveTheExactString) {
  EXPECT_EQ(TestConnectionString(L"db01\\SQLEXPRESS", L"sa", L"p@ss word"),
            L"DRIVER={SQL Server};SERVER=db01\\SQLEXPRESS;UID=sa;PWD=p@ss word;");
  EXPECT_EQ(TestConnectionString(L"", L"", L""), L"DRIVER={SQL Server};SERVER=;UID=;PWD=;");
  // '=', quotes, a trailing blank and non-ASCII text need nothing.
  EXPECT_EQ(TestConnectionString(L"host,1433", L"dom\\us=er", L"a'b\"c \u00e9"),
            L"DRIVER={SQL Server};SERVER=host,1433;UID=dom\\us=er;PWD=a'b\"c \u00e9;");
}

TEST(OdbcConnectionString, SpecialValuesAreBraced) {
  struct Case {
    const wchar_t* value;
    const wchar_t* expected;
  } const cases[] = {
      {L"a;b", L"{a;b}"},
      {L"x;DRIVER={Other}", L"{x;DRIVER={Other}}}"},
      {L"{braced}", L"{{braced}}}"},
      {L"}", L"{}}}"},
      {L"a}}b", L"{a}}}}b}"},
      {L"open{", L"{open{}"},
      {L" lead", L"{ lead}"},
      {L"\tlead", L"{\tlead}"},
      {L";", L"{;}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OdbcAttributeValue(c.value), c.expected) << testing::PrintToString(std::wstring(c.value));
    // Each of the three places braces the same way.
    EXPECT_EQ(TestConnectionString(c.value, L"u", L"p"),
              std::wstring(L"DRIVER={SQL Server};SERVER=") + c.expected + L";UID=u;PWD=p;");
    EXPECT_EQ(TestConnectionString(L"s", c.value, L"p"),
              std::wstring(L"DRIVER={SQL Server};SERVER=s;UID=") + c.expected + L";PWD=p;");
    EXPECT_EQ(TestConnectionString(L"s", L"u", c.value),
              std::wstring(L"DRIVER={SQL Server};SERVER=s;UID=u;PWD=") + c.expected + L";");
  }
}

TEST(OdbcConnectionString, BracedValueReadsBackAsTyped) {
  // Reads one braced value the way ODBC does: up to the first '}' that is
  // not doubled; the rest must be exactly the attribute separator.
  auto unbrace = [](const std::wstring& braced, size_t* end) {
    std::wstring out;
    size_t i = 1;
    for (; i < braced.size(); ++i) {
      if (braced[i] == L'}') {
        if (i + 1 < braced.size() && braced[i + 1] == L'}') {
          out.push_back(L'}');
          ++i;
          continue;
        }
        break;
      }
      out.push_back(braced[i]);
    }
    *end = i;
    return out;
  };
  for (const wchar_t* text : {L"a;b", L"}", L"}}", L"{", L"x}y;z{", L" ;}", L"};UID=sa"}) {
    const std::wstring braced = OdbcAttributeValue(text);
    ASSERT_EQ(braced.front(), L'{');
    size_t end = 0;
    EXPECT_EQ(unbrace(braced, &end), text);
    EXPECT_EQ(end, braced.size() - 1) << "the closing brace ends the value";
  }
}

}  // namespace
