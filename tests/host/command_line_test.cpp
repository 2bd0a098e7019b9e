#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kestrel::CheckProperties;
using kestrel::CommandLine;
using kestrel::MergeSettingsFile;
using kestrel::ParseCommandLine;
using kestrel::Properties;
using kestrel::SplitArguments;
using kestrel::UnattendedChoices;
using Args = std::vector<std::wstring>;

TEST(CommandLine, SplitsWholeArgumentsUnderThePlatformsQuotingRules) {
  struct Case {
    const wchar_t* text;
    Args args;
  } const cases[] = {
      {L"", {}},
      {L"  -u \t /runas  ", {L"-u", L"/runas"}},
      {L"\"C:\\Program Files\\x\" next", {L"C:\\Program Files\\x", L"next"}},
      {L"INSTALLFOLDER=\"D:\\web ui\"", {L"INSTALLFOLDER=D:\\web ui"}},
      {L"a\\\\b c\\", {L"a\\\\b", L"c\\"}},           // backslashes not before a quote stay
      {L"\"a\\\\\" b", {L"a\\", L"b"}},              // 2n before a quote: n, and the quote acts
      {L"a\\\"b", {L"a\"b"}},                       // 2n+1: n and a literal quote
      {L"\"a\"\"b\" c", {L"a\"b", L"c"}},            // "" inside quotes: a literal quote
      {L"\"\"", {L""}},                             // an empty argument
      {L"\"unclosed text", {L"unclosed text"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitArguments(c.text), c.args) << testing::PrintToString(std::wstring(c.text));
}

TEST(CommandLine, SwitchesAreWholeArgumentsInAnyCase) {
  const CommandLine all = ParseCommandLine(
      L"-U /RUNAS -Quiet /NoRestart /LOG \"C:\\logs\\run 1.log\" -settings s.ini /layout D:\\off /source D:\\src");
  EXPECT_EQ(all.error, L"");
  EXPECT_TRUE(all.uninstall && all.runas && all.quiet && all.noRestart);
  EXPECT_EQ(all.logFile, L"C:\\logs\\run 1.log");
  EXPECT_EQ(all.settingsFile, L"s.ini");
  EXPECT_EQ(all.layoutFolder, L"D:\\off");
  EXPECT_EQ(all.sourceFolder, L"D:\\src");
  for (const wchar_t* help : {L"/?", L"-?", L"/help", L"-HELP"}) EXPECT_TRUE(ParseCommandLine(help).help) << help;
  EXPECT_TRUE(ParseCommandLine(L"/passive").passive);

  // "-u" inside a value never means the removal; the registered command
  // does.
  const CommandLine values = ParseCommandLine(L"INSTALLFOLDER=D:\\web-ui DBPASSWORD=a-ub /runas");
  EXPECT_EQ(values.error, L"");
  EXPECT_FALSE(values.uninstall);
  EXPECT_EQ(values.properties.at(L"INSTALLFOLDER"), L"D:\\web-ui");
  EXPECT_EQ(values.properties.at(L"DBPASSWORD"), L"a-ub");
  EXPECT_TRUE(ParseCommandLine(L"-u").uninstall);
}

TEST(CommandLine, PropertiesSplitAtTheFirstEqualsKeepTheirValueAndTheLastWins) {
  const CommandLine c = ParseCommandLine(L"dbserver=db01 DBPASSWORD==a=b \"DBNAME= files \" DBSERVER=db02");
  EXPECT_EQ(c.error, L"");
  EXPECT_EQ(c.properties, (Properties{{L"DBSERVER", L"db02"}, {L"DBPASSWORD", L"=a=b"}, {L"DBNAME", L" files "}}));
}

TEST(CommandLine, RefusedArgumentsNameWhatIsWrong) {
  struct Case {
    const wchar_t* text;
    const wchar_t* part;  // of the refusal
  } const cases[] = {
      {L"/silent", L"Unknown argument"},
      {L"/x-u", L"/x-u"},
      {L"WHATEVER=1", L"Unknown property"},
      {L"DBSERVER=", L"DBSERVER has no value"},
      {L"/log", L"/log needs a file name"},
      {L"/log /quiet", L"/log needs a file name"},
      {L"/settings", L"/settings needs a file name"},
      {L"/layout", L"/layout needs a folder"},
      {L"/norestart /forcerestart", L"/norestart and /forcerestart"},
      {L"/quiet /passive", L"/quiet and /passive"},
  };
  for (const Case& c : cases) {
    const std::wstring error = ParseCommandLine(c.text).error;
    EXPECT_NE(error.find(c.part), std::wstring::npos) << testing::PrintToString(std::wstring(c.text)) << " gave "
                                                      << testing::PrintToString(error);
  }
}

std::string Utf16(const std::wstring& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (wchar_t c : text) {
    const char high = static_cast<char>((c >> 8) & 0xFF), low = static_cast<char>(c & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(SettingsFile, ReadsUtf8AndUtf16AndTheCommandLineWins) {
  const std::wstring text = L"# fleet database\r\n  DBSERVER =db01\\SQLEXPRESS\r\n\r\n   # indented comment\n"
                            L"DBPASSWORD=p\u00E4ss word\r\nDBUSER=from-file\n";
  struct Case {
    const char* name;
    std::string bytes;
  } const cases[] = {
      {"UTF-8", "# fleet database\r\n  DBSERVER =db01\\SQLEXPRESS\r\n\r\n   # indented comment\n"
                "DBPASSWORD=p\xC3\xA4ss word\r\nDBUSER=from-file\n"},
      {"UTF-8 with its mark", "\xEF\xBB\xBF# fleet database\r\n  DBSERVER =db01\\SQLEXPRESS\r\n\r\n   # indented comment\n"
                              "DBPASSWORD=p\xC3\xA4ss word\r\nDBUSER=from-file\n"},
      {"UTF-16LE", Utf16(text, false)},
      {"UTF-16BE", Utf16(text, true)},
  };
  for (const Case& c : cases) {
    Properties properties = {{L"DBUSER", L"from-command-line"}};
    EXPECT_EQ(MergeSettingsFile(c.bytes, properties), L"") << c.name;
    EXPECT_EQ(properties, (Properties{{L"DBSERVER", L"db01\\SQLEXPRESS"},
                                      {L"DBPASSWORD", L"p\u00E4ss word"},
                                      {L"DBUSER", L"from-command-line"}}))
        << c.name;
  }
}

TEST(SettingsFile, RefusalsNameTheLineAndAddNothing) {
  struct Case {
    std::string bytes;
    const wchar_t* part;
  } const cases[] = {
      {"DBSERVER=db01\nno equals sign here\n", L"2"},
      {"DBSERVER=db01\r\nDBNAMEX=files\r\n", L"DBNAMEX"},
      {"DBSERVER=\n", L"DBSERVER has no value"},
      {"DBSERVER=\xC3(\n", L"UTF-8"},
      {std::string("D\0B\0S\0", 6), L"NUL"},
  };
  for (const Case& c : cases) {
    Properties properties = {{L"ACCEPTLICENSE", L"1"}};
    const std::wstring error = MergeSettingsFile(c.bytes, properties);
    EXPECT_NE(error.find(c.part), std::wstring::npos) << testing::PrintToString(c.bytes) << " gave "
                                                      << testing::PrintToString(error);
    EXPECT_EQ(properties, (Properties{{L"ACCEPTLICENSE", L"1"}})) << "a refused file adds nothing";
  }
}

TEST(CheckProperties, RefusesWhatThePagesRefuseWithTheirTexts) {
  struct Case {
    Properties properties;
    const wchar_t* refusal;
  } const cases[] = {
      {{{L"DBSERVER", L"db01"}}, L"Database user is missing."},
      {{{L"DBSERVER", L"db01"}, {L"DBUSER", L"sa"}}, L"Database password is missing."},
      {{{L"DBSERVER", L"db01"}, {L"DBUSER", L"sa"}, {L"DBPASSWORD", L"a;b"}}, L"Database password can not contain ';', '\"'."},
      {{{L"DBSERVER", L"db01"}, {L"DBUSER", L"sa"}, {L"DBPASSWORD", L"a\"b"}}, L"Database password can not contain ';', '\"'."},
      {{{L"DBUSER", L"sa"}}, L"You supplied database user field. However, the All-in-one installation option is also selected."},
      {{{L"DBPASSWORD", L"x"}},
       L"You supplied database password field. However, the All-in-one installation option is also selected."},
      {{{L"PROXY", L"proxy.corp"}}, L"Proxy Address is missing"},
      {{{L"PROXY", L":8080"}}, L"Proxy Address is missing"},
      {{{L"PROXY", L"proxy.corp:"}}, L"Proxy Port is missing"},
  };
  for (const Case& c : cases) {
    UnattendedChoices choices;
    EXPECT_EQ(CheckProperties(c.properties, choices), c.refusal);
  }
  for (const wchar_t* folder : {L"apps\\files", L"C:", L"C:files", L"\\\\server\\share\\x", L"\\\\?\\C:\\x", L"C:/x"}) {
    UnattendedChoices choices;
    const std::wstring error = CheckProperties({{L"INSTALLFOLDER", folder}}, choices);
    EXPECT_NE(error.find(folder), std::wstring::npos) << testing::PrintToString(std::wstring(folder));
  }
  UnattendedChoices choices;
  EXPECT_NE(CheckProperties({{L"PROXYBYPASS", L"intranet"}}, choices), L"");
  EXPECT_NE(CheckProperties({{L"ACCEPTLICENSE", L"yes"}}, choices), L"");
}

TEST(CheckProperties, FillsTheChoices) {
  UnattendedChoices existing;
  ASSERT_EQ(CheckProperties({{L"DBSERVER", L"db01"}, {L"DBUSER", L"sa"}, {L"DBPASSWORD", L"pw"}, {L"DBNAME", L"files"},
                             {L"INSTALLFOLDER", L"D:\\Apps\\"}, {L"PROXY", L"proxy.corp:8080"}, {L"ACCEPTLICENSE", L"1"}},
                            existing),
            L"");
  EXPECT_FALSE(existing.allInOne);
  EXPECT_EQ(existing.dbServer + L"|" + existing.dbUser + L"|" + existing.dbPassword + L"|" + existing.dbName,
            L"db01|sa|pw|files");
  EXPECT_EQ(existing.installFolder, L"D:\\Apps");
  EXPECT_TRUE(existing.proxyGiven);
  EXPECT_EQ(existing.proxyBypass, L"localhost") << "as the dialog stores an empty bypass list";
  EXPECT_TRUE(existing.acceptLicense);

  // Credentials without PROXY answer the proxy the system names.
  UnattendedChoices system;
  ASSERT_EQ(CheckProperties({{L"PROXYUSER", L"me"}, {L"PROXYPASSWORD", L"pw"}, {L"DBNAME", L"files"}}, system), L"");
  EXPECT_TRUE(system.allInOne);
  EXPECT_FALSE(system.proxyGiven);
  EXPECT_EQ(system.proxyUser, L"me");
  EXPECT_EQ(system.installFolder, L"");
}

TEST(CommandLine, TheLogShowsNoPassword) {
  const CommandLine c = ParseCommandLine(L"/quiet \"DBPASSWORD=se cret\" proxypassword=p2 DBUSER=sa");
  const std::wstring arguments = kestrel::ArgumentsForLog(c.arguments);
  EXPECT_EQ(arguments.find(L"se cret"), std::wstring::npos) << arguments;
  EXPECT_EQ(arguments.find(L"p2"), std::wstring::npos) << arguments;
  EXPECT_NE(arguments.find(L"DBUSER=sa"), std::wstring::npos) << arguments;
  EXPECT_EQ(kestrel::PropertiesForLog(c.properties),
            (std::vector<std::wstring>{L"DBPASSWORD=*****", L"DBUSER=sa", L"PROXYPASSWORD=*****"}));
}

TEST(CommandLine, RelaunchParametersKeepEveryArgumentAndEndWithRunas) {
  EXPECT_EQ(kestrel::RelaunchParameters(L""), L" /runas");
  EXPECT_EQ(kestrel::RelaunchParameters(L"-u"), L"-u /runas");
  const std::wstring longArgs(1000, L'x');
  EXPECT_EQ(kestrel::RelaunchParameters(longArgs), longArgs + L" /runas");
  // An unclosed quote would swallow "/runas" into the last argument.
  const Args relaunched = SplitArguments(kestrel::RelaunchParameters(L"/log \"C:\\my logs\\"));
  ASSERT_EQ(relaunched.size(), 3u);
  EXPECT_EQ(relaunched[1], L"C:\\my logs\\");
  EXPECT_EQ(relaunched[2], L"/runas");
}

}  // namespace
