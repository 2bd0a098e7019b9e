// A quiet all-in-one installation against the interactive one, on the same
// fresh machine (the journeys' local server, fake servicing tools and
// prerequisites), alternating so that both meet the same load:
//   journey_bench.exe [runs]   (default 3 each)
// The interactive run is timed from the start of the process to the end of
// its run (the last row's result); the clicks that walk the wizard to its
// commit page are not counted. The quiet run is timed from its start to
// its exit.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "res/resource_ids.h"
#include "support/journey.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// Seconds of the run proper, or a negative value when it did not finish.
double Interactive() {
  e2e::FreshMachine machine(e2e::kServer2008R2);
  if (!machine.ok()) return -1;
  const LARGE_INTEGER start = Now();
  kt::Process setup = machine.Start();
  HWND wizard = kt::WaitForWindow(e2e::kWizardCaption, setup.pid());
  if (wizard == nullptr) return -1;
  const LARGE_INTEGER shown = Now();
  if (!e2e::WalkToCommitPage(wizard)) return -1;
  const LARGE_INTEGER atCommit = Now();
  if (e2e::RunTheTasks(wizard, setup.pid()) != L"Reboot is needed to complete the installation, reboot now?") return -1;
  const LARGE_INTEGER done = Now();
  kt::PressButton(wizard, IDCANCEL);
  setup.Wait(nullptr);
  return Seconds(start, shown) + Seconds(atCommit, done);
}

double Quiet() {
  e2e::FreshMachine machine(e2e::kServer2008R2);
  if (!machine.ok()) return -1;
  const LARGE_INTEGER start = Now();
  kt::Process setup = machine.Start(L"/quiet ACCEPTLICENSE=1 /log " + machine.work() + L"\\quiet.log");
  DWORD code = 0;
  if (!setup.Wait(&code, 10 * kt::kPatienceMs) || code != 3010) return -1;
  return Seconds(start, Now());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 3;
  std::vector<double> interactive, quiet;
  for (int i = 0; i < runs; ++i) {
    const double a = Interactive();
    const double b = Quiet();
    std::printf("run %d: interactive %.2f s, quiet %.2f s\n", i + 1, a, b);
    std::fflush(stdout);
    if (a < 0 || b < 0) {
      std::printf("a run did not finish\n");
      return 1;
    }
    interactive.push_back(a);
    quiet.push_back(b);
  }
  const double q = Median(quiet), w = Median(interactive);
  std::printf("RESULT quiet-install kestrel_s=%.2f reference_s=%.2f ratio=%.2f\n", q, w, w > 0 ? q / w : 0);
  return 0;
}
