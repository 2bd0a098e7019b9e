// Start-up of the real KestrelSetup.exe (the build beside this program):
// the time from starting it to its first visible window, against starting
// a trivial program ("cmd /c exit") under the same Wine, and how long the
// first audit trace holds the start-up back when the audit service accepts
// the connection and never answers.
//
// Copies of the installer, each in its own folder under C:\ktest:
//   builtin  - as built (its audit service host does not resolve here);
//   refused  - stamped to send its traces to a closed local port;
//   silent   - stamped to a local listener that accepts and never answers.
// All are started with "/runas" (no relaunch) except "builtin-relaunch",
// which starts as a user would and finds the relaunched copy's wizard.
// Each window found is closed with Cancel.
//   startup_bench.exe [runs] [silent-cap-seconds]
// runs (default 3) applies to the quick cases (0: the silent case only);
// the silent case runs once, and gives up after silent-cap-seconds (300).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <prsht.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "net/http_connection.h"
#include "res/resource_ids.h"
#include "support/test_support.h"

namespace {

const std::wstring kWizardCaption = L"Marrowfield Installation";

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Accepts connections and never writes a byte; records, per connection,
// how long the client kept it open (until it closed or gave up).
class SilentListener {
 public:
  bool Start() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    if (::listen(listener_, 8) != 0) return false;
    int length = sizeof address;
    if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
    port_ = ntohs(address.sin_port);
    thread_ = ::CreateThread(nullptr, 0, &SilentListener::Loop, this, 0, nullptr);
    return thread_ != nullptr;
  }
  int port() const { return port_; }
  int connections() const { return connections_.load(); }
  // The longest a client kept a connection open before it closed it (or
  // was ended by the benchmark).
  double longestHeldSeconds() const { return longestHeld_.load(); }

 private:
  static DWORD WINAPI Loop(void* parameter) {
    auto* self = static_cast<SilentListener*>(parameter);
    for (;;) {
      SOCKET client = ::accept(self->listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return 0;
      const double accepted = Now();
      ++self->connections_;
      // Read (and drop) whatever the client sends until it closes.
      char buffer[4096];
      while (::recv(client, buffer, sizeof buffer, 0) > 0) {
      }
      const double held = Now() - accepted;
      if (held > self->longestHeld_.load()) self->longestHeld_ = held;
      ::closesocket(client);
    }
  }

  SOCKET listener_ = INVALID_SOCKET;
  HANDLE thread_ = nullptr;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<double> longestHeld_{0};
};

// A local port with nothing listening on it.
int ClosedPort() {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::closesocket(s);
  return port;
}

struct Started {
  double window = -1;  // seconds to the first visible window, -1 when none
  double idle = -1;    // seconds until WaitForInputIdle returned
  bool closed = false;
};

// The first visible top-level window of pid (any process when pid is 0 and
// the caption is the wizard's).
HWND FirstWindow(DWORD pid) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  ::EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        if (!::IsWindowVisible(w)) return TRUE;
        const bool ours = s->pid != 0 ? kt::WindowProcess(w) == s->pid : kt::WindowText(w) == kWizardCaption;
        if (!ours) return TRUE;
        s->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Starts exe with arguments, polls for its first window every 5 ms (a
// benchmark may; the product never does), then closes it with Cancel.
Started StartAndTime(const std::wstring& exe, const std::wstring& arguments, bool relaunches, double capSeconds) {
  Started result;
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  // The installer prints WinHTTP error codes on its standard output; keep
  // them out of the table.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  win::UniqueHandle nul(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                      OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = nul.get();
  startup.hStdError = nul.get();
  PROCESS_INFORMATION info = {};
  const double t0 = Now();
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info))
    return result;
  win::UniqueHandle process(info.hProcess), thread(info.hThread);
  HWND window = nullptr;
  bool idleSeen = relaunches;  // the relaunching instance never idles
  while (Now() - t0 < capSeconds) {
    if (!idleSeen && ::WaitForInputIdle(process.get(), 0) == 0) {
      result.idle = Now() - t0;
      idleSeen = true;
    }
    window = FirstWindow(relaunches ? 0 : info.dwProcessId);
    if (window != nullptr) {
      result.window = Now() - t0;
      break;
    }
    ::Sleep(5);
  }
  if (window == nullptr) {
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 10000);
    return result;
  }
  const DWORD pid = kt::WindowProcess(window);
  win::UniqueHandle owner(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
  kt::PressButton(window, IDCANCEL);
  if (owner && ::WaitForSingleObject(owner.get(), 30000) == WAIT_OBJECT_0) {
    result.closed = true;
  } else if (owner) {
    ::TerminateProcess(owner.get(), 1);
    ::WaitForSingleObject(owner.get(), 10000);
  }
  ::WaitForSingleObject(process.get(), 10000);
  return result;
}

