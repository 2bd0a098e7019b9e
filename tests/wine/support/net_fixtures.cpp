#include "support/net_fixtures.h"

#include <winsock2.h>

#include <cstdlib>

#include "support/test_support.h"

namespace kt {
namespace {

// Windows command-line quoting, which Wine undoes for a Linux program.
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}


bool RunLinux(const std::vector<std::string>& argv) {
  std::wstring commandLine;
  for (const std::string& arg : argv) commandLine += (commandLine.empty() ? L"" : L" ") + Quote(kt::Widen(arg));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return false;
  // Wine hands back placeholders for a Linux program; they still count as
  // handles of this process.
  win::UniqueHandle process(info.hProcess), thread(info.hThread);
  return true;
}

// A Linux process is gone when /proc has no entry or a zombie for it.
bool LinuxProcessEnded(long pid) {
  std::string stat = ReadFileBytes(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat");
  if (stat.empty()) return true;
  const size_t paren = stat.rfind(')');
  return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z';
}

// "name=value" lines of a port file.
int PortFrom(const std::string& text, const std::string& name) {
  const std::string key = name + "=";
  size_t at = text.find(key);
  if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) return 0;
  return std::atoi(text.c_str() + at + key.size());
}

const std::string kFixtureBin = KESTREL_FIXTURE_BIN;  // Linux path
const std::string kTestCa = KESTREL_TEST_CA;          // Linux path

}  // namespace

std::string UnixPath(const std::wstring& windowsPath) {
  using Convert = char*(CDECL*)(LPCWSTR);
  auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  char* path = convert(windowsPath.c_str());
  if (path == nullptr) return {};
  std::string result = path;
  ::HeapFree(::GetProcessHeap(), 0, path);
  return result;
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (!ReadFileBytes(path).empty()) return true;
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(20);
  }
}

LinuxProgram::~LinuxProgram() { Stop(); }

bool LinuxProgram::Start(const std::vector<std::string>& argv, const std::wstring& pidFile) {
  ::DeleteFileW(pidFile.c_str());
  const std::string pidPath = UnixPath(pidFile);
  if (pidPath.empty()) return false;
  // The shell writes its own id and then becomes the program.
  std::vector<std::string> shell = {"/bin/sh", "-c", "echo $$ > \"$0.tmp\" && mv \"$0.tmp\" \"$0\" && exec \"$@\"",
                                    pidPath};
  shell.insert(shell.end(), argv.begin(), argv.end());
  if (!RunLinux(shell) || !WaitForFile(pidFile)) return false;
  pid_ = std::atol(ReadFileBytes(pidFile).c_str());
  return pid_ > 0;
}

void LinuxProgram::Stop(const char* signal) {
  if (pid_ <= 0) return;
  const long pid = pid_;
  pid_ = 0;
  if (!RunLinux({"/bin/kill", signal, std::to_string(pid)})) return;
  const ULONGLONG deadline = ::GetTickCount64() + kPatienceMs;
  while (!LinuxProcessEnded(pid) && ::GetTickCount64() < deadline) ::Sleep(20);
}

TestServer::TestServer(const std::wstring& folder, bool https) : folder_(folder), https_(https) {
  CreateFolders(www());
  CreateFolders(postDir());
  Start(0, 0);
}

void TestServer::Kill() { program_.Stop("-KILL"); }

bool TestServer::Restart() {
  const int http = httpPort_, https = httpsPort_;
  program_.Stop();
  httpPort_ = httpsPort_ = 0;
  Start(http, https);
  return ok() && httpPort_ == http && httpsPort_ == https;
}

void TestServer::Start(int httpPort, int httpsPort) {
  const std::wstring portFile = folder_ + L"\\ports.txt";
  std::vector<std::string> argv = {kFixtureBin + "/kestrel-test-server",
                                   "--root", UnixPath(www()),
                                   "--http-port", std::to_string(httpPort),
                                   "--port-file", UnixPath(portFile),
                                   "--log", UnixPath(folder_ + L"\\log.txt"),
                                   "--post-dir", UnixPath(postDir()),
                                   "--lifetime", "900"};
  if (https_) {
    argv.insert(argv.end(), {"--https-port", std::to_string(httpsPort)});
    argv.insert(argv.end(), {"--cert", kTestCa + "/server.crt", "--key", kTestCa + "/server.key"});
  }
  if (!program_.Start(argv, folder_ + L"\\server.pid") || !WaitForFile(portFile)) return;
  const std::string ports = ReadFileBytes(portFile);
  httpPort_ = PortFrom(ports, "http");
  httpsPort_ = PortFrom(ports, "https");
}

std::string TestServer::HttpUrl(const std::string& path) const {
  return "http://localhost:" + std::to_string(httpPort_) + path;
}

std::string TestServer::HttpsUrl(const std::string& path) const {
  return "https://localhost:" + std::to_string(httpsPort_) + path;
}

bool TestServer::AddFile(const std::string& relativePath, const std::string& bytes) const {
  std::wstring path = www() + L"\\" + kt::Widen(relativePath);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  CreateFolders(path.substr(0, path.rfind(L'\\')));
  return WriteFileBytes(path, bytes);
}

TestProxy::TestProxy(const std::wstring& folder, const std::string& user, const std::string& password)
    : folder_(folder) {
  const std::wstring portFile = folder_ + L"\\proxy-port.txt";
  std::vector<std::string> argv = {kFixtureBin + "/kestrel-test-proxy",
                                   "--port", "0",
                                   "--port-file", UnixPath(portFile),
                                   "--log", UnixPath(folder_ + L"\\proxy-log.txt"),
                                   "--lifetime", "900"};
  if (!user.empty()) argv.insert(argv.end(), {"--user", user, "--password", password});
  if (!program_.Start(argv, folder_ + L"\\proxy.pid") || !WaitForFile(portFile)) return;
  port_ = PortFrom(ReadFileBytes(portFile), "port");
}

