// Downloads one link with DownloadToFile and reports the time it took and
// the peak working set, so a run shows the speed and that memory stays flat.
//   download_bench.exe URL DESTINATION [quiet|list]
// "quiet" (the default) counts the progress texts and shows nothing; "list"
// runs the download on a worker thread and writes each progress text into
// a task list that this thread pumps, as the commit page does.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "engine/task_context.h"
#include "net/download.h"
#include "net/text_convert.h"
#include "ui/vant_list_ctrl.h"
#include "win/handle.h"

namespace {

// Counts the progress updates; shows nothing.
class QuietContext : public kestrel::TaskContext {
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
  int Ask(const std::wstring&, UINT) override { return IDOK; }
  void SetButtonCaption(int, const std::wstring&) override {}
  kestrel::CVantListCtrl* list = nullptr;
  long long updates = 0;
};

kestrel::CVantListCtrl g_list;

LRESULT CALLBACK HostProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->hwndFrom == g_list.hwnd() && header->code == NM_CUSTOMDRAW)
      return g_list.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// A visible task list on this thread, or null.
HWND MakeTaskList() {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&init);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &HostProcedure;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KestrelDownloadBench";
  ::RegisterClassExW(&wc);
  HWND host = ::CreateWindowExW(0, wc.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 400,
                                nullptr, nullptr, wc.hInstance, nullptr);
  if (host == nullptr) return nullptr;
  HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, 0, 0, 700, 300,
                                host, nullptr, wc.hInstance, nullptr);
  if (list == nullptr) return nullptr;
  g_list.Attach(list);
  g_list.SetupTaskColumns();
  g_list.AppendRow(L"INSTALLQRE");
  return host;
}

struct DownloadRun {
  QuietContext context;
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
    host = MakeTaskList();
    if (host == nullptr) {
      std::fprintf(stderr, "cannot create the list window\n");
      return 1;
    }
    run.context.list = &g_list;
  }
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  win::UniqueHandle thread(::CreateThread(nullptr, 0, &DownloadWorker, &run, 0, nullptr));
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
