#include "engine/services.h"

#include <shlobj.h>

#include "core/progress_markup.h"
#include "engine/child_process.h"
#include "engine/product_contract.h"
#include "win/handle.h"
#include "win/shell.h"

namespace kestrel {
namespace {

constexpr int kStatePolls = 120;
constexpr DWORD kServiceAccess = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;

// Where a service operation reports; the quiet stop has nowhere to report
// and never pauses.
struct ServiceReport {
  const RunSettings& settings;
  TaskContext* ctx;  // null: quiet

  void Status(const std::wstring& text) const {
    if (ctx != nullptr) ctx->SetStatus(text);
  }
  void Fail(const std::wstring& text, bool pause) const {
    if (ctx == nullptr) return;
    ctx->SetStatus(text);
    if (pause) ::Sleep(settings.failureTextPauseMs);
  }
};

enum class Request { kStop, kStart };

// Brings a service to the state the request asks for. True when it is there
// or the polls ran out; false on a failure, already reported.
bool DriveService(const std::wstring& name, Request request, const ServiceReport& report) {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    report.Fail(L"Failed to open service manager", true);
    return false;
  }
  win::UniqueService service(::OpenServiceW(manager.get(), name.c_str(), kServiceAccess));
  if (!service) {
    const int error = static_cast<int>(::GetLastError());
    manager.reset();
    report.Fail(L"Failed to open service:" + name + L", " + std::to_wstring(error), true);
    return false;
  }

  const DWORD target = request == Request::kStop ? SERVICE_STOPPED : SERVICE_RUNNING;
  SERVICE_STATUS status = {};
  if (!::QueryServiceStatus(service.get(), &status)) {
    report.Fail(L"Failed to query service status", false);
    return false;
  }
  if (status.dwCurrentState == target) return true;

  const bool sent = request == Request::kStop ? ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != 0
                                              : ::StartServiceW(service.get(), 0, nullptr) != 0;
  if (!sent) {
    service.reset();
    manager.reset();
    report.Fail(L"Failed to open service", true);
    return false;
  }

  for (int i = 0; i < kStatePolls; ++i) {
    if (i > 0) ::Sleep(report.settings.servicePollPauseMs);
    if (!::QueryServiceStatus(service.get(), &status)) {
      report.Fail(L"Failed to query service status", false);
      return false;
    }
    if (status.dwCurrentState == target) return true;
    report.Status(ProgressMarkup(i, kStatePolls, L"Stopping"));
  }
  // The task list goes on: a service that is slow to stop or start is
  // better than an upgrade that cannot finish.
  return true;
}

}  // namespace

int StopServiceTask(TaskContext& ctx) {
  return DriveService(ctx.Argument(), Request::kStop, ServiceReport{ctx.Settings(), &ctx}) ? 1 : 0;
}

int StartServiceTask(TaskContext& ctx) {
  return DriveService(ctx.Argument(), Request::kStart, ServiceReport{ctx.Settings(), &ctx}) ? 1 : 0;
}

bool StopMonitorServiceQuietly(const RunSettings& settings) {
  return DriveService(product::kMonitorService, Request::kStop, ServiceReport{settings, nullptr});
}

int RestartWebServerTask(TaskContext& ctx, const std::wstring& commandLine) {
  const std::wstring tool = win::SpecialFolderPath(CSIDL_SYSTEM, true) + L"\\iisreset.exe";
  return RunProcess(ctx, tool, commandLine, 600);
}

}  // namespace kestrel
