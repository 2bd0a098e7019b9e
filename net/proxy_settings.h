// The proxy for this run: edited by the proxy dialog, read by every HTTP
// session and by the web.config writer. Kept in memory only.
#pragma once

#include <string>

namespace kestrel {

enum class ProxyMode {
  kSystem,  // the proxy this machine is set to use (net/system_proxy.h)
  kDirect,  // no proxy at all
  kCustom,  // a proxy typed into the dialog or given for the run: server and bypassList
};

struct ProxySettings {
  ProxyMode mode = ProxyMode::kSystem;
  std::wstring server;      // "address:port"; used by kCustom only
  std::wstring bypassList;  // entries separated by ";"; used by kCustom only
  // Credentials for whichever proxy a connection goes through, the typed
  // one or the one the system names. Empty: none.
  std::wstring userName;
  std::wstring password;
};

// A consistent copy of the record. The dialog may store new values on the
// user-interface thread while a worker opens a session; each reader works
// on its own snapshot, so it never sees half of an update.
ProxySettings ProxySnapshot();
void StoreProxySettings(const ProxySettings& settings);

}  // namespace kestrel
