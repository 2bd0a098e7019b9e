// The demonstration behind scripts/demo: sets up a sandbox machine the way
// the journeys do (local package and audit server, fake servicing tools and
// prerequisites, a stamped copy of the installer on a Windows Server class
// machine), then either lets a person click through the wizard or drives a
// full all-in-one installation itself.
//
//   demo_driver.exe interactive          waits until the person is done
//   demo_driver.exe drive <folder>       drives it; one BMP per page and of
//                                        the finished task list in <folder>
//
// Either way it prints each task row's status as it changes and, at the
// end, what the installation left on the machine.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/text_convert.h"
#include "res/resource_ids.h"
#include "support/journey.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

// The readable part of a status cell: the text of a progress markup, or
// the result of a finished row.
std::wstring Readable(const std::wstring& status) {
  if (e2e::IsDone(status)) return L"Done";
  if (e2e::IsFailed(status)) return L"Failed";
  const size_t at = status.rfind(L"@@");
  return at == std::wstring::npos ? status : status.substr(at + 2);
}

// Prints the rows whose status changed since the last call.
void PrintChanges(HWND wizard, std::vector<std::wstring>& shown) {
  const auto rows = e2e::TaskRows(wizard);
  shown.resize(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::wstring text = Readable(rows[i].status);
    if (text == shown[i]) continue;
    shown[i] = text;
    if (!text.empty()) wprintf(L"  %-36ls %ls\n", rows[i].label.c_str(), text.c_str());
    fflush(stdout);
  }
}

// The window as it is on the screen, as a 24-bit BMP.
bool SaveWindow(HWND window, const std::wstring& path) {
  RECT rect = {};
  if (!::GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
  std::vector<unsigned char> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
  const int lines = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (lines != height) return false;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  bytes.append(reinterpret_cast<const char*>(pixels.data()), pixels.size());
  return kt::WriteFileBytes(path, bytes);
}

void Shot(HWND wizard, const std::wstring& folder, const wchar_t* name) {
  ::Sleep(500);  // let the page finish painting
  const std::wstring path = folder + L"\\" + name + L".bmp";
  wprintf(SaveWindow(wizard, path) ? L"  (screenshot %ls)\n" : L"  (no screenshot %ls)\n", name);
  fflush(stdout);
}

// Walks the pages as a person would, with a screenshot of each.
bool Drive(const e2e::Machine& machine, HWND wizard, DWORD pid, const std::wstring& folder,
           std::vector<std::wstring>& shown) {
  HWND next = kt::FindControl(wizard, ID_WIZNEXT);
  auto at = [&](const wchar_t* title, const wchar_t* shot) {
    if (!kt::WaitForStage(wizard, title) || !kt::WaitUntil([&] { return kt::IsEnabled(next) || !kt::IsShown(next); })) {
      wprintf(L"The wizard did not show \"%ls\".\n", title);
      return false;
    }
    wprintf(L"Page: %ls\n", title);
    Shot(wizard, folder, shot);
    return true;
  };
  if (!at(L"Welcome", L"1-welcome")) return false;
  kt::PressButton(wizard, ID_WIZNEXT);
  if (!at(L"License Agreement", L"2-licence")) return false;
  kt::SetChecked(kt::FindControl(kt::CurrentPage(wizard), IDC_EULA_AGREE), true);
  kt::PressButton(wizard, ID_WIZNEXT);
  if (!at(L"Choose Installation Type", L"3-installation-type")) return false;
  kt::PressButton(wizard, ID_WIZNEXT);
  if (!at(L"Install now", L"4-install-now")) return false;

  wprintf(L"Installing:\n");
  const std::wstring message =
      e2e::RunTheTasks(wizard, pid, [&] { PrintChanges(wizard, shown); }, 20 * kt::kPatienceMs);
  PrintChanges(wizard, shown);
  if (!message.empty() && message.front() == L'<') {
    wprintf(L"The installation stopped: %ls\n", message.c_str());
    return false;
  }
  wprintf(L"Message: %ls\n", message.c_str());
  const bool restartQuestion = message == L"Reboot is needed to complete the installation, reboot now?";
  if (restartQuestion) wprintf(L"  (answered No: nothing restarts in a demo)\n");
  // The end of the run is traced after its last row shows its result.
  machine.WaitForLastTrace("commit:task completed");
  PrintChanges(wizard, shown);
  Shot(wizard, folder, L"5-finished");
  kt::PressButton(wizard, IDCANCEL);
  return restartQuestion;
}

void PrintMachine(e2e::FreshMachine& machine) {
  const std::wstring product = machine.DefaultProductDir();
  wprintf(L"\nWhat the machine shows now:\n");
  wprintf(L"  product folder       %ls (%ls)\n", product.c_str(),
          kt::Exists(product + L"\\vantdepot") ? L"present" : L"missing");
  win::UniqueHkey entry =
      win::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Marrowfield");
  wprintf(L"  uninstall entry      %ls\n",
          entry ? win::QueryText(entry.get(), L"UninstallString", 1024).value_or(L"?").c_str() : L"(none)");
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true);
  wprintf(L"  desktop shortcuts    %ls\n",
          kt::Exists(desktop + L"\\Marrowfield Portal.URL") ? L"Marrowfield Portal.URL, Marrowfield Cluster Manager.URL"
                                                           : L"(none)");
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  win::UniqueService sql(::OpenServiceW(manager.get(), L"MSSQL$MARROWFIELD", SERVICE_QUERY_STATUS));
  wprintf(L"  SQL Server Express   %ls\n", sql ? L"service MSSQL$MARROWFIELD present" : L"(none)");
  // The traces are UTF-8, as the audit service receives them.
  auto shown = [](const std::string& trace) { return kestrel::Utf8ToWide(trace).value_or(L"(not UTF-8)"); };
  const std::vector<std::string> traces = machine.Traces();
  wprintf(L"  system description   %ls\n", traces.empty() ? L"(no trace)" : shown(traces.front()).c_str());
  wprintf(L"  audit traces         ");
  for (const auto& trace : traces) wprintf(L"\"%ls\" ", shown(trace).c_str());
  wprintf(L"\n");
  fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (!(mode == L"interactive" || (mode == L"drive" && argc > 2))) {
    fwprintf(stderr, L"usage: demo_driver interactive | drive <screenshot folder>\n");
    return 2;
  }
  wprintf(L"Setting up the demo machine (Windows Server 2008 R2 class)...\n");
  fflush(stdout);
  e2e::FreshMachine machine(e2e::kServer2008R2);
  if (!machine.ok()) {
    fwprintf(stderr, L"The demo machine could not be set up (local server or installer copy).\n");
    return 1;
  }
  kt::Process setup = machine.Start();
  HWND wizard = kt::WaitForWindow(e2e::kWizardCaption, setup.pid());
  if (wizard == nullptr) {
    fwprintf(stderr, L"The installer window did not appear.\n");
    return 1;
  }
  std::vector<std::wstring> shown;
  bool ok = true;
  if (mode == L"drive") {
    ok = Drive(machine, wizard, setup.pid(), argv[2], shown);
  } else {
    wprintf(L"The installer is on the screen; close it to end the demo.\n");
    fflush(stdout);
    // Wakes when the installer ends, or every 200 ms to show the rows.
    while (::WaitForSingleObject(setup.handle(), 200) == WAIT_TIMEOUT) PrintChanges(wizard, shown);
  }
  setup.Wait(nullptr);
  PrintMachine(machine);
  return ok ? 0 : 1;
}
