#include "support/bench_list.h"

#include <commctrl.h>

#include <cstdio>

namespace bench {
namespace {

kestrel::CVantListCtrl g_list;

LRESULT CALLBACK HostProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->hwndFrom == g_list.hwnd() && header->code == NM_CUSTOMDRAW)
      return g_list.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

void BenchContext::SetStatus(const std::wstring& text) {
  ++updates;
  if (list != nullptr) list->SetItemTextIfChanged(0, 2, text.c_str());
}

int BenchContext::Ask(const std::wstring& text, UINT) {
  std::fwprintf(stderr, L"question: %ls\n", text.c_str());
  return IDOK;
}

HWND MakeTaskListWindow(const wchar_t* rowKey) {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&init);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &HostProcedure;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KestrelBenchHost";
  ::RegisterClassExW(&wc);
  HWND host = ::CreateWindowExW(0, wc.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 400,
                                nullptr, nullptr, wc.hInstance, nullptr);
  if (host == nullptr) return nullptr;
  HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, 0, 0, 700, 300,
                                host, nullptr, wc.hInstance, nullptr);
  if (list == nullptr) {
    ::DestroyWindow(host);
    return nullptr;
  }
  g_list.Attach(list);
  g_list.SetupTaskColumns();
  g_list.AppendRow(rowKey);
  return host;
}

kestrel::CVantListCtrl& TaskList() { return g_list; }

void PumpUntilEnded(HANDLE thread) {
  while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace bench
