// Downloads one link with DownloadToFile and reports the time it took and
// the peak working set, so a run shows the speed and that memory stays flat.
//   download_bench.exe URL DESTINATION [quiet|list] [sha256:HEX]
// "quiet" (the default) counts the progress texts and shows nothing; "list"
// runs the download on a worker thread and writes each progress text into
// a task list that this thread pumps, as the commit page does. With a pin
// the download is verified against it as a pinned payload is.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "core/payload_pin.h"
#include "core/text_convert.h"
#include "net/download.h"
#include "support/bench_list.h"
#include "win/handle.h"

namespace {

struct DownloadRun {
  bench::BenchContext context;
  const wchar_t* destination;
  std::string url;
  kestrel::PayloadPin pin;
  int ok = 0;
};

DWORD WINAPI DownloadWorker(void* parameter) {
  auto* run = static_cast<DownloadRun*>(parameter);
  run->ok = kestrel::DownloadToFile(run->context, run->destination, run->url, run->pin);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool withList = false, usage = argc < 3;
  DownloadRun run;
  for (int i = 3; i < argc && !usage; ++i) {
    if (std::wcscmp(argv[i], L"list") == 0) {
      withList = true;
    } else if (std::wcsncmp(argv[i], L"sha256:", 7) == 0) {
      run.pin = kestrel::ParsePayloadPin(argv[i]);
      usage = !run.pin.pinned();
    } else {
      usage = std::wcscmp(argv[i], L"quiet") != 0;
    }
  }
  if (usage) {
    std::fprintf(stderr, "usage: download_bench URL DESTINATION [quiet|list] [sha256:HEX]\n");
    return 2;
  }
  auto url = kestrel::WideToUtf8(argv[1]);
  if (!url) return 2;
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
