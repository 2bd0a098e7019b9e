#include "net/proxy_route.h"

#include <windows.h>
#include <winhttp.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "net/http_connection.h"
#include "win/internet_handle.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

// Texts WinHTTP hands over with GlobalAlloc.
struct GlobalFreeDeleter {
  void operator()(wchar_t* text) const noexcept { ::GlobalFree(text); }
};
using GlobalText = std::unique_ptr<wchar_t, GlobalFreeDeleter>;

std::wstring TextOf(const GlobalText& text) { return text ? std::wstring(text.get()) : std::wstring(); }

struct UserSettings {
  bool autoDetect = false;
  std::wstring scriptUrl;
  std::wstring proxy;
  std::wstring bypass;
};

struct Resolver {
  std::mutex mutex;
  bool detectionDone = false;
  std::wstring detectedScript;  // empty: detection found none
  DWORD detectionError = 0;
  std::map<std::wstring, ProxyRoute> routes;  // by "scheme://host:port/"
  std::set<std::wstring> logged;              // typed and direct routes written to the log
};

// Never destroyed: a worker may still open a connection while the process
// ends.
Resolver& State() {
  static Resolver* resolver = new Resolver;
  return *resolver;
}

std::wstring ErrorNumber(DWORD error) { return L"error " + std::to_wstring(error); }

// A script's link as the log shows it: without a user name and password.
std::wstring ForLog(const std::wstring& url) {
  const size_t scheme = url.find(L"://");
  if (scheme == std::wstring::npos) return url;
  const size_t authority = scheme + 3;
  const size_t end = url.find_first_of(L"/?#", authority);
  const size_t at = url.rfind(L'@', end == std::wstring::npos ? url.size() - 1 : end);
  if (at == std::wstring::npos || at < authority) return url;
  return url.substr(0, authority) + url.substr(at + 1);
}

UserSettings ReadUserSettings() {
  UserSettings user;
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return user;
  GlobalText script(config.lpszAutoConfigUrl), proxy(config.lpszProxy), bypass(config.lpszProxyBypass);
  user.autoDetect = config.fAutoDetect != FALSE;
  user.scriptUrl = TextOf(script);
  user.proxy = TextOf(proxy);
  user.bypass = TextOf(bypass);
  return user;
}

ProxyRoute FromProxyInfo(WINHTTP_PROXY_INFO& info, std::wstring source) {
  GlobalText proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
  ProxyRoute route;
  route.source = std::move(source);
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && proxy && proxy.get()[0] != L'\0') {
    route.proxy = TextOf(proxy);
    route.bypass = TextOf(bypass);
  }
  return route;
}

// The script's answer for the link; nullopt (and the error) when it could
// not be fetched or run.
std::optional<ProxyRoute> FromScript(const std::wstring& url, const std::wstring& scriptUrl, std::wstring source,
                                     DWORD* error) {
  win::UniqueInternet session(
      ::WinHttpOpen(kHttpUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    *error = ::GetLastError();
    return std::nullopt;
  }
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
  options.lpszAutoConfigUrl = scriptUrl.c_str();
  // A script on an intranet server may ask for the user's own logon.
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info = {};
  if (!::WinHttpGetProxyForUrl(session.get(), url.c_str(), &options, &info)) {
    *error = ::GetLastError();
    return std::nullopt;
  }
  return FromProxyInfo(info, std::move(source));
}

// Runs the detection the first time only: its answer holds for the run.
void DetectOnce(Resolver& r) {
  if (r.detectionDone) return;
  r.detectionDone = true;
  wchar_t* found = nullptr;
  if (::WinHttpDetectAutoProxyConfigUrl(WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A, &found)) {
    GlobalText url(found);
    r.detectedScript = TextOf(url);
  } else {
    r.detectionError = ::GetLastError();
  }
}

ProxyRoute ResolveSystem(Resolver& r, const std::wstring& url) {
  // Read for each server: a registry value, cheap, and a change made
  // during the run then reaches the servers not yet asked about.
  const UserSettings user = ReadUserSettings();
  // Why the sources tried first gave no answer.
  std::wstring notes;
  if (user.autoDetect) {
    DetectOnce(r);
    if (r.detectedScript.empty()) {
      notes += L"; automatic detection found no script (" + ErrorNumber(r.detectionError) + L")";
    } else {
      DWORD error = 0;
      const std::wstring what = L"detected script " + ForLog(r.detectedScript);
      if (auto route = FromScript(url, r.detectedScript, L"system: " + what, &error)) return *route;
      notes += L"; " + what + L" failed (" + ErrorNumber(error) + L")";
    }
  }
  if (!user.scriptUrl.empty()) {
    DWORD error = 0;
    const std::wstring what = L"configuration script " + ForLog(user.scriptUrl);
    if (auto route = FromScript(url, user.scriptUrl, L"system: " + what, &error)) return *route;
    notes += L"; " + what + L" failed (" + ErrorNumber(error) + L")";
  }
  if (!user.proxy.empty()) return {user.proxy, user.bypass, L"system: user settings" + notes};
  WINHTTP_PROXY_INFO info = {};
  if (::WinHttpGetDefaultProxyConfiguration(&info)) {
    ProxyRoute route = FromProxyInfo(info, L"system: machine-wide WinHTTP setting" + notes);
    if (!route.proxy.empty()) return route;
  }
  return {L"", L"", L"system: none set" + notes};
}

void LogRoute(const std::wstring& where, const ProxyRoute& route) {
  std::wstring line = L"proxy for " + where + L": ";
  if (route.proxy.empty()) {
    line += L"direct";
  } else {
    line += route.proxy;
    if (!route.bypass.empty()) line += L", bypass list \"" + route.bypass + L"\"";
  }
  line += L" (" + route.source + L")";
  win::Log(line);
}

}  // namespace

ProxyRoute RouteFor(const ProxySettings& settings, const std::wstring& host, int port, bool secure) {
  const wchar_t* scheme = secure ? L"https" : L"http";
  const std::wstring where =
      L"host " + host + L" (" + scheme + L" port " + std::to_wstring(port) + L")";
  Resolver& r = State();
  // Held through a resolution, so that connections opened meanwhile wait
  // for its answer instead of paying for it again.
  std::lock_guard<std::mutex> lock(r.mutex);

  if (settings.mode != ProxyMode::kSystem) {
    ProxyRoute route;
    std::wstring key;
    if (settings.mode == ProxyMode::kCustom) {
      route = {settings.server, settings.bypassList, L"set for this run"};
      key = L"typed " + settings.server + L" " + settings.bypassList + L" " + where;
    } else {
      route.source = L"proxy disabled for this run";
      key = L"direct " + where;
    }
    if (r.logged.insert(key).second) LogRoute(where, route);
    return route;
  }

  const bool literalV6 = host.find(L':') != std::wstring::npos;
  const std::wstring url = std::wstring(scheme) + L"://" + (literalV6 ? L"[" + host + L"]" : host) + L":" +
                           std::to_wstring(port) + L"/";
  if (auto kept = r.routes.find(url); kept != r.routes.end()) return kept->second;
  ProxyRoute route = ResolveSystem(r, url);
  LogRoute(where, route);
  r.routes.emplace(url, route);
  return route;
}

void ForgetSystemProxies() {
  Resolver& r = State();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.detectionDone = false;
  r.detectedScript.clear();
  r.detectionError = 0;
  r.routes.clear();
  r.logged.clear();
}

}  // namespace kestrel
