#include "engine/config_command_line.h"

#include <gtest/gtest.h>

namespace {

using kestrel::InitDbCommandLine;
using kestrel::QuoteArgument;

TEST(ConfigCommandLine, InitDbForms) {
  struct Case {
    bool enterprise, allInOne;
    const wchar_t *server, *user, *password, *name;
    const wchar_t* expected;
  } const cases[] = {
      {false, true, L"ignored", L"", L"", L"", L"DeployCfgCmd initdb true localhost\\MARROWFIELD # default"},
      {true, true, L"", L"", L"", L"", L"DeployCfgCmd initdb false localhost\\MARROWFIELD # default"},
      {false, false, L"db01\\SQL", L"sa", L"p@ss word", L"files",
       L"DeployCfgCmd initdb true \"db01\\SQL\" \"sa\" \"p@ss word\" \"files\""},
      {true, false, L"db", L"u", L"p", L"", L"DeployCfgCmd initdb false \"db\" \"u\" \"p\" \"\""},
      // The tool must receive exactly the typed text.
      {false, false, L"srv", L"dom\\user", L"secret\\", L"n", L"DeployCfgCmd initdb true \"srv\" \"dom\\user\" \"secret\\\\\" \"n\""},
      {false, false, L"a\"b", L"u", L"p", L"x\\\"y", L"DeployCfgCmd initdb true \"a\\\"b\" \"u\" \"p\" \"x\\\\\\\"y\""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(InitDbCommandLine(c.enterprise, c.allInOne, c.server, c.user, c.password, c.name), c.expected);
}

TEST(ConfigCommandLine, QuotingRoundTripsThroughTheWindowsRules) {
  // Splits one quoted argument the way the C runtime of a Windows program
  // does, to show the tool gets back the text that was quoted.
  auto unquote = [](const std::wstring& q) {
    std::wstring out;
    size_t i = 1, backslashes = 0;
    for (; i < q.size(); ++i) {
      if (q[i] == L'\\') {
        ++backslashes;
        continue;
      }
      if (q[i] == L'"') {
        out.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 0) break;  // the closing quote
        out.push_back(L'"');
      } else {
        out.append(backslashes, L'\\');
        out.push_back(q[i]);
      }
      backslashes = 0;
    }
    EXPECT_EQ(i, q.size() - 1) << "closing quote at the end";
    return out;
  };
  for (const wchar_t* text : {L"", L"plain", L"a\\b", L"ends\\", L"ends\\\\", L"q\"uote", L"\\\"", L"x y\\ z"})
    EXPECT_EQ(unquote(QuoteArgument(text)), text);
}

}  // namespace
