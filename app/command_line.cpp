// TEMPORARY stub, replaced by the parser branch.
#include "app/command_line.h"

namespace kestrel {
std::vector<std::wstring> SplitArguments(std::wstring_view text) {
  std::vector<std::wstring> out;
  std::wstring cur;
  for (wchar_t c : text) {
    if (c == L' ') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}
CommandLine ParseCommandLine(std::wstring_view text) {
  CommandLine c;
  c.arguments = SplitArguments(text);
  for (size_t i = 0; i < c.arguments.size(); ++i) {
    const auto& a = c.arguments[i];
    if (a == L"/runas") c.runas = true;
    else if (a == L"-u") c.uninstall = true;
    else if (a == L"/quiet") c.quiet = true;
    else if (a == L"/norestart") c.noRestart = true;
    else if (a == L"/forcerestart") c.forceRestart = true;
    else if (a == L"/log" && i + 1 < c.arguments.size()) c.logFile = c.arguments[++i];
    else if (a == L"/settings" && i + 1 < c.arguments.size()) c.settingsFile = c.arguments[++i];
    else if (a.find(L'=') != std::wstring::npos) c.properties[a.substr(0, a.find(L'='))] = a.substr(a.find(L'=') + 1);
    else if (c.error.empty()) c.error = L"Unknown argument: " + a;
  }
  if (c.noRestart && c.forceRestart && c.error.empty()) c.error = L"/norestart and /forcerestart";
  return c;
}
std::wstring MergeSettingsFile(std::string_view, Properties&) { return {}; }
std::wstring CheckProperties(const Properties& p, UnattendedChoices& ch) {
  auto get = [&](const wchar_t* n) { auto it = p.find(n); return it == p.end() ? std::wstring() : it->second; };
  ch.acceptLicense = get(kPropAcceptLicense) == L"1";
  ch.dbServer = get(kPropDbServer);
  ch.allInOne = ch.dbServer.empty();
  ch.dbUser = get(kPropDbUser);
  ch.dbPassword = get(kPropDbPassword);
  if (!get(kPropDbName).empty()) ch.dbName = get(kPropDbName);
  ch.installFolder = get(kPropInstallFolder);
  return {};
}
std::wstring ArgumentsForLog(const std::vector<std::wstring>& a) {
  std::wstring s;
  for (auto& x : a) s += x + L" ";
  return s;
}
std::vector<std::wstring> PropertiesForLog(const Properties& p) {
  std::vector<std::wstring> v;
  for (auto& [k, x] : p) v.push_back(k + L"=" + (k.find(L"PASSWORD") != std::wstring::npos ? L"*****" : x));
  return v;
}
std::wstring UsageText() { return L"usage"; }
std::wstring RelaunchParameters(std::wstring_view arguments) { return std::wstring(arguments) + L" /runas"; }
}  // namespace kestrel
