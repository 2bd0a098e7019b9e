#include "support/test_support.h"

#include <shellapi.h>
#include <shlobj.h>
#include <winternl.h>
#include <commctrl.h>
#include <prsht.h>

#include <utility>

#include "core/installer_state.h"
#include "res/resource_ids.h"
#include "win/module.h"
#include "win/registry.h"

namespace kt {

std::wstring ScratchFolder(const std::wstring& name) {
  std::wstring path = L"C:\\ktest\\" + name;
  RemoveTree(path);
  CreateFolders(path);
  return path;
}

bool CreateFolders(const std::wstring& path) {
  return ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr) == ERROR_SUCCESS ||
         ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::wstring& folder) {
  const std::wstring path = win::LongPath(folder);
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::DeleteFileW(path.c_str())) ::RemoveDirectoryW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW entry;
  win::UniqueFind find(::FindFirstFileW((path + L"\\*").c_str(), &entry));
  if (find) {
    do {
      std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  ::RemoveDirectoryW(path.c_str());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  win::UniqueHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
  win::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring CopyInstaller(const std::wstring& folder, const std::wstring& fileName) {
  std::wstring target = folder + L"\\" + fileName;
  if (!::CopyFileW(kInstallerExe.c_str(), target.c_str(), FALSE)) return {};
  return target;
}

int RunProgram(const std::wstring& exe, const std::wstring& arguments, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  win::UniqueHandle readEnd, writeEnd;
  if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return -1;
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  startup.hStdInput = nullptr;
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info))
    return -1;
  win::UniqueHandle process(info.hProcess), thread(info.hThread);
  writeEnd.reset();
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  if (::WaitForSingleObject(process.get(), kPatienceMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  if (output != nullptr) *output = std::move(text);
  return static_cast<int>(code);
}

bool Stamp(const std::wstring& exe, const std::wstring& options) {
  return RunProgram(kStampExe, L"\"" + exe + L"\" " + options) == 0;
}

void DeleteInstallerKey() {
  win::UniqueHkey software = win::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE", KEY_ALL_ACCESS);
  if (software) ::RegDeleteTreeW(software.get(), L"Vantoris");
}

InstallerKeyScope::InstallerKeyScope() { DeleteInstallerKey(); }
InstallerKeyScope::~InstallerKeyScope() { DeleteInstallerKey(); }

void SetInstallerValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  win::UniqueHkey key = win::CreateKey(HKEY_LOCAL_MACHINE, kestrel::kInstallerKeyPath);
  win::SetRaw(key.get(), name, type, data, size);
}

void SetInstallerText(const wchar_t* name, const std::wstring& text) {
  SetInstallerValue(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SetInstallerInt(const wchar_t* name, int32_t value) { SetInstallerValue(name, REG_SZ, &value, sizeof value); }

std::vector<unsigned char> InstallerValueBytes(const wchar_t* name, DWORD* type) {
  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, kestrel::kInstallerKeyPath);
  if (!key) return {};
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return {};
  std::vector<unsigned char> bytes(size);
  if (size > 0 && ::RegQueryValueExW(key.get(), name, nullptr, type, bytes.data(), &size) != ERROR_SUCCESS) return {};
  bytes.resize(size);
  return bytes;
}

namespace {

const wchar_t kCurrentVersionPath[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

void SetCurrentVersionText(const wchar_t* name, const wchar_t* text) {
  win::UniqueHkey key = win::CreateKey(HKEY_LOCAL_MACHINE, kCurrentVersionPath);
  if (text == nullptr)
    ::RegDeleteValueW(key.get(), name);
  else
    win::SetString(key.get(), name, text);
}

}  // namespace

WindowsNameScope::WindowsNameScope(const wchar_t* productName, const wchar_t* buildLabel) {
  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, kCurrentVersionPath);
  for (auto [name, saved] : {std::pair{L"ProductName", &productName_}, std::pair{L"BuildLabEx", &buildLabel_}}) {
    DWORD size = 0;
    if (!key || ::RegQueryValueExW(key.get(), name, nullptr, &saved->type, nullptr, &size) != ERROR_SUCCESS) continue;
    saved->bytes.resize(size);
    saved->present = size == 0 || ::RegQueryValueExW(key.get(), name, nullptr, &saved->type, saved->bytes.data(),
                                                     &size) == ERROR_SUCCESS;
    saved->bytes.resize(size);
  }
  Set(productName, buildLabel);
}

WindowsNameScope::~WindowsNameScope() {
  win::UniqueHkey key = win::CreateKey(HKEY_LOCAL_MACHINE, kCurrentVersionPath);
  for (auto [name, saved] : {std::pair{L"ProductName", &productName_}, std::pair{L"BuildLabEx", &buildLabel_}}) {
    if (saved->present)
      win::SetRaw(key.get(), name, saved->type, saved->bytes.data(), static_cast<DWORD>(saved->bytes.size()));
    else
      ::RegDeleteValueW(key.get(), name);
  }
}

void WindowsNameScope::Set(const wchar_t* productName, const wchar_t* buildLabel) {
  SetCurrentVersionText(L"ProductName", productName);
  SetCurrentVersionText(L"BuildLabEx", buildLabel);
}

Process::~Process() {
  if (handle_ && running()) {
    ::TerminateProcess(handle_.get(), 1);
    ::WaitForSingleObject(handle_.get(), kPatienceMs);
  }
}

bool Process::running() const { return handle_ && ::WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT; }

bool Process::Wait(DWORD* exitCode, DWORD timeoutMs) {
  if (!handle_ || ::WaitForSingleObject(handle_.get(), timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  ::GetExitCodeProcess(handle_.get(), &code);
  if (exitCode != nullptr) *exitCode = code;
  return true;
}

Process Launch(const std::wstring& exe, const std::wstring& arguments,
               const std::vector<std::wstring>& extraEnvironment) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  std::wstring environment;
  if (!extraEnvironment.empty()) {
    auto nameOf = [](const std::wstring& entry) { return entry.substr(0, entry.find(L'=')); };
    wchar_t* block = ::GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) {
      std::wstring entry = p;
      bool replaced = false;
      for (const auto& extra : extraEnvironment) replaced = replaced || _wcsicmp(nameOf(extra).c_str(), nameOf(entry).c_str()) == 0;
      if (!replaced) environment.append(entry).push_back(L'\0');
    }
    ::FreeEnvironmentStringsW(block);
    for (const auto& extra : extraEnvironment) environment.append(extra).push_back(L'\0');
    environment.push_back(L'\0');
  }
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                        environment.empty() ? nullptr : environment.data(), nullptr, &startup, &info))
    return {};
  ::CloseHandle(info.hThread);
  return Process(win::UniqueHandle(info.hProcess), info.dwProcessId);
}