// From the licence page's Next to the database page, and from the database
// page's Next to the commit page: each page sends an audit trace when it
// opens. Seconds each, -1 when the step did not happen.
struct PageTimes {
  double databasePage = -1;
  double commitPage = -1;
};

PageTimes TimePages(const std::wstring& exe) {
  PageTimes times;
  kt::Process process = kt::Launch(exe, L"/runas");
  HWND wizard = kt::WaitForWindow(kWizardCaption, process.pid());
  if (wizard == nullptr) return times;
  HWND next = kt::FindControl(wizard, ID_WIZNEXT);
  auto step = [&](const wchar_t* from, const wchar_t* to) {
    if (!kt::WaitForStage(wizard, from) || !kt::WaitUntil([&] { return kt::IsEnabled(next) && kt::IsShown(next); }))
      return -1.0;
    const double t0 = Now();
    kt::PressButton(wizard, ID_WIZNEXT);
    return kt::WaitForStage(wizard, to) ? Now() - t0 : -1.0;
  };
  if (step(L"Welcome", L"License Agreement") >= 0) {
    kt::SetChecked(kt::FindControl(kt::CurrentPage(wizard), IDC_EULA_AGREE), true);
    times.databasePage = step(L"License Agreement", L"Choose Installation Type");
    if (times.databasePage >= 0) times.commitPage = step(L"Choose Installation Type", L"Install now");
  }
  kt::PressButton(wizard, IDCANCEL);
  process.Wait(nullptr, 30000);  // ended on destruction if it still runs
  return times;
}

double RunToExit(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const double t0 = Now();
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info))
    return -1;
  win::UniqueHandle process(info.hProcess), thread(info.hThread);
  ::WaitForSingleObject(process.get(), INFINITE);
  return Now() - t0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A copy of the installer in its own folder, stamped when endpoint is set.
std::wstring Copy(const std::wstring& name, const std::wstring& endpoint) {
  const std::wstring exe = kt::CopyInstaller(kt::ScratchFolder(L"startup-bench\\" + name));
  if (exe.empty()) return {};
  if (!endpoint.empty() && !kt::Stamp(exe, L"--string 146=" + endpoint)) return {};
  return exe;
}

// One table line, and a line for bench/run-all.
void Print(const char* name, double seconds, double reference, const char* note) {
  if (seconds < 0) {
    std::printf("%-26s %9s %7s  %s\n", name, "none", "-", note);
    std::printf("RESULT startup-%s kestrel_s=none reference_s=%.3f ratio=-\n", name, reference);
    return;
  }
  const double ratio = reference > 0 ? seconds / reference : 0.0;
  std::printf("%-26s %9.3f %7.1f  %s\n", name, seconds, ratio, note);
  std::printf("RESULT startup-%s kestrel_s=%.3f reference_s=%.3f ratio=%.1f\n", name, seconds, reference, ratio);
}

// One HTTPS POST to the silent listener with every WinHTTP timeout set to
// timeoutMs: shows whether this WinHTTP bounds a TLS handshake that never
// gets an answer. Seconds until Send gave up.
// The probe runs on its own thread so that a send that never gives up
// cannot hold the benchmark: after capSeconds it counts as none (-1), and
// the thread is left blocked until the process ends.
struct Probe {
  int port;
  int timeoutMs;
  std::atomic<double> seconds{-1};
};

DWORD WINAPI ProbeThread(void* parameter) {
  auto* probe = static_cast<Probe*>(parameter);
  kestrel::ConnectionPtr connection(new kestrel::WOSHttpSyncedConnection());
  const double t0 = Now();
  if (!connection->Open("localhost", probe->port, "POST", "/namespace/n.svc/partneraudittrace", 1)) return 0;
  connection->SetTimeouts(probe->timeoutMs, probe->timeoutMs, probe->timeoutMs, probe->timeoutMs);
  const char body[] = "<probe/>";
  connection->SetContentLength(sizeof body - 1);
  (void)connection->Send(body, sizeof body - 1);
  probe->seconds = Now() - t0;
  return 0;
}

