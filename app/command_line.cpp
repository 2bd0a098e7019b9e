#include "app/command_line.h"

#include <cstdint>
#include <optional>
#include <set>

#include "core/ascii_text.h"
#include "engine/config_command_line.h"

namespace kestrel {
namespace {

constexpr wchar_t kMask[] = L"*****";

constexpr const wchar_t* kKnownProperties[] = {
    kPropInstallFolder, kPropDbServer, kPropDbName,         kPropDbUser,  kPropDbPassword,
    kPropProxy,         kPropProxyBypass, kPropProxyUser, kPropProxyPassword, kPropAcceptLicense,
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

std::wstring AsciiUpper(std::wstring_view text) {
  std::wstring upper(text);
  for (wchar_t& c : upper)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return upper;
}

bool IsKnownProperty(std::wstring_view upperName) {
  for (const wchar_t* name : kKnownProperties)
    if (upperName == name) return true;
  return false;
}

bool IsPasswordProperty(std::wstring_view name) {
  return EqualsNoCase(name, kPropDbPassword) || EqualsNoCase(name, kPropProxyPassword);
}

std::wstring_view TrimBlanks(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The splitter's result, with what the relaunch needs to know about the end.
struct SplitResult {
  std::vector<std::wstring> arguments;
  bool endsQuoted = false;       // the text ends inside an unclosed quote
  size_t trailingBackslashes = 0;
};

SplitResult Split(std::wstring_view text) {
  SplitResult result;
  size_t i = 0;
  const size_t n = text.size();
  while (true) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i == n) break;
    std::wstring arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(text[i]))) {
      size_t backslashes = 0;
      while (i < n && text[i] == L'\\') {
        ++backslashes;
        ++i;
      }
      if (i < n && text[i] == L'"') {
        arg.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          arg.push_back(L'"');
          ++i;
        } else if (quoted && i + 1 < n && text[i + 1] == L'"') {
          arg.push_back(L'"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
        continue;
      }
      arg.append(backslashes, L'\\');
      if (i == n) {
        result.trailingBackslashes = backslashes;
        break;
      }
      if (!quoted && IsBlank(text[i])) break;
      arg.push_back(text[i]);
      ++i;
    }
    result.endsQuoted = quoted && i == n;
    if (!result.endsQuoted) result.trailingBackslashes = 0;
    result.arguments.push_back(std::move(arg));
  }
  return result;
}

// One argument in the form that splits back into it.
std::wstring QuoteForLog(std::wstring_view arg) {
  const bool needsQuotes = arg.empty() || arg.find_first_of(L" \t\"") != std::wstring_view::npos;
  return needsQuotes ? QuoteArgument(arg) : std::wstring(arg);
}

// An argument with a password value replaced by the mask. The name is
// compared without its blanks so that a mistyped "DBPASSWORD =x" is masked
// as well.
std::wstring MaskedArgument(std::wstring_view arg) {
  const size_t equals = arg.find(L'=');
  if (equals != std::wstring_view::npos && IsPasswordProperty(TrimBlanks(arg.substr(0, equals))))
    return std::wstring(arg.substr(0, equals + 1)) + kMask;
  return std::wstring(arg);
}

std::wstring ArgumentForMessage(std::wstring_view arg) { return QuoteForLog(MaskedArgument(arg)); }

bool IsSwitch(std::wstring_view arg, std::wstring_view name) {
  return arg.size() == name.size() + 1 && (arg[0] == L'/' || arg[0] == L'-') &&
         EqualsNoCase(arg.substr(1), name);
}

bool IsAnySwitch(std::wstring_view arg) {
  for (const wchar_t* name : {L"quiet", L"passive", L"layout", L"source", L"norestart", L"forcerestart", L"log", L"settings", L"?", L"help", L"runas"})
    if (IsSwitch(arg, name)) return true;
  return EqualsNoCase(arg, kSwitchUninstall);
}

// The name of a property argument ("NAME=..." with NAME all letters), or
// nullopt when the argument is not one.
std::optional<std::wstring_view> PropertyName(std::wstring_view arg) {
  const size_t equals = arg.find(L'=');
  if (equals == std::wstring_view::npos || equals == 0) return std::nullopt;
  std::wstring_view name = arg.substr(0, equals);
  for (wchar_t c : name)
    if (!IsAsciiLetter(c)) return std::nullopt;
  return name;
}

std::wstring NoValueText(std::wstring_view upperName) {
  return L"The property " + std::wstring(upperName) + L" has no value.";
}

// --- settings file decoding -------------------------------------------------

void AppendCodePoint(std::wstring& out, char32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(cp));
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
std::optional<std::wstring> DecodeUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
      out.push_back(static_cast<wchar_t>(b0));
      ++i;
      continue;
    }
    size_t length;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
      length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (bytes.size() - i < length) return std::nullopt;
    for (size_t k = 1; k < length; ++k) {
      const auto b = static_cast<unsigned char>(bytes[i + k]);
      if ((b & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    AppendCodePoint(out, cp);
    i += length;
  }
  return out;
}

// UTF-16 without its mark; surrogates must come in pairs.
std::optional<std::wstring> DecodeUtf16(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  auto unit = [&](size_t k) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[2 * k]);
    const auto b = static_cast<unsigned char>(bytes[2 * k + 1]);
    return bigEndian ? static_cast<char32_t>((a << 8) | b) : static_cast<char32_t>((b << 8) | a);
  };
  const size_t units = bytes.size() / 2;
  std::wstring out;
  out.reserve(units);
  for (size_t k = 0; k < units; ++k) {
    char32_t u = unit(k);
    if (u >= 0xDC00 && u <= 0xDFFF) return std::nullopt;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (k + 1 == units) return std::nullopt;
      const char32_t low = unit(k + 1);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      ++k;
    }
    AppendCodePoint(out, u);
  }
  return out;
}

