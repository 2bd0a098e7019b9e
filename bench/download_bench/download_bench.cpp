// Downloads one link with DownloadToFile and reports the time it took and
// the peak working set, so a run shows the speed and that memory stays flat.
//   download_bench.exe URL DESTINATION [quiet|list]
// "quiet" (the default) counts the progress texts and shows nothing; "list"
// runs the download on a worker thread and writes each progress text into
// a task list that this thread pumps, as the commit page does.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "core/text_convert.h"
#include "net/download.h"
#include "support/bench_list.h"
#include "win/handle.h"

namespace {

struct DownloadRun {
  bench::BenchContext context;
  const wchar_t* destination;
  std::string url;
  int ok = 0;
};

DWORD WINAPI DownloadWorker(void* parameter) {
  auto* run = static_cast<DownloadRun*>(parameter);
  run->ok = kestrel::DownloadToFile(run->context, run->destination, run->url);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool withList = argc == 4 && std::wcscmp(argv[3], L"list") == 0;
  if ((argc != 3 && argc != 4) || (argc == 4 && !withList && std::wcscmp(argv[3], L"quiet") != 0)) {
    std::fprintf(stderr, "usage: download_bench URL DESTINATION [quiet|list]\n");
    return 2;
  }
  auto url = kestrel::WideToUtf8(argv[1]);
  if (!url) return 2;
  DownloadRun run;
  run.destination = argv[2];
  run.url = *url;
  HWND host = nullptr;
  if (withList) {
    host = bench::MakeTaskListWindow(L"INSTALLQRE");
    if (host == nullptr) {
      std::fprintf(stderr, "cannot create the list window\n");
      return 1;
    }
    run.context.list = &bench::TaskList();
  }
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &DownloadWorker, &run, 0, nullptr));
  if (!thread) return 1;
  // The worker's list writes are carried out here, between messages.
  bench::PumpUntilEnded(thread.get());
  ::QueryPerformanceCounter(&end);
  if (host != nullptr) ::DestroyWindow(host);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
  std::printf("result=%d seconds=%.3f updates=%lld peak_working_set_mib=%.1f\n", run.ok,
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              run.context.updates, static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));
  return run.ok ? 0 : 1;
}
