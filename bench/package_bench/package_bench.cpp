// Times the two file-heavy steps of a product package installation on a
// package that bench/package_bench/run.sh builds: ExtractZip of the archive
// into a fresh folder, and PatchTree of an extracted tree over an installed
// copy. Prints one line of key=value pairs; run.sh times the reference tools
// in the same run and prints the ratios.
//   package_bench.exe extract ARCHIVE DESTINATION
//   package_bench.exe patch SOURCE TARGET [quiet|list]
// "quiet" counts the status texts PatchTree reports and shows nothing;
// "list" sends each one to a task list on another thread that pumps
// messages, as the commit page's worker does during an upgrade.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "engine/product_package.h"
#include "engine/zip_extract.h"
#include "support/bench_list.h"
#include "win/handle.h"

namespace {

int Extract(const wchar_t* archive, const wchar_t* destination) {
  LARGE_INTEGER start, end;
  std::string why;
  ::QueryPerformanceCounter(&start);
  const bool ok = kestrel::ExtractZip(archive, destination, &why);
  ::QueryPerformanceCounter(&end);
  std::printf("result=%d seconds=%.3f%s%s\n", ok ? 1 : 0, bench::Seconds(start, end), ok ? "" : " why=", why.c_str());
  return ok ? 0 : 1;
}

struct PatchRun {
  const wchar_t* source;
  const wchar_t* target;
  bench::BenchContext ctx;
  bool ok = false;
  double seconds = 0;
};

DWORD WINAPI PatchWorker(void* parameter) {
  auto* run = static_cast<PatchRun*>(parameter);
  LARGE_INTEGER start, end;
  ::QueryPerformanceCounter(&start);
  run->ok = kestrel::PatchTree(run->ctx, run->source, run->target);
  ::QueryPerformanceCounter(&end);
  run->seconds = bench::Seconds(start, end);
  return 0;
}

int Patch(const wchar_t* source, const wchar_t* target, bool withList) {
  PatchRun run;
  run.source = source;
  run.target = target;
  HWND host = nullptr;
  if (withList) {
    host = bench::MakeTaskListWindow(L"UPGRADEPACKAGE");
    if (host == nullptr) {
      std::fprintf(stderr, "cannot create the list window\n");
      return 1;
    }
    run.ctx.list = &bench::TaskList();
  }
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &PatchWorker, &run, 0, nullptr));
  if (!thread) return 1;
  // The worker's list writes are carried out here, between messages.
  bench::PumpUntilEnded(thread.get());
  if (host != nullptr) ::DestroyWindow(host);
  std::printf("result=%d seconds=%.3f status_writes=%lld\n", run.ok ? 1 : 0, run.seconds, run.ctx.updates);
  return run.ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"extract") == 0) return Extract(argv[2], argv[3]);
  if ((argc == 4 || argc == 5) && std::wcscmp(argv[1], L"patch") == 0) {
    const bool withList = argc == 5 && std::wcscmp(argv[4], L"list") == 0;
    if (argc == 5 && !withList && std::wcscmp(argv[4], L"quiet") != 0) return 2;
    return Patch(argv[2], argv[3], withList);
  }
  std::fprintf(stderr,
               "usage: package_bench extract ARCHIVE DESTINATION\n"
               "       package_bench patch SOURCE TARGET [quiet|list]\n");
  return 2;
}
