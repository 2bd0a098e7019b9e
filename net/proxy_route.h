// Which proxy a connection goes through: the typed one, none, or the one
// this machine is set to use for the server it connects to. The machine's
// answer for each server (scheme, host and port) is found once per run and
// kept, and automatic detection runs at most once per run, so a slow
// detection or script is paid once; each route is written to the run's
// log the first time it is used.
#pragma once

#include <string>

#include "net/proxy_settings.h"

namespace kestrel {

struct ProxyRoute {
  // WinHTTP's proxy list ("host:port", or entries per scheme); empty: the
  // connection goes direct.
  std::wstring proxy;
  // Hosts WinHTTP reaches directly despite the proxy (";"-separated).
  std::wstring bypass;
  // Where the answer came from, for the log.
  std::wstring source;
};

// The route to host:port over HTTP or HTTPS. Any thread may ask.
//
// For the system setting, in this order: the user's Internet settings
// (automatic detection, then the automatic configuration script, then the
// static proxy with its bypass list), then WinHTTP's machine-wide default;
// direct when none of them names a proxy. A script's answer, DIRECT
// included, is final; a script that cannot be fetched or run passes on to
// the next source.
ProxyRoute RouteFor(const ProxySettings& settings, const std::wstring& host, int port, bool secure);

// Forgets every answer kept so far and the detection's result, so the
// next connection asks the system again. For tests that change the machine's settings between
// cases; a run itself asks once.
void ForgetSystemProxies();

}  // namespace kestrel
