// The proxy for this run: edited by the proxy dialog, read by every HTTP
// session and by the web.config writer. Kept in memory only.
#pragma once

#include <string>

namespace kestrel {

struct ProxySettings {
  int enabled = 0;
  std::wstring server;      // "address:port"
  std::wstring bypassList;  // entries separated by ";"
  std::wstring userName;    // empty: none
  std::wstring password;    // empty: none
};

// A consistent copy of the record. The dialog may store new values on the
// user-interface thread while a worker opens a session; each reader works
// on its own snapshot, so it never sees half of an update.
ProxySettings ProxySnapshot();
void StoreProxySettings(const ProxySettings& settings);

}  // namespace kestrel
