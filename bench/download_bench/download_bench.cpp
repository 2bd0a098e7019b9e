// Downloads one link with DownloadToFile and reports the time it took and
// the peak working set, so a run shows the speed and that memory stays flat.
//   download_bench.exe URL DESTINATION
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "engine/task_context.h"
#include "net/download.h"
#include "net/text_convert.h"

namespace {

// Counts the progress updates; shows nothing.
class QuietContext : public kestrel::TaskContext {
 public:
  void SetStatus(const std::wstring&) override { ++updates; }
  std::wstring Argument() override { return {}; }
  kestrel::DatabaseChoice Database() override { return {}; }
  int EnterpriseEdition() override { return 0; }
  std::wstring InstallFolder() override { return {}; }
  std::wstring InstallDir() override { return {}; }
  void SetInstallDir(const std::wstring&) override {}
  int Ask(const std::wstring&, UINT) override { return IDOK; }
  void SetButtonCaption(int, const std::wstring&) override {}
  long long updates = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_bench URL DESTINATION\n");
    return 2;
  }
  auto url = kestrel::WideToUtf8(argv[1]);
  if (!url) return 2;
  QuietContext context;
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  const int ok = kestrel::DownloadToFile(context, argv[2], *url);
  ::QueryPerformanceCounter(&end);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
  std::printf("result=%d seconds=%.3f updates=%lld peak_working_set_mib=%.1f\n", ok,
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              context.updates, static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));
  return ok ? 0 : 1;
}