Process Attach(DWORD pid) {
  win::UniqueHandle handle(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  return Process(std::move(handle), pid);
}

std::wstring WindowText(HWND window) {
  int n = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  n = ::GetWindowTextW(window, text.data(), n + 1);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::wstring WindowClass(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 255);
  return name;
}

DWORD WindowProcess(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs) {
  struct Search {
    const std::function<bool(HWND)>* match;
    HWND found;
  };
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    Search search{&match, nullptr};
    ::EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          if (::IsWindowVisible(w) && (*s->match)(w)) {
            s->found = w;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (::GetTickCount64() >= deadline) return nullptr;
    ::Sleep(50);
  }
}

HWND WaitForWindow(const std::wstring& caption, DWORD pid, DWORD timeoutMs) {
  return WaitForWindow(
      [&](HWND w) { return WindowText(w) == caption && (pid == 0 || WindowProcess(w) == pid); }, timeoutMs);
}

HWND WaitForMessageBox(const std::wstring& caption, DWORD pid, DWORD timeoutMs) {
  return WaitForWindow(
      [&](HWND w) {
        return WindowClass(w) == L"#32770" && WindowText(w) == caption && (pid == 0 || WindowProcess(w) == pid);
      },
      timeoutMs);
}

std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  ::EnumChildWindows(
      box,
      [](HWND child, LPARAM p) -> BOOL {
        if (WindowClass(child) == L"Static" && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
          std::wstring t = WindowText(child);
          if (!t.empty()) {
            *reinterpret_cast<std::wstring*>(p) = t;
            return FALSE;
          }
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

void PressButton(HWND dialog, int id) {
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

HWND FindControl(HWND root, int id) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  ::EnumChildWindows(
      root,
      [](HWND child, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        if (::GetDlgCtrlID(child) != s->id) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsEnabled(HWND window) { return window != nullptr && ::IsWindowEnabled(window); }
bool IsShown(HWND window) { return window != nullptr && (::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

int ListRowCount(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring ListCellText(HWND list, int row, int column) {
  // The list lives in another process: the item record and the text buffer
  // must be in that process's memory.
  win::UniqueHandle process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                                          WindowProcess(list)));
  if (!process) return L"<no process>";
  constexpr size_t kChars = 8192;
  const size_t bytes = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
  void* remote = ::VirtualAllocEx(process.get(), nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
  if (remote == nullptr) return L"<no memory>";
  auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = remoteText;
  item.cchTextMax = static_cast<int>(kChars);
  std::wstring text(kChars, L'\0');
  ::WriteProcessMemory(process.get(), remote, &item, sizeof item, nullptr);
  LRESULT n = ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
  ::ReadProcessMemory(process.get(), remoteText, text.data(), kChars * sizeof(wchar_t), nullptr);
  ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(50);
  }
}

std::wstring ProcessCommandLine(DWORD pid) {
  win::UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) return {};
  PROCESS_BASIC_INFORMATION basic = {};
  if (::NtQueryInformationProcess(process.get(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
    return {};
  PEB peb = {};
  RTL_USER_PROCESS_PARAMETERS parameters = {};
  if (!::ReadProcessMemory(process.get(), basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
      !::ReadProcessMemory(process.get(), peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
    return {};
  std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  if (!::ReadProcessMemory(process.get(), parameters.CommandLine.Buffer, text.data(), parameters.CommandLine.Length,
                           nullptr))
    return {};
  return text;
}

void SetWineVersionFor(const std::wstring& exeName, const std::wstring& version) {
  HKEY raw = nullptr;
  std::wstring path = L"Software\\Wine\\AppDefaults\\" + exeName;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr) !=
      ERROR_SUCCESS)
    return;
  win::UniqueHkey key(raw);
  win::SetString(key.get(), L"Version", version);
}

void SetWineDllOverrideFor(const std::wstring& exeName, const std::wstring& dll, const std::wstring& order) {
  HKEY raw = nullptr;
  std::wstring path = L"Software\\Wine\\AppDefaults\\" + exeName + L"\\DllOverrides";
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr) !=
      ERROR_SUCCESS)
    return;
  win::UniqueHkey key(raw);
  win::SetString(key.get(), dll.c_str(), order);
}

void ClearWineVersionFor(const std::wstring& exeName) {
  std::wstring path = L"Software\\Wine\\AppDefaults\\" + exeName;
  ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}

}  // namespace kt

namespace kt {

HWND CurrentPage(HWND wizard) {
  return reinterpret_cast<HWND>(::SendMessageW(wizard, PSM_GETCURRENTPAGEHWND, 0, 0));
}

std::wstring StageTitle(HWND wizard) { return WindowText(FindControl(wizard, IDC_STAGE)); }

bool WaitForStage(HWND wizard, const std::wstring& title) {
  return WaitUntil([&] { return StageTitle(wizard) == title; });
}

void SetChecked(HWND checkBox, bool checked) {
  ::SendMessageW(checkBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool WalkToCommitPage(HWND wizard, const std::function<void(HWND page)>& onDatabasePage) {
  HWND next = FindControl(wizard, ID_WIZNEXT);
  auto press = [&](const wchar_t* from, const wchar_t* to) {
    if (!WaitForStage(wizard, from) || !WaitUntil([&] { return IsEnabled(next) && IsShown(next); })) return false;
    PressButton(wizard, ID_WIZNEXT);
    return WaitForStage(wizard, to);
  };
  if (!press(L"Welcome", L"License Agreement")) return false;
  SetChecked(FindControl(CurrentPage(wizard), IDC_EULA_AGREE), true);
  if (!press(L"License Agreement", L"Choose Installation Type")) return false;
  if (onDatabasePage) onDatabasePage(CurrentPage(wizard));
  return press(L"Choose Installation Type", L"Install now");
}

}  // namespace kt
