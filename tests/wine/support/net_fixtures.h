// The local network fixtures (tests/fixtures) seen from a Wine test: the
// Linux test server and proxy, started by the test itself and stopped when
// it ends.
//
// A Windows process under Wine can start a Linux program (CreateProcessW
// on its Z: path) but gets no usable handle for it, so each fixture starts
// through /bin/sh, which records its Linux process id, and is stopped with
// /bin/kill. Ports come from the fixture's port file. A --lifetime bound
// ends a fixture whose test crashed.
//
// HTTPS needs the test CA: run the test process inside
// tests/fixtures/with-test-ca.sh (scripts/test does).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace kt {

// Linux path of a Windows path, through Wine.
std::string UnixPath(const std::wstring& windowsPath);
// Waits until the file exists and is not empty.
bool WaitForFile(const std::wstring& path, DWORD timeoutMs = 60000);

// A Linux program started in the background; stopped on destruction.
class LinuxProgram {
 public:
  LinuxProgram() = default;
  ~LinuxProgram();
  LinuxProgram(const LinuxProgram&) = delete;
  LinuxProgram& operator=(const LinuxProgram&) = delete;

  // pidFile is a Windows path in a scratch folder.
  bool Start(const std::vector<std::string>& argv, const std::wstring& pidFile);
  // Sends the signal (by default a request to stop) and waits for the end.
  void Stop(const char* signal = "-TERM");

 private:
  long pid_ = 0;
};

// kestrel-test-server over a scratch folder: www\ is served, log.txt has a
// line per request, post\ holds the POST bodies.
class TestServer {
 public:
  // folder: a fresh scratch folder (kt::ScratchFolder).
  explicit TestServer(const std::wstring& folder, bool https = false);

  bool ok() const { return httpPort_ > 0 && (!https_ || httpsPort_ > 0); }
  int httpPort() const { return httpPort_; }
  int httpsPort() const { return httpsPort_; }
  std::string HttpUrl(const std::string& path) const;   // path starts with "/"
  std::string HttpsUrl(const std::string& path) const;  // https://localhost:P/...
  // Puts a file into www\ (folders created).
  bool AddFile(const std::string& relativePath, const std::string& bytes) const;
  std::wstring www() const { return folder_ + L"\\www"; }
  std::wstring postDir() const { return folder_ + L"\\post"; }
  std::string Log() const { return ReadFileBytes(folder_ + L"\\log.txt"); }
  // The text of the <Trace> element of each POST body received, in order
  // (audit traces; "<no trace element>" for a body without one).
  std::vector<std::string> ReceivedTraces() const;

  // Ends the server at once, as a crash or a pulled cable would: every
  // connection breaks in the middle.
  void Kill();
  // Starts it again on the same ports; false when it could not.
  bool Restart();

 private:
  void Start(int httpPort, int httpsPort);

  std::wstring folder_;
  bool https_;
  int httpPort_ = 0;
  int httpsPort_ = 0;
  LinuxProgram program_;
};

// kestrel-test-proxy; with a user name and password it asks for them.
class TestProxy {
 public:
  TestProxy(const std::wstring& folder, const std::string& user = {}, const std::string& password = {});
  bool ok() const { return port_ > 0; }
  int port() const { return port_; }
  std::string Log() const { return ReadFileBytes(folder_ + L"\\proxy-log.txt"); }

 private:
  std::wstring folder_;
  int port_ = 0;
  LinuxProgram program_;
};

// A local port that accepts connections and never sends a byte, as a
// service behind a firewall that swallows its answers. Reads and drops what
// clients send; counts the connections.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  bool ok() const { return port_ > 0; }
  int port() const { return port_; }
  int connections() const { return connections_.load(); }
  // How many clients gave up and closed their connection.
  int closedByClients() const { return closed_.load(); }

 private:
  static DWORD WINAPI Loop(void* self);
  uintptr_t listener_;
  HANDLE thread_ = nullptr;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<int> closed_{0};
  std::atomic<bool> stop_{false};
};

// One registry value of this process's own view, put back as it was (or
// removed again) at the end: the prefix is shared by every test of a run.
class RegistryValueScope {
 public:
  RegistryValueScope(HKEY root, std::wstring path, std::wstring name);
  ~RegistryValueScope();
  RegistryValueScope(const RegistryValueScope&) = delete;
  RegistryValueScope& operator=(const RegistryValueScope&) = delete;

  bool SetBinary(const std::string& bytes);
  void Remove();

 private:
  HKEY root_;
  std::wstring path_, name_;
  bool present_ = false;
  DWORD type_ = 0;
  std::vector<unsigned char> bytes_;
};

// The proxy a user's Internet settings name.
struct UserProxy {
  bool autoDetect = false;
  std::string proxy;      // "host:port" or per-scheme entries; empty: none
  std::string bypass;     // ";"-separated
  std::string scriptUrl;  // automatic configuration script; empty: none
};

inline UserProxy MakeUserProxy(std::string proxy, std::string bypass = {}, std::string scriptUrl = {},
                               bool autoDetect = false) {
  UserProxy settings;
  settings.autoDetect = autoDetect;
  settings.proxy = std::move(proxy);
  settings.bypass = std::move(bypass);
  settings.scriptUrl = std::move(scriptUrl);
  return settings;
}

// The DefaultConnectionSettings bytes for those settings: version, change
// counter and flags (1 always, 2 static proxy, 4 script, 8 detection) as
// DWORDs, then the proxy, the bypass list and the script's link, each an
// 8-bit text after its DWORD length, then reserved zeros.
std::string UserProxySettingsValue(const UserProxy& settings);

// The WinHttpSettings bytes of a machine-wide WinHTTP proxy (none when
// empty): a 0x18 header, 0, flags (1 direct, 2 proxy), then the proxy and
// the bypass list, each an 8-bit text after its DWORD length.
std::string MachineProxySettingsValue(const std::string& proxy, const std::string& bypass);

// The current user's Internet settings, as WinHTTP under Wine reads them:
// only from the binary DefaultConnectionSettings value. Remove() leaves a
// machine as a fresh one is: no value, which reads as automatic detection
// on.
class UserProxyScope : public RegistryValueScope {
 public:
  UserProxyScope();
  bool Set(const UserProxy& settings) { return SetBinary(UserProxySettingsValue(settings)); }
};

// WinHTTP's machine-wide default proxy (the WinHttpSettings value).
class MachineProxyScope : public RegistryValueScope {
 public:
  MachineProxyScope();
  bool Set(const std::string& proxy, const std::string& bypass = {}) {
    return SetBinary(MachineProxySettingsValue(proxy, bypass));
  }
};

// The lines of a log (a fixture's log text) that hold the needle, without
// their line ends.
std::vector<std::string> LinesContaining(const std::string& log, const std::string& needle);

// Some random bytes of a given size, the same for the same seed.
std::string PatternBytes(size_t size, unsigned seed = 1);

}  // namespace kt
