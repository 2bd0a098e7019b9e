// The installer's command line: whole arguments split by the Windows rules,
// switches, NAME=value properties (also from a settings file) and the checks
// that keep an unattended run to what the wizard's pages would accept.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

inline constexpr std::wstring_view kSwitchRunas = L"/runas";
inline constexpr std::wstring_view kSwitchUninstall = L"-u";

// Property names (upper case).
inline constexpr wchar_t kPropInstallFolder[] = L"INSTALLFOLDER";
inline constexpr wchar_t kPropDbServer[] = L"DBSERVER";
inline constexpr wchar_t kPropDbName[] = L"DBNAME";
inline constexpr wchar_t kPropDbUser[] = L"DBUSER";
inline constexpr wchar_t kPropDbPassword[] = L"DBPASSWORD";
inline constexpr wchar_t kPropProxy[] = L"PROXY";
inline constexpr wchar_t kPropProxyBypass[] = L"PROXYBYPASS";
inline constexpr wchar_t kPropProxyUser[] = L"PROXYUSER";
inline constexpr wchar_t kPropProxyPassword[] = L"PROXYPASSWORD";
inline constexpr wchar_t kPropAcceptLicense[] = L"ACCEPTLICENSE";

// Splits argument text (the command line after the program name) into whole
// arguments under the C runtime's / CommandLineToArgvW rules for every argument
// after the first: blanks (space, tab) separate; a double quote toggles quoting;
// 2n backslashes before a quote give n backslashes and the quote acts; 2n+1 give
// n backslashes and a literal quote; backslashes not before a quote are literal;
// "" inside a quoted part gives a literal quote (the post-2008 runtime rule).
std::vector<std::wstring> SplitArguments(std::wstring_view text);

using Properties = std::map<std::wstring, std::wstring>;  // names upper case

struct CommandLine {
  bool runas = false;         // "/runas": the elevated relaunch
  bool uninstall = false;     // "-u"
  bool quiet = false;         // "/quiet"
  bool passive = false;       // "/passive": the task list only, no questions
  bool noRestart = false;     // "/norestart"
  bool forceRestart = false;  // "/forcerestart"
  bool help = false;          // "/?" or "/help"
  std::wstring logFile;       // "/log FILE"; empty: the default log
  std::wstring settingsFile;  // "/settings FILE"; empty: none
  std::wstring layoutFolder;  // "/layout DIR": an offline copy, nothing installed
  std::wstring sourceFolder;  // "/source DIR": payloads taken from there
  Properties properties;      // NAME=value from the command line
  std::vector<std::wstring> arguments;  // as split
  // Empty when the arguments are acceptable; otherwise the reason (the run
  // ends with it, exit code 1639). The first problem found wins. The text
  // never holds a password value, so it can go to the log as it is.
  std::wstring error;
};

// Switches start with "/" or "-" and are compared without regard to case;
// "-u" (not "/u") and "/runas" count only as whole arguments, so a folder
// such as "D:\web-ui" or a password holding "-u" never selects uninstall.
// "/log" and "/settings" take the next argument as their file. An argument
// whose part before the first "=" is a name of letters is a property (the
// last of a name wins); anything else is refused.
CommandLine ParseCommandLine(std::wstring_view text);

// Reads a settings file's bytes: UTF-16LE or UTF-16BE with a byte-order mark,
// else UTF-8 with or without one (invalid UTF-8 is refused). One NAME=value a
// line, CRLF or LF; blank lines and lines whose first non-blank char is '#' are
// ignored; leading/trailing blanks around the name are dropped, the value is
// kept as it is except for the line end. Adds each property not already in
// `into` (the command line wins over the file; within the file the last line
// of a name wins). Returns the refusal text (unknown property, a line that is
// not NAME=value, empty value — naming the line number) or empty; on a refusal
// `into` is left as it was.
std::wstring MergeSettingsFile(std::string_view bytes, Properties& into);

// What the properties ask for.
struct UnattendedChoices {
  std::wstring installFolder;      // empty: not given (Program Files)
  bool allInOne = true;            // false when DBSERVER is given
  std::wstring dbServer, dbUser, dbPassword;
  std::wstring dbName = L"user";   // DBNAME when given
  bool proxyGiven = false;         // PROXY given
  std::wstring proxyServer;        // "address:port" as given
  std::wstring proxyBypass;        // PROXYBYPASS, or "localhost" when PROXY is given without it
  std::wstring proxyUser, proxyPassword;
  bool acceptLicense = false;      // ACCEPTLICENSE=1
};

// Checks the properties as the pages check what is typed and fills `choices`
// (complete only when the result is empty). Returns the refusal text or empty.
// The checks run in the order of the wizard's pages: licence, database,
// install folder, proxy. The install folder must be "X:\..." with a drive
// letter; a trailing backslash is dropped except after the drive ("C:\").
std::wstring CheckProperties(const Properties& properties, UnattendedChoices& choices);

// The arguments as the log shows them: each argument, joined by a blank,
// quoted when it holds a blank (or a quote, or is empty, so the line splits
// back into the same arguments); the value of DBPASSWORD= and PROXYPASSWORD=
// (any case of the name) as "*****".
std::wstring ArgumentsForLog(const std::vector<std::wstring>& arguments);
// The properties as the log shows them, one "NAME=value" each, passwords "*****".
std::vector<std::wstring> PropertiesForLog(const Properties& properties);

// The text of /? : the switches and properties, one line each, with a short
// explanation, and the exit codes 0, 1602, 1603, 1605, 1618, 1633, 1639, 1641, 3010.
std::wstring UsageText();

// Parameters of the elevated relaunch: the argument text followed by " /runas".
// When the text ends inside an unclosed quote, the quote is closed first
// (without changing the last argument), so that "/runas" stays an argument
// of its own and the relaunched instance does not relaunch again.
std::wstring RelaunchParameters(std::wstring_view arguments);

}  // namespace kestrel
