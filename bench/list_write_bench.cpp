// What one task-list cell write costs when a worker thread makes it, as the
// task runner does: a changed text (read, set, repaint) and an unchanged one
// (the read only), against the same changed write made on the window's own
// thread. Run by hand; it prints the numbers and checks nothing.
//   list_write_bench.exe [changed writes] [unchanged writes]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "support/bench_list.h"
#include "win/handle.h"

namespace {

struct Run {
  int changed = 2000;
  int unchanged = 10000;
  double changedSeconds = 0;
  double unchangedSeconds = 0;
};

DWORD WINAPI Worker(void* parameter) {
  auto* run = static_cast<Run*>(parameter);
  LARGE_INTEGER start, middle, end;
  ::QueryPerformanceCounter(&start);
  for (int i = 0; i < run->changed; ++i) {
    const std::wstring text = L"#Progress:" + std::to_wstring(i) + L" " + std::to_wstring(run->changed) +
                              L"@@Download:" + std::to_wstring(i) + L" KB";
    bench::TaskList().SetItemTextIfChanged(0, 2, text.c_str());
  }
  ::QueryPerformanceCounter(&middle);
  const wchar_t* same = L"#Progress:50 100@@Installing";
  bench::TaskList().SetItemTextIfChanged(0, 2, same);
  LARGE_INTEGER unchangedStart;
  ::QueryPerformanceCounter(&unchangedStart);
  for (int i = 0; i < run->unchanged; ++i) bench::TaskList().SetItemTextIfChanged(0, 2, same);
  ::QueryPerformanceCounter(&end);
  run->changedSeconds = bench::Seconds(start, middle);
  run->unchangedSeconds = bench::Seconds(unchangedStart, end);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Run run;
  if (argc > 1) run.changed = _wtoi(argv[1]);
  if (argc > 2) run.unchanged = _wtoi(argv[2]);
  if (run.changed <= 0 || run.unchanged <= 0) {
    std::fprintf(stderr, "usage: list_write_bench [changed writes] [unchanged writes]\n");
    return 2;
  }

  HWND host = bench::MakeTaskListWindow(L"DOWNLOAD");
  if (host == nullptr) {
    std::fprintf(stderr, "cannot create the list window\n");
    return 1;
  }

  // The reference: the same changed writes made on the window's own thread
  // (no cross-thread request; the repaint is left to the message loop).
  LARGE_INTEGER localStart, localEnd;
  ::QueryPerformanceCounter(&localStart);
  for (int i = 0; i < run.changed; ++i) {
    const std::wstring text = L"#Progress:" + std::to_wstring(i) + L" " + std::to_wstring(run.changed) +
                              L"@@Local:" + std::to_wstring(i) + L" KB";
    bench::TaskList().SetItemTextIfChanged(0, 2, text.c_str());
  }
  ::QueryPerformanceCounter(&localEnd);
  const double localSeconds = bench::Seconds(localStart, localEnd);

  // The worker's writes are carried out here, between messages, as on the
  // wizard's thread during a run.
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &Worker, &run, 0, nullptr));
  if (!thread) return 1;
  bench::PumpUntilEnded(thread.get());
  ::DestroyWindow(host);

  std::printf("changed write across threads:   %8.1f us  (%d writes, %.3f s)\n",
              run.changedSeconds * 1e6 / run.changed, run.changed, run.changedSeconds);
  std::printf("unchanged write across threads: %8.1f us  (%d writes, %.3f s)\n",
              run.unchangedSeconds * 1e6 / run.unchanged, run.unchanged, run.unchangedSeconds);
  const double changedUs = run.changedSeconds * 1e6 / run.changed, localUs = localSeconds * 1e6 / run.changed;
  std::printf("changed write on the window's own thread (reference): %8.1f us  (%d writes, %.3f s)\n", localUs,
              run.changed, localSeconds);
  std::printf("RESULT list-write kestrel_us=%.1f reference_us=%.1f ratio=%.1f unchanged_us=%.1f\n", changedUs,
              localUs, localUs > 0 ? changedUs / localUs : 0.0, run.unchangedSeconds * 1e6 / run.unchanged);
  return 0;
}
