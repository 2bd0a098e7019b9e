// The installer's one HTTP client: synchronous WinHTTP, one object per
// request, each with its own session. All texts passed in are UTF-8.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/proxy_route.h"
#include "net/proxy_settings.h"
#include "net/self_grow_buffer.h"
#include "win/internet_handle.h"

namespace kestrel {

inline constexpr wchar_t kHttpUserAgent[] =
    L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET CLR 1.1.4322)";

// Calling order: Open; then SetTimeouts, AddHeader, SetContentLength; then
// Send (once for the request, again for further body pieces);
// ReceiveResponse; then GetStatusCode, GetContentLength, GetHeader and
// ReadSome repeatedly or ReadAll once; finally Release, which deletes the
// object. Results named int are 1 for success and 0 for failure.
class WOSHttpSyncedConnectionInterface {
 public:
  virtual int Open(const std::string& host, int port, const std::string& verb, const std::string& path,
                   int secure) = 0;
  // A null value removes the header; a value replaces an existing one.
  virtual int AddHeader(const std::string& name, const char* value) = 0;
  virtual int Send(const void* body, uint32_t length) = 0;
  virtual int ReceiveResponse() = 0;
  // At the end of the body: 1 with read = 0.
  virtual int ReadSome(void* buffer, uint32_t capacity, uint32_t* read) = 0;
  // The whole remaining body (empty, not nullopt, when there is none);
  // nullopt when a read fails after data was announced.
  virtual std::optional<std::string> ReadAll(uint64_t* total) = 0;
  virtual std::optional<std::string> GetHeader(const std::string& name) = 0;
  // 509 until a reply status was read.
  virtual int GetStatusCode() = 0;
  virtual int64_t GetContentLength() = 0;
  virtual int SetContentLength(int64_t length) = 0;
  virtual void Release() = 0;
  // Milliseconds; acts on the request, so it must follow Open.
  virtual int SetTimeouts(int resolve, int connect, int send, int receive) = 0;
  virtual const char* GetAuxBuffer() = 0;
  virtual int HasMask(int ignored) = 0;
  virtual void ApplyMask(void* buffer, uint32_t length, uint64_t offset, int ignored) = 0;

 protected:
  // Objects end only through Release.
  ~WOSHttpSyncedConnectionInterface() = default;
};

class WOSHttpSyncedConnection final : public WOSHttpSyncedConnectionInterface {
 public:
  WOSHttpSyncedConnection() = default;
  WOSHttpSyncedConnection(const WOSHttpSyncedConnection&) = delete;
  WOSHttpSyncedConnection& operator=(const WOSHttpSyncedConnection&) = delete;

  int Open(const std::string& host, int port, const std::string& verb, const std::string& path,
           int secure) override;
  int AddHeader(const std::string& name, const char* value) override;
  int Send(const void* body, uint32_t length) override;
  int ReceiveResponse() override;
  int ReadSome(void* buffer, uint32_t capacity, uint32_t* read) override;
  std::optional<std::string> ReadAll(uint64_t* total) override;
  std::optional<std::string> GetHeader(const std::string& name) override;
  int GetStatusCode() override { return statusCode_; }
  int64_t GetContentLength() override { return contentLength_; }
  int SetContentLength(int64_t length) override;
  void Release() override;
  int SetTimeouts(int resolve, int connect, int send, int receive) override;
  const char* GetAuxBuffer() override { return auxBuffer_.get(); }
  int HasMask(int) override { return mask_ ? 1 : 0; }
  void ApplyMask(void* buffer, uint32_t length, uint64_t offset, int) override;

  // Bounds the wait for the reply's headers, the TLS handshake included
  // (WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT); must follow Open.
  int SetResponseTimeout(int milliseconds);

 private:
  ~WOSHttpSyncedConnection() = default;

  // Handles close in reverse order of declaration: request, connection,
  // session.
  win::UniqueInternet session_;
  win::UniqueInternet connection_;
  win::UniqueInternet request_;
  int32_t statusCode_ = 509;
  int64_t contentLength_ = 0;
  int requestSent_ = 0;
  std::unique_ptr<char[]> auxBuffer_;
  std::unique_ptr<unsigned char[]> mask_;  // 4096 bytes when set
};

// Owns a connection and releases it.
struct ConnectionRelease {
  void operator()(WOSHttpSyncedConnectionInterface* c) const noexcept {
    if (c != nullptr) c->Release();
  }
};
using ConnectionPtr = std::unique_ptr<WOSHttpSyncedConnectionInterface, ConnectionRelease>;

// A synchronous session with the installer's user agent, through the
// route's proxy when it names one (with the credentials of the settings),
// asking for TLS 1.0 to 1.2 on the systems that offer less unless asked
// (NeedsExplicitTlsProtocols) and keeping the system's defaults elsewhere.
win::UniqueInternet OpenSession(const ProxyRoute& route, const ProxySettings& credentials);

}  // namespace kestrel