std::optional<std::wstring> DecodeSettingsText(std::string_view bytes) {
  auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (startsWith("\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
  if (startsWith("\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
  if (startsWith("\xEF\xBB\xBF")) return DecodeUtf8(bytes.substr(3));
  return DecodeUtf8(bytes);
}

std::wstring LineText(size_t line) { return L"Settings file line " + std::to_wstring(line); }

// --- property checks --------------------------------------------------------

const std::wstring* Find(const Properties& properties, const wchar_t* name) {
  auto it = properties.find(name);
  return it == properties.end() ? nullptr : &it->second;
}

// "X:\..." with a drive letter and nothing a folder name can not hold.
// Relative paths, "C:" and "C:foo" (relative to a drive's current folder),
// UNC paths and device paths ("\\?\", "\\.\") all fail the first test.
bool IsAbsoluteLocalPath(std::wstring_view path) {
  if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != L':' || path[2] != L'\\') return false;
  for (size_t i = 2; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|' ||
        c == L'/')
      return false;
  }
  return true;
}

}  // namespace

std::vector<std::wstring> SplitArguments(std::wstring_view text) { return Split(text).arguments; }

CommandLine ParseCommandLine(std::wstring_view text) {
  CommandLine result;
  result.arguments = SplitArguments(text);
  const auto& args = result.arguments;
  auto refuse = [&](std::wstring reason) {
    if (result.error.empty()) result.error = std::move(reason);
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (EqualsNoCase(arg, kSwitchUninstall)) {
      result.uninstall = true;
    } else if (IsSwitch(arg, L"runas")) {
      result.runas = true;
    } else if (IsSwitch(arg, L"quiet") || IsSwitch(arg, L"passive")) {
      (IsSwitch(arg, L"quiet") ? result.quiet : result.passive) = true;
      if (result.quiet && result.passive) refuse(L"The switches /quiet and /passive can not be used together.");
    } else if (IsSwitch(arg, L"norestart") || IsSwitch(arg, L"forcerestart")) {
      (IsSwitch(arg, L"norestart") ? result.noRestart : result.forceRestart) = true;
      if (result.noRestart && result.forceRestart)
        refuse(L"The switches /norestart and /forcerestart can not be used together.");
    } else if (IsSwitch(arg, L"?") || IsSwitch(arg, L"help")) {
      result.help = true;
    } else if (IsSwitch(arg, L"log") || IsSwitch(arg, L"settings")) {
      const bool log = IsSwitch(arg, L"log");
      // A following switch is a forgotten file name, not a file called "/quiet".
      if (i + 1 == args.size() || args[i + 1].empty() || IsAnySwitch(args[i + 1])) {
        refuse(log ? L"The switch /log needs a file name." : L"The switch /settings needs a file name.");
        continue;
      }
      (log ? result.logFile : result.settingsFile) = args[++i];
    } else if (IsSwitch(arg, L"layout") || IsSwitch(arg, L"source")) {
      const bool layout = IsSwitch(arg, L"layout");
      if (i + 1 == args.size() || args[i + 1].empty() || IsAnySwitch(args[i + 1])) {
        refuse(layout ? L"The switch /layout needs a folder." : L"The switch /source needs a folder.");
        continue;
      }
      (layout ? result.layoutFolder : result.sourceFolder) = args[++i];
    } else if (auto name = PropertyName(arg)) {
      std::wstring upper = AsciiUpper(*name);
      std::wstring value = arg.substr(name->size() + 1);
      if (!IsKnownProperty(upper)) {
        refuse(L"Unknown property: " + std::wstring(*name));
      } else if (value.empty()) {
        refuse(NoValueText(upper));
      } else {
        result.properties[std::move(upper)] = std::move(value);
      }
    } else {
      refuse(L"Unknown argument: " + ArgumentForMessage(arg));
    }
  }
  return result;
}

std::wstring MergeSettingsFile(std::string_view bytes, Properties& into) {
  std::optional<std::wstring> text = DecodeSettingsText(bytes);
  if (!text) return L"The settings file is neither valid UTF-8 nor UTF-16 with a byte-order mark.";
  // A UTF-16 file saved without its mark reads as UTF-8 full of NULs.
  if (text->find(L'\0') != std::wstring::npos)
    return L"The settings file holds a NUL character; save it as UTF-8, or as UTF-16 with a byte-order mark.";

  Properties fromFile;
  std::wstring_view rest = *text;
  for (size_t lineNumber = 1; !rest.empty(); ++lineNumber) {
    const size_t end = rest.find(L'\n');
    std::wstring_view line = rest.substr(0, end);
    rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);

    const std::wstring_view content = TrimBlanks(line);
    if (content.empty() || content.front() == L'#') continue;
    const size_t equals = line.find(L'=');
    const std::wstring_view name = equals == std::wstring_view::npos ? std::wstring_view() : TrimBlanks(line.substr(0, equals));
    if (name.empty()) return LineText(lineNumber) + L" is not NAME=value.";
    std::wstring upper = AsciiUpper(name);
    if (!IsKnownProperty(upper)) return LineText(lineNumber) + L": unknown property " + std::wstring(name) + L".";
    const std::wstring_view value = line.substr(equals + 1);
    if (value.empty()) return LineText(lineNumber) + L": the property " + upper + L" has no value.";
    fromFile[std::move(upper)] = std::wstring(value);
  }
  // Only now, so that a refused file adds nothing; insert keeps what the
  // command line gave.
  into.insert(fromFile.begin(), fromFile.end());
  return {};
}

