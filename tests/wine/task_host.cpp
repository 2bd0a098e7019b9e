// Runs tasks of the dispatch table outside the wizard, in a process that
// carries the installer's resources, so a stamped copy of it sees the
// links and names a partner build would. The tests use it to run the
// download tasks against the local package server.
//
//   task_host.exe --report FILE [--folder F] [--install-dir D] [--answers 4,2]
//                 [--existing-server S --db-user U --db-password P --db-name N]
//                 [--argument A] [--check-os | --os-version MAJOR.MINOR.SP.TYPE]
//                 [--unset-env NAME] [--wait-slice-ms N] [--setup-budget N]
//                 [--retry-pause-ms N] [--log FILE]
//                 KEY [KEY...]
//
// The tasks run in turn, sharing one context, until one fails. The report
// (UTF-8) is a list of records, each ended by 0x1E, fields split by 0x1F:
//   status|TEXT   ask|TYPE|CAPTION|TEXT   installdir|DIR
//   trace|TEXT   restart   result|KEY|N
// Questions (the restart question among them, captioned "Reboot") are
// answered from --answers, then with OK / No / Cancel. The audit traces are
// recorded, never sent (the trace is not configured here), and restarting
// is recorded. A task that showed a message box of its own, past its
// context, would hold the host until the test gives up on it.
// --check-os classifies the Windows version as reported to this program
// (Wine's per-program version); --os-version feeds the classification a
// version this machine cannot be. --unset-env removes a variable from the
// environment (ProgramFiles(x86): a 32-bit Windows). --wait-slice-ms and
// --setup-budget shorten the waits for child programs; --retry-pause-ms
// gives downloads the pauses between attempts (none by default here).
// --log writes the run's log, as the installer does, into FILE.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "core/system_inspection.h"
#include "core/text_convert.h"
#include "engine/task_runner.h"
#include "net/audit_trace.h"
#include "support/recording_context.h"
#include "win/run_log.h"

namespace {

void Add(std::string& report, std::initializer_list<std::string> fields) {
  bool first = true;
  for (const auto& field : fields) {
    if (!first) report.push_back('\x1f');
    report += field;
    first = false;
  }
  report.push_back('\x1e');
}

std::string U8(const std::wstring& text) { return kestrel::WideToUtf8(text).value_or(std::string()); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  kt::RecordingContext ctx;
  // The servers of these tests answer at once or fail for good: downloads
  // make their attempts without pauses unless asked.
  ctx.settings.downloadRetryPauseMs = 0;
  std::wstring reportPath;
  std::vector<std::wstring> keys;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto value = [&]() { return std::wstring(argv[++i]); };
    if (arg == L"--report" && hasValue) {
      reportPath = value();
    } else if (arg == L"--folder" && hasValue) {
      ctx.installFolder = value();
    } else if (arg == L"--install-dir" && hasValue) {
      ctx.SetInstallDir(value());
    } else if (arg == L"--argument" && hasValue) {
      ctx.argument = value();
    } else if (arg == L"--answers" && hasValue) {
      std::wstring list = value();
      for (size_t start = 0; start < list.size();) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos) end = list.size();
        ctx.QueueAnswers({_wtoi(list.substr(start, end - start).c_str())});
        start = end + 1;
      }
    } else if (arg == L"--existing-server" && hasValue) {
      ctx.database.allInOne = 0;
      ctx.database.server = value();
    } else if (arg == L"--db-user" && hasValue) {
      ctx.database.user = value();
    } else if (arg == L"--db-password" && hasValue) {
      ctx.database.password = value();
    } else if (arg == L"--db-name" && hasValue) {
      ctx.database.name = value();
    } else if (arg == L"--check-os") {
      if (kestrel::CheckOsVersion(ctx.settings.osVersion) != 0)
        fwprintf(stderr, L"task_host: Windows version not classified\n");
    } else if (arg == L"--os-version" && hasValue) {
      kestrel::OsVersionData version;
      unsigned major = 0, minor = 0, servicePack = 0, type = 0;
      if (swscanf(value().c_str(), L"%u.%u.%u.%u", &major, &minor, &servicePack, &type) != 4) {
        fwprintf(stderr, L"task_host: --os-version wants MAJOR.MINOR.SP.TYPE\n");
        return 2;
      }
      version.major = major;
      version.minor = minor;
      version.servicePackMajor = servicePack;
      version.productType = static_cast<uint8_t>(type);
      ctx.settings.osVersion = [version] { return version; };
      if (kestrel::CheckOsVersion(ctx.settings.osVersion) != 0)
        fwprintf(stderr, L"task_host: Windows version not classified\n");
    } else if (arg == L"--unset-env" && hasValue) {
      ::SetEnvironmentVariableW(value().c_str(), nullptr);
    } else if (arg == L"--wait-slice-ms" && hasValue) {
      ctx.settings.waitSliceMs = static_cast<uint32_t>(_wtoi(value().c_str()));
    } else if (arg == L"--retry-pause-ms" && hasValue) {
      ctx.settings.downloadRetryPauseMs = static_cast<uint32_t>(_wtoi(value().c_str()));
    } else if (arg == L"--log" && hasValue) {
      if (!win::OpenRunLog(value())) fwprintf(stderr, L"task_host: the log cannot be created\n");
    } else if (arg == L"--setup-budget" && hasValue) {
      ctx.settings.setupBudget = std::max(1, _wtoi(value().c_str()));
    } else if (arg.rfind(L"--", 0) == 0) {
      fwprintf(stderr, L"task_host: unknown option %ls\n", arg.c_str());
      return 2;
    } else {
      keys.push_back(arg);
    }
  }
  if (reportPath.empty() || keys.empty()) {
    fwprintf(stderr, L"usage: task_host --report FILE [options] KEY...\n");
    return 2;
  }

  for (const auto& key : keys) {
    if (!kestrel::FindTask(kestrel::TaskDispatchTable(), key)) {
      fwprintf(stderr, L"task_host: unknown task %ls\n", key.c_str());
      return 2;
    }
  }

  // A console program that the tasks leave running (a setup past its
  // budget) would share this host's console, and the console keeps the
  // test's output pipe open as long as anyone is attached. From here on the
  // host, like the installer, has no console and no standard handles.
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) ::SetStdHandle(which, nullptr);
  ::FreeConsole();

  std::vector<std::pair<std::wstring, int>> results;
  for (const auto& key : keys) {
    const int result = kestrel::FindTask(kestrel::TaskDispatchTable(), key)(ctx);
    results.emplace_back(key, result);
    if (result == 0) break;
  }

  std::string report;
  for (const auto& status : ctx.statuses()) Add(report, {"status", U8(status)});
  for (const auto& question : ctx.questions())
    Add(report, {"ask", std::to_string(question.type), U8(question.caption), U8(question.text)});
  for (int i = 0; i < ctx.restarts(); ++i) Add(report, {"restart"});
  Add(report, {"installdir", U8(ctx.InstallDir())});
  for (const auto& trace : kestrel::SentAuditTraces()) Add(report, {"trace", trace});
  for (const auto& [key, result] : results) Add(report, {"result", U8(key), std::to_string(result)});

  HANDLE file = ::CreateFileW(reportPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == report.size() ? 0 : 3;
}
