// Fixtures for the tests of child processes, features and services: the
// scriptable fake tool copied into place under a program's name, named
// events that release it, canned feature listings, and a real service.
// Each fixture puts back what it found, so tests do not see each other's
// leftovers.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "win/handle.h"

namespace kt {

// The fixture programs, as Wine paths.
inline const std::wstring kFakeToolExe = std::wstring(KESTREL_WIN_FIXTURES) + L"\\fake_tool.exe";
inline const std::wstring kTestServiceExe = std::wstring(KESTREL_WIN_FIXTURES) + L"\\test_service.exe";

// A manual-reset event with a name unique to this test process.
class NamedEvent {
 public:
  explicit NamedEvent(const std::wstring& purpose);
  const std::wstring& name() const { return name_; }
  void Signal() { ::SetEvent(event_.get()); }

 private:
  std::wstring name_;
  win::UniqueHandle event_;
};

// The fake tool copied to folder\fileName, its script emptied, its log at a
// fresh path. A file already there (Wine's own stub dism.exe) is set aside
// and put back afterwards; copies still running are ended.
class FakeTool {
 public:
  FakeTool(const std::wstring& folder, const std::wstring& fileName);
  ~FakeTool();
  FakeTool(const FakeTool&) = delete;
  FakeTool& operator=(const FakeTool&) = delete;

  const std::wstring& path() const { return path_; }

  void SetExitCodes(const std::wstring& codes);  // "0", "85,86,0", "-1"
  void SetSleepMs(DWORD milliseconds);
  void WaitFor(const NamedEvent& event);
  // Only the first runs wait for the event; later runs end at once.
  void SetWaitRuns(DWORD runs);
  void SetListing(const std::wstring& listingFile, bool enableOnRun);
  void SetText(const wchar_t* name, const std::wstring& value);

  // Command lines of the runs so far, in order (listing runs included).
  std::vector<std::wstring> LogLines() const;
  // Waits until the log holds at least count lines.
  bool WaitForLogLines(size_t count) const;
  // Runs counted by the tool (listing runs excepted).
  DWORD Runs() const;
  // Copies of this file that are still running.
  size_t RunningCount() const;
  void EndRunning() const;

 private:
  std::wstring folder_, fileName_, path_, aside_, log_, trouble_, scriptKey_;
};

// Running processes of a program file (a copy the tests did not place
// themselves, such as one extracted from a package), and ending them.
size_t RunningCopies(const std::wstring& image);
void EndRunningCopies(const std::wstring& image);

// An English feature listing as the servicing tool prints it.
std::string FeatureListing(const std::vector<std::pair<std::string, std::string>>& features);
bool WriteListing(const std::wstring& path, const std::vector<std::pair<std::string, std::string>>& features);
// The names a listing file now reports as enabled.
std::vector<std::string> EnabledInListingFile(const std::wstring& path);

// The audit traces sent since this object was made.
class NewTraces {
 public:
  NewTraces();
  std::vector<std::string> get() const;

 private:
  size_t start_;
};

// A real service of our test service program, created under a name with
// the given arguments (see the program) and removed, ended if need be, at
// the end. A leftover of the same name is removed first.
class TestService {
 public:
  TestService(const std::wstring& name, const std::wstring& arguments);
  ~TestService();
  TestService(const TestService&) = delete;
  TestService& operator=(const TestService&) = delete;

  bool created() const { return created_; }
  // Starts it and waits until it runs.
  bool StartAndWaitRunning();
  DWORD State() const;  // 0 when it cannot be asked
  bool WaitForState(DWORD state) const;

  // Ends and deletes any service of that name; true when none is left.
  static bool Remove(const std::wstring& name);

 private:
  std::wstring name_;
  bool created_ = false;
};

}  // namespace kt