std::wstring CheckProperties(const Properties& properties, UnattendedChoices& choices) {
  choices = UnattendedChoices();
  for (const auto& [name, value] : properties)
    if (!IsKnownProperty(name)) return L"Unknown property: " + name;

  if (const std::wstring* accept = Find(properties, kPropAcceptLicense)) {
    if (*accept != L"1") return L"ACCEPTLICENSE=1 is the only way to accept the licence terms; \"" + *accept + L"\" is not.";
    choices.acceptLicense = true;
  }

  const std::wstring* server = Find(properties, kPropDbServer);
  const std::wstring* user = Find(properties, kPropDbUser);
  const std::wstring* password = Find(properties, kPropDbPassword);
  if (const std::wstring* name = Find(properties, kPropDbName)) choices.dbName = *name;
  if (server) {
    choices.allInOne = false;
    if (server->empty()) return L"Database server is missing.";
    if (!user || user->empty()) return L"Database user is missing.";
    if (!password || password->empty()) return L"Database password is missing.";
    if (password->find_first_of(L";\"") != std::wstring::npos) return L"Database password can not contain ';', '\"'.";
    choices.dbServer = *server;
    choices.dbUser = *user;
    choices.dbPassword = *password;
  } else {
    if (user && !user->empty())
      return L"You supplied database user field. However, the All-in-one installation option is also selected.";
    if (password && !password->empty())
      return L"You supplied database password field. However, the All-in-one installation option is also selected.";
  }

  if (const std::wstring* folder = Find(properties, kPropInstallFolder)) {
    if (!IsAbsoluteLocalPath(*folder))
      return L"The install folder \"" + *folder + L"\" is not a full local path such as C:\\Program Files.";
    std::wstring_view path = *folder;
    // As the folder picker gives it: "C:\" for a drive, no backslash after a folder.
    while (path.size() > 3 && path.back() == L'\\') path.remove_suffix(1);
    choices.installFolder = std::wstring(path);
  }

  const std::wstring* proxy = Find(properties, kPropProxy);
  const std::wstring* bypass = Find(properties, kPropProxyBypass);
  if (proxy) {
    const size_t colon = proxy->find(L':');
    if (colon == std::wstring::npos || colon == 0) return L"Proxy Address is missing";
    if (colon + 1 == proxy->size()) return L"Proxy Port is missing";
    choices.proxyGiven = true;
    choices.proxyServer = *proxy;
    choices.proxyBypass = bypass && !bypass->empty() ? *bypass : std::wstring(L"localhost");
  } else if (bypass) {
    return L"PROXYBYPASS can only be given together with PROXY.";
  }
  // Without PROXY these are the credentials for the proxy the system names.
  if (const std::wstring* proxyUser = Find(properties, kPropProxyUser)) choices.proxyUser = *proxyUser;
  if (const std::wstring* proxyPassword = Find(properties, kPropProxyPassword)) choices.proxyPassword = *proxyPassword;
  return {};
}