SilentListener::SilentListener() : listener_(INVALID_SOCKET) {
  WSADATA wsa;
  if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  listener_ = s;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  thread_ = ::CreateThread(nullptr, 0, &SilentListener::Loop, this, 0, nullptr);
  if (thread_ != nullptr) port_ = ntohs(address.sin_port);
}

SilentListener::~SilentListener() {
  stop_ = true;
  if (thread_ != nullptr) {
    ::WaitForSingleObject(thread_, kPatienceMs);
    ::CloseHandle(thread_);
  }
  // Clients still connected see their connection end with it.
  if (listener_ != INVALID_SOCKET) ::closesocket(static_cast<SOCKET>(listener_));
}

DWORD WINAPI SilentListener::Loop(void* parameter) {
  auto* self = static_cast<SilentListener*>(parameter);
  std::vector<SOCKET> clients;
  while (!self->stop_) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(self->listener_), &readable);
    for (SOCKET c : clients) FD_SET(c, &readable);
    // Wakes now and then to see whether the test is done with it.
    timeval wait = {0, 200000};
    const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
    if (ready == SOCKET_ERROR) break;
    if (ready == 0) continue;
    if (FD_ISSET(static_cast<SOCKET>(self->listener_), &readable)) {
      SOCKET client = ::accept(static_cast<SOCKET>(self->listener_), nullptr, nullptr);
      if (client == INVALID_SOCKET) break;
      ++self->connections_;
      clients.push_back(client);
    }
    for (size_t i = 0; i < clients.size();) {
      char buffer[4096];
      if (FD_ISSET(clients[i], &readable) && ::recv(clients[i], buffer, sizeof buffer, 0) <= 0) {
        ::closesocket(clients[i]);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        ++self->closed_;
        continue;
      }
      ++i;
    }
  }
  for (SOCKET c : clients) ::closesocket(c);
  return 0;
}

std::string PatternBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return bytes;
}

std::vector<std::string> TestServer::ReceivedTraces() const {
  std::vector<std::string> traces;
  for (int n = 1;; ++n) {
    wchar_t name[16];
    swprintf(name, 16, L"\\%04d.body", n);
    const std::wstring path = postDir() + name;
    if (!Exists(path)) break;
    const std::string body = ReadFileBytes(path);
    const size_t start = body.find("<Trace>"), end = body.find("</Trace>");
    traces.push_back(start == std::string::npos || end == std::string::npos || end < start
                         ? "<no trace element>"
                         : body.substr(start + 7, end - start - 7));
  }
  return traces;
}

std::vector<std::string> LinesContaining(const std::string& log, const std::string& needle) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < log.size();) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find(needle) != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

namespace {

constexpr wchar_t kConnectionsPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

void AppendDword(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void AppendCounted(std::string& out, const std::string& text) {
  AppendDword(out, static_cast<uint32_t>(text.size()));
  out += text;
}

}  // namespace

RegistryValueScope::RegistryValueScope(HKEY root, std::wstring path, std::wstring name)
    : root_(root), path_(std::move(path)), name_(std::move(name)) {
  win::UniqueHkey key;
  if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), name_.c_str(), nullptr, &type_, nullptr, &size) != ERROR_SUCCESS) return;
  bytes_.resize(size);
  present_ = ::RegQueryValueExW(key.get(), name_.c_str(), nullptr, &type_, bytes_.data(), &size) == ERROR_SUCCESS;
  bytes_.resize(size);
}

RegistryValueScope::~RegistryValueScope() {
  if (!present_) {
    Remove();
    return;
  }
  win::UniqueHkey key;
  if (::RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(),
                        nullptr) == ERROR_SUCCESS)
    ::RegSetValueExW(key.get(), name_.c_str(), 0, type_, bytes_.data(), static_cast<DWORD>(bytes_.size()));
}

bool RegistryValueScope::SetBinary(const std::string& bytes) {
  win::UniqueHkey key;
  if (::RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
    return false;
  return ::RegSetValueExW(key.get(), name_.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

void RegistryValueScope::Remove() {
  win::UniqueHkey key;
  if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_WRITE, key.put()) == ERROR_SUCCESS)
    ::RegDeleteValueW(key.get(), name_.c_str());
}

std::string UserProxySettingsValue(const UserProxy& settings) {
  uint32_t flags = 1;
  if (!settings.proxy.empty()) flags |= 2;
  if (!settings.scriptUrl.empty()) flags |= 4;
  if (settings.autoDetect) flags |= 8;
  std::string out;
  AppendDword(out, 0x46);
  AppendDword(out, 1);
  AppendDword(out, flags);
  AppendCounted(out, settings.proxy);
  AppendCounted(out, settings.bypass);
  AppendCounted(out, settings.scriptUrl);
  out.append(32, '\0');
  return out;
}

std::string MachineProxySettingsValue(const std::string& proxy, const std::string& bypass) {
  std::string out;
  AppendDword(out, 0x18);
  AppendDword(out, 0);
  AppendDword(out, proxy.empty() ? 1 : 3);
  AppendCounted(out, proxy);
  AppendCounted(out, bypass);
  return out;
}

UserProxyScope::UserProxyScope() : RegistryValueScope(HKEY_CURRENT_USER, kConnectionsPath, L"DefaultConnectionSettings") {}

MachineProxyScope::MachineProxyScope() : RegistryValueScope(HKEY_LOCAL_MACHINE, kConnectionsPath, L"WinHttpSettings") {}

}  // namespace kt
