// Helpers for the Wine tests: scratch folders, the installer's registry key,
// starting the real executable and finding and driving its windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win/handle.h"

namespace kt {

// Build products, as Wine paths.
inline const std::wstring kInstallerExe = KESTREL_EXE_PATH;
inline const std::wstring kStampExe = KESTREL_STAMP_PATH;
inline const std::wstring kBinDir = KESTREL_BIN_DIR;
inline const std::wstring kSourceDir = KESTREL_SOURCE_DIR;

// How long a test waits for something that should happen at once, on a
// loaded machine. Tests wait for conditions, never for fixed times.
constexpr DWORD kPatienceMs = 60000;

// ASCII text (URLs, paths of the fixtures) as UTF-16.
inline std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A fresh, empty folder C:\ktest\<name>.
std::wstring ScratchFolder(const std::wstring& name);
void RemoveTree(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// A file's bytes (empty when it cannot be opened), read with every
// sharing mode so files held by others can be read too.
std::string ReadFileBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
bool CreateFolders(const std::wstring& path);

// Copies the installer into folder under fileName; returns its path.
std::wstring CopyInstaller(const std::wstring& folder, const std::wstring& fileName = L"KestrelSetup.exe");

// C:\\windows\\system32 (of this process's width).
inline std::wstring SystemFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetSystemDirectoryW(path, MAX_PATH);
  return path;
}

// Runs a console program and waits; returns its exit code (or -1) and
// fills output with what it wrote to standard output.
int RunProgram(const std::wstring& exe, const std::wstring& arguments, std::string* output = nullptr);

// Runs the branding stamper on exe with the given options; true on success.
bool Stamp(const std::wstring& exe, const std::wstring& options);

// Deletes the installer's registry key (32-bit view) on entry and exit.
class InstallerKeyScope {
 public:
  InstallerKeyScope();
  ~InstallerKeyScope();
};
void DeleteInstallerKey();
void SetInstallerValue(const wchar_t* name, DWORD type, const void* data, DWORD size);
void SetInstallerText(const wchar_t* name, const std::wstring& text);
void SetInstallerInt(const wchar_t* name, int32_t value);  // REG_SZ, 4 bytes
std::vector<unsigned char> InstallerValueBytes(const wchar_t* name, DWORD* type = nullptr);  // empty if missing

// The name and build label of the Windows the installer describes in its
// first audit trace: ProductName and BuildLabEx under CurrentVersion in
// the 32-bit view it reads (nullptr: no such value). What was there before
// is put back at the end.
class WindowsNameScope {
 public:
  WindowsNameScope(const wchar_t* productName, const wchar_t* buildLabel);
  ~WindowsNameScope();
  WindowsNameScope(const WindowsNameScope&) = delete;
  WindowsNameScope& operator=(const WindowsNameScope&) = delete;
  void Set(const wchar_t* productName, const wchar_t* buildLabel);

 private:
  struct Saved {
    bool present = false;
    DWORD type = 0;
    std::vector<unsigned char> bytes;
  };
  Saved productName_, buildLabel_;
};

// A started program; terminated on destruction if it still runs.
class Process {
 public:
  Process() = default;
  Process(win::UniqueHandle handle, DWORD pid) : handle_(std::move(handle)), pid_(pid) {}
  Process(Process&&) = default;
  Process& operator=(Process&&) = default;
  ~Process();
  DWORD pid() const { return pid_; }
  HANDLE handle() const { return handle_.get(); }
  bool running() const;
  // Waits for the end; true and the exit code when it ended in time.
  bool Wait(DWORD* exitCode, DWORD timeoutMs = kPatienceMs);

 private:
  win::UniqueHandle handle_;
  DWORD pid_ = 0;
};

// extraEnvironment: "NAME=value" entries added to (or replacing) this
// process's environment for the child.
Process Launch(const std::wstring& exe, const std::wstring& arguments,
               const std::vector<std::wstring>& extraEnvironment = {});
// Opens a process that the test did not start (the elevated relaunch).
Process Attach(DWORD pid);

// Waits until a visible top-level window matches; null after the timeout.
HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs = kPatienceMs);
HWND WaitForWindow(const std::wstring& caption, DWORD pid = 0, DWORD timeoutMs = kPatienceMs);
// A message box (dialog class) with this caption.
HWND WaitForMessageBox(const std::wstring& caption, DWORD pid = 0, DWORD timeoutMs = kPatienceMs);

std::wstring WindowText(HWND window);
std::wstring WindowClass(HWND window);
DWORD WindowProcess(HWND window);
// The text of a message box (its static text that is not the icon).
std::wstring MessageBoxText(HWND box);
// Presses a button of a dialog as a user would.
void PressButton(HWND dialog, int id);

// A descendant window of root with this control id (any depth), or null.
HWND FindControl(HWND root, int id);
bool IsEnabled(HWND window);
bool IsShown(HWND window);

// Cells of a list view in another process (the installer's task list).
int ListRowCount(HWND list);
std::wstring ListCellText(HWND list, int row, int column);

// Waits until condition holds; false after the timeout.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs);

// Command line of another process, read from its process parameters.
std::wstring ProcessCommandLine(DWORD pid);

// Tells Wine which Windows version to report to one program.
void SetWineVersionFor(const std::wstring& exeName, const std::wstring& version);
void ClearWineVersionFor(const std::wstring& exeName);
// Tells Wine how to load one library for one program ("native,builtin"...).
void SetWineDllOverrideFor(const std::wstring& exeName, const std::wstring& dll, const std::wstring& order);

}  // namespace kt

namespace kt {

// The installer's wizard, driven from outside as a user would.
// The active page's window, or null.
HWND CurrentPage(HWND wizard);
// The title the stage indicator shows.
std::wstring StageTitle(HWND wizard);
bool WaitForStage(HWND wizard, const std::wstring& title);
// Ticks or clears a check box of another process.
void SetChecked(HWND checkBox, bool checked);
// From the welcome page to the commit page of an installation, ticking
// "I Agree" on the way and handing the database page to onDatabasePage
// (when given) before leaving it; false when a step did not happen in time.
bool WalkToCommitPage(HWND wizard, const std::function<void(HWND page)>& onDatabasePage = {});

}  // namespace kt
