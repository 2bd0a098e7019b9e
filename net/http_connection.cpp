#include "net/http_connection.h"

#include <cstdio>
#include <cwchar>
#include <vector>

#include "core/os_classify.h"
#include "core/system_inspection.h"
#include "core/text_convert.h"

namespace kestrel {
namespace {

// Diagnostic only: nothing reads it, and a GUI process has no console.
void PrintLastError() {
  std::printf("%lu\n", static_cast<unsigned long>(::GetLastError()));
  std::fflush(stdout);
}

// The credentials answer the proxy's 407, whichever proxy the route names:
// the typed one or the one the system gave.
void SetProxyCredentials(HINTERNET handle, const ProxyRoute& route, const ProxySettings& proxy) {
  if (route.proxy.empty() || proxy.userName.empty() || proxy.password.empty()) return;
  // Refusals are ignored: the request then simply meets the proxy's 407.
  (void)::WinHttpSetOption(handle, WINHTTP_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(proxy.userName.c_str()),
                           static_cast<DWORD>(proxy.userName.size()));
  (void)::WinHttpSetOption(handle, WINHTTP_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(proxy.password.c_str()),
                           static_cast<DWORD>(proxy.password.size()));
}

// Decided once: the system's version does not change during a run.
bool WantsExplicitTlsProtocols() {
  static const bool wanted = NeedsExplicitTlsProtocols(QueryRealOsVersion());
  return wanted;
}

}  // namespace

win::UniqueInternet OpenSession(const ProxyRoute& route, const ProxySettings& credentials) {
  win::UniqueInternet session;
  if (route.proxy.empty()) {
    session.reset(::WinHttpOpen(kHttpUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
  } else {
    session.reset(::WinHttpOpen(kHttpUserAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, route.proxy.c_str(),
                                route.bypass.c_str(), 0));
    // Some WinHTTP versions take the credentials only on the request (see
    // Open); asking here as well costs nothing.
    if (session) SetProxyCredentials(session.get(), route, credentials);
  }
  if (session && WantsExplicitTlsProtocols()) {
    // Older systems offer only SSL 3 and TLS 1.0 unless asked; those that
    // do not know the option refuse it, which changes nothing.
    DWORD protocols =
        WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    (void)::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  }
  return session;
}

int WOSHttpSyncedConnection::Open(const std::string& host, int port, const std::string& verb,
                                  const std::string& path, int secure) {
  auto wideHost = Utf8ToWide(host);
  auto wideVerb = Utf8ToWide(verb);
  auto widePath = Utf8ToWide(path);
  if (!wideHost || !wideVerb || !widePath) return 0;
  if (port < 0 || port > 65535) return 0;

  // One snapshot for the session and the request, so a change made in the
  // proxy dialog meanwhile applies whole to the next connection.
  const ProxySettings proxy = ProxySnapshot();
  const ProxyRoute route = RouteFor(proxy, *wideHost, port, secure != 0);
  session_ = OpenSession(route, proxy);
  if (!session_) return 0;
  connection_.reset(::WinHttpConnect(session_.get(), wideHost->c_str(), static_cast<INTERNET_PORT>(port), 0));
  if (!connection_) return 0;
  const DWORD flags = secure ? (WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH) : WINHTTP_FLAG_REFRESH;
  request_.reset(::WinHttpOpenRequest(connection_.get(), wideVerb->c_str(), widePath->c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!request_) return 0;
  SetProxyCredentials(request_.get(), route, proxy);
  return 1;
}

int WOSHttpSyncedConnection::AddHeader(const std::string& name, const char* value) {
  if (!request_) return 0;
  auto wideName = Utf8ToWide(name);
  if (!wideName) return 0;
  std::wstring line = *wideName + L":";
  DWORD flags = WINHTTP_ADDREQ_FLAG_REPLACE;
  if (value != nullptr) {
    auto wideValue = Utf8ToWide(value);
    if (!wideValue) return 0;
    line += L" " + *wideValue;
    flags |= WINHTTP_ADDREQ_FLAG_ADD;
  }
  return ::WinHttpAddRequestHeaders(request_.get(), line.c_str(), static_cast<DWORD>(-1L), flags) ? 1 : 0;
}

int WOSHttpSyncedConnection::Send(const void* body, uint32_t length) {
  if (!request_) return 0;
  if (!requestSent_) {
    if (!::WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, const_cast<void*>(body), length,
                              static_cast<DWORD>(contentLength_ & 0xFFFFFFFF), 0)) {
      PrintLastError();
      return 0;
    }
    requestSent_ = 1;
    return 1;
  }
  if (body == nullptr || length == 0) return 1;
  const char* bytes = static_cast<const char*>(body);
  uint32_t written = 0;
  while (written < length) {
    DWORD n = 0;
    if (!::WinHttpWriteData(request_.get(), bytes + written, length - written, &n)) {
      PrintLastError();
      return 0;
    }
    written += n;
  }
  return 1;
}

int WOSHttpSyncedConnection::ReceiveResponse() {
  if (!request_ || !::WinHttpReceiveResponse(request_.get(), nullptr)) {
    PrintLastError();
    return 0;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    return 0;
  statusCode_ = static_cast<int32_t>(status);

  wchar_t text[32] = {};
  size = sizeof text - sizeof(wchar_t);
  if (::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                            WINHTTP_NO_HEADER_INDEX))
    contentLength_ = std::wcstoll(text, nullptr, 10);
  return 1;
}

int WOSHttpSyncedConnection::ReadSome(void* buffer, uint32_t capacity, uint32_t* read) {
  *read = 0;
  if (!request_) return 0;
  // A synchronous read waits for data and returns up to the capacity, or 0
  // bytes at the end of the body: the same pieces as asking for the
  // available count first, in one call instead of two.
  DWORD n = 0;
  if (!::WinHttpReadData(request_.get(), buffer, capacity, &n)) return 0;
  *read = n;
  return 1;
}

std::optional<std::string> WOSHttpSyncedConnection::ReadAll(uint64_t* total) {
  std::string body;
  if (request_) {
    for (;;) {
      DWORD available = 0;
      // A failure here ends the body like its end does.
      if (!::WinHttpQueryDataAvailable(request_.get(), &available) || available == 0) break;
      const size_t size = body.size();
      body.resize(size + available);
      DWORD n = 0;
      if (!::WinHttpReadData(request_.get(), body.data() + size, available, &n)) return std::nullopt;
      body.resize(size + n);
    }
  }
  if (total != nullptr) *total = body.size();
  return body;
}

std::optional<std::string> WOSHttpSyncedConnection::GetHeader(const std::string& name) {
  if (!request_) return std::nullopt;
  auto wideName = Utf8ToWide(name);
  if (!wideName) return std::nullopt;
  DWORD size = 0;
  ::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_CUSTOM, wideName->c_str(), WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::nullopt;
  std::vector<wchar_t> value(size / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_CUSTOM, wideName->c_str(), value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  return WideToUtf8(std::wstring(value.data(), size / sizeof(wchar_t)));
}

int WOSHttpSyncedConnection::SetContentLength(int64_t length) {
  contentLength_ = length;
  return AddHeader("Content-Length", std::to_string(length).c_str());
}

void WOSHttpSyncedConnection::Release() { delete this; }

int WOSHttpSyncedConnection::SetTimeouts(int resolve, int connect, int send, int receive) {
  if (!request_) return 0;
  return ::WinHttpSetTimeouts(request_.get(), resolve, connect, send, receive) ? 1 : 0;
}

int WOSHttpSyncedConnection::SetResponseTimeout(int milliseconds) {
  if (!request_) return 0;
  DWORD value = static_cast<DWORD>(milliseconds);
  return ::WinHttpSetOption(request_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &value, sizeof value) ? 1 : 0;
}

void WOSHttpSyncedConnection::ApplyMask(void* buffer, uint32_t length, uint64_t offset, int) {
  if (!mask_) return;
  unsigned char* bytes = static_cast<unsigned char*>(buffer);
  for (uint32_t i = 0; i < length; ++i) bytes[i] ^= mask_[(offset + i) & 0xFFF];
}

}  // namespace kestrel