std::wstring ArgumentsForLog(const std::vector<std::wstring>& arguments) {
  std::wstring line;
  for (const std::wstring& arg : arguments) {
    if (!line.empty()) line.push_back(L' ');
    line += ArgumentForMessage(arg);
  }
  return line;
}

std::vector<std::wstring> PropertiesForLog(const Properties& properties) {
  std::vector<std::wstring> lines;
  lines.reserve(properties.size());
  for (const auto& [name, value] : properties)
    lines.push_back(name + L"=" + (IsPasswordProperty(name) ? std::wstring(kMask) : value));
  return lines;
}

std::wstring UsageText() {
  return L"KestrelSetup.exe [switches] [NAME=value ...]\r\n"
         L"\r\n"
         L"Switches (also with \"-\" instead of \"/\", in any case):\r\n"
         L"  /quiet              install without showing any window\r\n"
         L"  /passive            show only the task list, ask nothing, close at the end\r\n"
         L"  /norestart          never restart the computer at the end\r\n"
         L"  /forcerestart       restart the computer at the end without asking\r\n"
         L"  /log FILE           write the run's log to FILE\r\n"
         L"  /layout DIR         download every payload and the installer into DIR (an offline copy)\r\n"
         L"  /source DIR         take the payloads from DIR when they are there\r\n"
         L"  /settings FILE      read NAME=value lines from FILE (UTF-8 or UTF-16; \"#\" starts a comment);\r\n"
         L"                      a property on the command line wins over the file\r\n"
         L"  -u                  uninstall\r\n"
         L"  /? or /help         show this text\r\n"
         L"\r\n"
         L"Properties:\r\n"
         L"  INSTALLFOLDER=PATH  install under this full local folder (default: Program Files)\r\n"
         L"  DBSERVER=NAME       use this existing SQL Server instead of the all-in-one installation\r\n"
         L"  DBNAME=NAME         the database on that server (default: user)\r\n"
         L"  DBUSER=NAME         the database user (needed with DBSERVER)\r\n"
         L"  DBPASSWORD=TEXT     the database password (needed with DBSERVER; no ';' or '\"')\r\n"
         L"  PROXY=ADDRESS:PORT  reach the Internet through this proxy\r\n"
         L"  PROXYBYPASS=LIST    addresses reached directly, separated by ';' (default: localhost)\r\n"
         L"  PROXYUSER=NAME      the proxy user\r\n"
         L"  PROXYPASSWORD=TEXT  the proxy password\r\n"
         L"  ACCEPTLICENSE=1     accept the licence terms\r\n"
         L"\r\n"
         L"Exit codes:\r\n"
         L"  0     success\r\n"
         L"  1602  cancelled by the user\r\n"
         L"  1603  the installation failed\r\n"
         L"  1605  the product is not installed (uninstall)\r\n"
         L"  1618  another installation is already running\r\n"
         L"  1633  this version of Windows is not supported\r\n"
         L"  1639  invalid command line or settings\r\n"
         L"  1641  success; the computer is being restarted\r\n"
         L"  3010  success; a restart is needed to finish\r\n";
}

std::wstring RelaunchParameters(std::wstring_view arguments) {
  std::wstring text(arguments);
  const SplitResult split = Split(arguments);
  if (split.endsQuoted) {
    // The backslashes before the added quote stay literal only when doubled.
    text.append(split.trailingBackslashes, L'\\');
    text.push_back(L'"');
  }
  text.append(L" ").append(kSwitchRunas);
  return text;
}

}  // namespace kestrel
