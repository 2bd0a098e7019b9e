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
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "engine/product_package.h"
#include "engine/task_context.h"
#include "engine/zip_extract.h"
#include "ui/vant_list_ctrl.h"
#include "win/handle.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Shows nothing; counts the status texts, and with a list attached writes
// each into row 0 as the commit page does.
class BenchContext : public kestrel::TaskContext {
 public:
  void SetStatus(const std::wstring& text) override {
    ++updates;
    if (list != nullptr) list->SetItemTextIfChanged(0, 2, text.c_str());
  }
  std::wstring Argument() override { return {}; }
  kestrel::DatabaseChoice Database() override { return {}; }
  int EnterpriseEdition() override { return 0; }
  std::wstring InstallFolder() override { return {}; }
  std::wstring InstallDir() override { return {}; }
  void SetInstallDir(const std::wstring&) override {}
  int Ask(const std::wstring& text, UINT) override {
    std::fwprintf(stderr, L"question: %ls\n", text.c_str());
    return IDOK;
  }
  void SetButtonCaption(int, const std::wstring&) override {}

  kestrel::CVantListCtrl* list = nullptr;
  long long updates = 0;
};

int Extract(const wchar_t* archive, const wchar_t* destination) {
  LARGE_INTEGER start, end;
  std::string why;
  ::QueryPerformanceCounter(&start);
  const bool ok = kestrel::ExtractZip(archive, destination, &why);
  ::QueryPerformanceCounter(&end);
  std::printf("result=%d seconds=%.3f%s%s\n", ok ? 1 : 0, Seconds(start, end), ok ? "" : " why=", why.c_str());
  return ok ? 0 : 1;
}

struct PatchRun {
  const wchar_t* source;
  const wchar_t* target;
  BenchContext ctx;
  bool ok = false;
  double seconds = 0;
};

DWORD WINAPI PatchWorker(void* parameter) {
  auto* run = static_cast<PatchRun*>(parameter);
  LARGE_INTEGER start, end;
  ::QueryPerformanceCounter(&start);
  run->ok = kestrel::PatchTree(run->ctx, run->source, run->target);
  ::QueryPerformanceCounter(&end);
  run->seconds = Seconds(start, end);
  return 0;
}

kestrel::CVantListCtrl g_list;

LRESULT CALLBACK HostProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->hwndFrom == g_list.hwnd() && header->code == NM_CUSTOMDRAW)
      return g_list.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// A visible task list on this thread; false when it cannot be made.
bool MakeTaskList(HWND* host) {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&init);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &HostProcedure;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KestrelPackageBench";
  ::RegisterClassExW(&wc);
  *host = ::CreateWindowExW(0, wc.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 400, nullptr,
                            nullptr, wc.hInstance, nullptr);
  if (*host == nullptr) return false;
  HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, 0, 0, 700, 300,
                                *host, nullptr, wc.hInstance, nullptr);
  if (list == nullptr) return false;
  g_list.Attach(list);
  g_list.SetupTaskColumns();
  g_list.AppendRow(L"UPGRADEPACKAGE");
  return true;
}

int Patch(const wchar_t* source, const wchar_t* target, bool withList) {
  PatchRun run;
  run.source = source;
  run.target = target;
  HWND host = nullptr;
  if (withList) {
    if (!MakeTaskList(&host)) {
      std::fprintf(stderr, "cannot create the list window\n");
      return 1;
    }
    run.ctx.list = &g_list;
  }
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &PatchWorker, &run, 0, nullptr));
  if (!thread) return 1;
  HANDLE handle = thread.get();
  // The worker's list writes are carried out here, between messages.
  while (::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
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