double ProbeSendWithTimeouts(int port, int timeoutMs, double capSeconds) {
  static Probe probe;  // outlives a thread that never returns
  probe.port = port;
  probe.timeoutMs = timeoutMs;
  HANDLE thread = ::CreateThread(nullptr, 0, &ProbeThread, &probe, 0, nullptr);
  if (thread == nullptr) return -1;
  const bool ended = ::WaitForSingleObject(thread, static_cast<DWORD>(capSeconds * 1000)) == WAIT_OBJECT_0;
  ::CloseHandle(thread);
  return ended ? probe.seconds.load() : -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? std::max(0, _wtoi(argv[1])) : 3;
  const double cap = argc > 2 ? std::max(10, _wtoi(argv[2])) : 300;
  WSADATA wsa;
  if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  SilentListener silent;
  if (!silent.Start()) {
    std::fprintf(stderr, "cannot listen\n");
    return 1;
  }
  const std::wstring path = L"/namespace/n.svc/partneraudittrace";
  const std::wstring builtin = Copy(L"builtin", L"");
  const std::wstring refused = Copy(L"refused", L"https://localhost:" + std::to_wstring(ClosedPort()) + path);
  const std::wstring quiet = Copy(L"silent", L"https://localhost:" + std::to_wstring(silent.port()) + path);
  if (builtin.empty() || refused.empty() || quiet.empty()) {
    std::fprintf(stderr, "cannot copy or stamp the installer\n");
    return 1;
  }
  kt::InstallerKeyScope registry;  // no installed copy: no upgrade question

  std::vector<double> cmd, builtinTimes, builtinIdle, refusedTimes, refusedIdle, relaunchTimes;
  const std::wstring cmdExe = kt::SystemFolder() + L"\\cmd.exe";
  for (int i = 0; i < runs; ++i) {
    cmd.push_back(RunToExit(cmdExe, L"/c exit"));
    Started b = StartAndTime(builtin, L"/runas", false, cap);
    builtinTimes.push_back(b.window);
    builtinIdle.push_back(b.idle);
    Started r = StartAndTime(refused, L"/runas", false, cap);
    refusedTimes.push_back(r.window);
    refusedIdle.push_back(r.idle);
    relaunchTimes.push_back(StartAndTime(builtin, L"", true, cap).window);
  }
  // The audit trace no longer holds the thread that sends it: the silent
  // service is timed like the others, over the same runs.
  std::vector<double> silentTimes, refusedDb, refusedCommit, silentDb, silentCommit;
  Started s;
  for (int i = 0; i < runs; ++i) {
    s = StartAndTime(quiet, L"/runas", false, cap);
    silentTimes.push_back(s.window);
    const PageTimes r = TimePages(refused), q = TimePages(quiet);
    refusedDb.push_back(r.databasePage);
    refusedCommit.push_back(r.commitPage);
    silentDb.push_back(q.databasePage);
    silentCommit.push_back(q.commitPage);
  }
  s.window = Median(silentTimes);
  const double probe = ProbeSendWithTimeouts(silent.port(), 5000, std::min(cap, 120.0));

  const double reference = Median(cmd);
  std::printf("%-26s %9s %7s  %s\n", "case", "seconds", "ratio", "(median of runs; ratio to cmd /c exit)");
  Print("cmd", reference, reference, "start to exit of a trivial program");
  Print("builtin", Median(builtinTimes), reference, "start to first window, built-in audit host");
  Print("builtin-idle", Median(builtinIdle), reference, "WaitForInputIdle returned");
  Print("builtin-relaunch", Median(relaunchTimes), reference, "plain start, relaunched copy's wizard");
  Print("refused", Median(refusedTimes), reference, "start to first window, audit port closed");
  Print("refused-idle", Median(refusedIdle), reference, "WaitForInputIdle returned");
  Print("silent", s.window, reference, "start to first window, audit service never answers");
  Print("dbpage-refused", Median(refusedDb), reference, "licence page's Next to the database page, port closed");
  Print("dbpage-silent", Median(silentDb), reference, "the same, audit service never answers");
  Print("commitpage-refused", Median(refusedCommit), reference, "database page's Next to the commit page, port closed");
  Print("commitpage-silent", Median(silentCommit), reference, "the same, audit service never answers");
  std::printf("silent listener: %d connection(s); the longest closed one was held %.3f s (a client that never gives\n"
              "up holds it until the benchmark ends that client)\n",
              silent.connections(), silent.longestHeldSeconds());
  if (probe >= 0) {
    std::printf("a POST to the silent listener with every WinHTTP timeout set to 5 s gave up after %.3f s\n", probe);
    std::printf("RESULT startup-probe kestrel_s=%.3f\n", probe);
  } else {
    std::printf("a POST to the silent listener with every WinHTTP timeout set to 5 s had not given up after %.0f s\n",
                std::min(cap, 120.0));
    std::printf("RESULT startup-probe kestrel_s=more-than-%.0f\n", std::min(cap, 120.0));
  }
  const double refusedMedian = Median(refusedTimes);
  if (s.window >= 0 && refusedMedian >= 0)
    std::printf("RESULT startup-blocked kestrel_s=%.3f held_s=%.3f\n", s.window - refusedMedian,
                silent.longestHeldSeconds());
  else
    std::printf("RESULT startup-blocked kestrel_s=more-than-%.0f held_s=-\n", cap);
  return 0;
}
