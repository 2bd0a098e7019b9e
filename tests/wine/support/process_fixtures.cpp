#include "support/process_fixtures.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>

#include "core/text_convert.h"
#include "net/audit_trace.h"
#include "support/test_support.h"

namespace kt {
namespace {

constexpr wchar_t kScriptRoot[] = L"Software\\KestrelTest\\FakeTools\\";
// Wine prefers its own builtin programs (dism.exe) to a file of that name
// in system32 unless told otherwise.
constexpr wchar_t kDllOverrides[] = L"Software\\Wine\\DllOverrides";

bool SameText(const std::wstring& a, const std::wstring& b) { return ::lstrcmpiW(a.c_str(), b.c_str()) == 0; }

std::wstring ImagePath(HANDLE process) {
  std::wstring path(32768, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!::QueryFullProcessImageNameW(process, 0, path.data(), &size)) return {};
  path.resize(size);
  return path;
}

// Processes whose image is this file, opened for ending and waiting.
std::vector<win::UniqueHandle> ProcessesOf(const std::wstring& image) {
  std::vector<DWORD> pids(4096);
  DWORD bytes = 0;
  std::vector<win::UniqueHandle> found;
  if (!::EnumProcesses(pids.data(), static_cast<DWORD>(pids.size() * sizeof(DWORD)), &bytes)) return found;
  pids.resize(bytes / sizeof(DWORD));
  for (DWORD pid : pids) {
    win::UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (process && SameText(ImagePath(process.get()), image) && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT)
      found.push_back(std::move(process));
  }
  return found;
}

void EndProcesses(std::vector<win::UniqueHandle> processes) {
  for (auto& p : processes) ::TerminateProcess(p.get(), 1);
  for (auto& p : processes) ::WaitForSingleObject(p.get(), kPatienceMs);
}

std::string ReadAll(const std::wstring& path) {
  win::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) return bytes;
  char buffer[8192];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

}  // namespace

NamedEvent::NamedEvent(const std::wstring& purpose)
    : name_(L"KestrelTest." + purpose + L"." + std::to_wstring(::GetCurrentProcessId())),
      event_(::CreateEventW(nullptr, TRUE, FALSE, name_.c_str())) {}

FakeTool::FakeTool(const std::wstring& folder, const std::wstring& fileName)
    : folder_(folder),
      fileName_(fileName),
      path_(folder + L"\\" + fileName),
      aside_(path_ + L".kt-aside"),
      log_(L"C:\\ktest\\fake-tool-logs\\" + fileName + L".log"),
      trouble_(L"C:\\ktest\\fake-tool-logs\\" + fileName + L".trouble"),
      scriptKey_(kScriptRoot + fileName) {
  EndProcesses(ProcessesOf(path_));
  // A test that died half-way left its copy in front of the original, or
  // left a copy where there was none: a file with the fake tool's bytes is
  // never an original worth keeping.
  const std::string fake = ReadAll(kFakeToolExe);
  auto isFake = [&](const std::wstring& file) { return ReadAll(file) == fake; };
  if (::GetFileAttributesW(aside_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    ::DeleteFileW(path_.c_str());
    if (isFake(aside_)) {
      ::DeleteFileW(aside_.c_str());
    } else {
      ::MoveFileExW(aside_.c_str(), path_.c_str(), 0);
    }
  }
  if (::GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (isFake(path_)) {
      ::DeleteFileW(path_.c_str());
    } else {
      ::MoveFileExW(path_.c_str(), aside_.c_str(), 0);
    }
  }
  CreateFolders(folder);
  // A copy of an earlier test may still be going away: keep trying, and say
  // so if it never works, rather than leave a test without its tool.
  DWORD copyError = ERROR_SUCCESS;
  if (!WaitUntil([&] {
        if (::CopyFileW(kFakeToolExe.c_str(), path_.c_str(), FALSE)) return true;
        copyError = ::GetLastError();
        return false;
      }))
    fwprintf(stderr, L"FakeTool: cannot copy the tool to %ls (error %lu)\n", path_.c_str(), copyError);

  CreateFolders(L"C:\\ktest\\fake-tool-logs");
  ::DeleteFileW(log_.c_str());
  ::DeleteFileW(trouble_.c_str());
  ::RegDeleteTreeW(HKEY_CURRENT_USER, scriptKey_.c_str());
  SetText(L"Log", log_);
  const std::wstring native = L"native";
  ::RegSetKeyValueW(HKEY_CURRENT_USER, kDllOverrides, fileName_.c_str(), REG_SZ, native.c_str(),
                    static_cast<DWORD>((native.size() + 1) * sizeof(wchar_t)));
}

FakeTool::~FakeTool() {
  EndRunning();
  ::DeleteFileW(path_.c_str());
  if (::GetFileAttributesW(aside_.c_str()) != INVALID_FILE_ATTRIBUTES) ::MoveFileExW(aside_.c_str(), path_.c_str(), 0);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, scriptKey_.c_str());
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kDllOverrides, fileName_.c_str());
  ::DeleteFileW(log_.c_str());
  // The steps the tool's runs could not take, for the test's output.
  const std::string trouble = ReadAll(trouble_);
  if (!trouble.empty()) fprintf(stderr, "FakeTool %ls:\n%s", fileName_.c_str(), trouble.c_str());
  ::DeleteFileW(trouble_.c_str());
}

void FakeTool::SetText(const wchar_t* name, const std::wstring& value) {
  ::RegSetKeyValueW(HKEY_CURRENT_USER, scriptKey_.c_str(), name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void FakeTool::SetExitCodes(const std::wstring& codes) { SetText(L"ExitCodes", codes); }

void FakeTool::SetSleepMs(DWORD milliseconds) {
  ::RegSetKeyValueW(HKEY_CURRENT_USER, scriptKey_.c_str(), L"SleepMs", REG_DWORD, &milliseconds, sizeof milliseconds);
}

void FakeTool::WaitFor(const NamedEvent& event) { SetText(L"WaitEvent", event.name()); }

void FakeTool::SetWaitRuns(DWORD runs) {
  ::RegSetKeyValueW(HKEY_CURRENT_USER, scriptKey_.c_str(), L"WaitRuns", REG_DWORD, &runs, sizeof runs);
}

void FakeTool::SetListing(const std::wstring& listingFile, bool enableOnRun) {
  SetText(L"Listing", listingFile);
  DWORD flag = enableOnRun ? 1 : 0;
  ::RegSetKeyValueW(HKEY_CURRENT_USER, scriptKey_.c_str(), L"EnableOnRun", REG_DWORD, &flag, sizeof flag);
}

std::vector<std::wstring> FakeTool::LogLines() const {
  std::vector<std::wstring> lines;
  std::string text = ReadAll(log_);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(kestrel::Utf8ToWide(text.substr(start, end - start)).value_or(L"?"));
    start = end + 2;
  }
  return lines;
}

bool FakeTool::WaitForLogLines(size_t count) const {
  const ULONGLONG deadline = ::GetTickCount64() + kPatienceMs;
  while (LogLines().size() < count) {
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(20);
  }
  return true;
}

DWORD FakeTool::Runs() const {
  DWORD value = 0, size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, scriptKey_.c_str(), L"Runs", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS)
    return 0;
  return value;
}

size_t FakeTool::RunningCount() const { return RunningCopies(path_); }
void FakeTool::EndRunning() const { EndRunningCopies(path_); }

size_t RunningCopies(const std::wstring& image) { return ProcessesOf(image).size(); }
void EndRunningCopies(const std::wstring& image) { EndProcesses(ProcessesOf(image)); }

std::string FeatureListing(const std::vector<std::pair<std::string, std::string>>& features) {
  std::string text =
      "\r\nDeployment Image Servicing and Management tool\r\nVersion: 6.2.9200.16384\r\n\r\n"
      "Image Version: 6.2.9200.16384\r\n\r\n"
      "Features listing for package : Package~31bf3856ad364e35~amd64~~6.2.9200.16384\r\n\r\n";
  for (const auto& [name, state] : features) text += "Feature Name : " + name + "\r\nState : " + state + "\r\n\r\n";
  return text + "The operation completed successfully.\r\n";
}

bool WriteListing(const std::wstring& path, const std::vector<std::pair<std::string, std::string>>& features) {
  return WriteFileBytes(path, FeatureListing(features));
}

std::vector<std::string> EnabledInListingFile(const std::wstring& path) {
  std::vector<std::string> names;
  std::string text = ReadAll(path), current;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 2;
    if (line.rfind("Feature Name : ", 0) == 0) current = line.substr(15);
    if (line == "State : Enabled") names.push_back(current);
  }
  return names;
}

NewTraces::NewTraces() : start_(kestrel::SentAuditTraces().size()) {}

std::vector<std::string> NewTraces::get() const {
  std::vector<std::string> all = kestrel::SentAuditTraces();
  return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(std::min(start_, all.size())), all.end());
}

TestService::TestService(const std::wstring& name, const std::wstring& arguments) : name_(name) {
  Remove(name);
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  const std::wstring binary = L"\"" + kTestServiceExe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  win::UniqueService service(::CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                              binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  created_ = static_cast<bool>(service);
}

TestService::~TestService() { Remove(name_); }

bool TestService::StartAndWaitRunning() {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  win::UniqueService service(manager ? ::OpenServiceW(manager.get(), name_.c_str(), SERVICE_START) : nullptr);
  if (!service || !::StartServiceW(service.get(), 0, nullptr)) return false;
  return WaitForState(SERVICE_RUNNING);
}

DWORD TestService::State() const {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  win::UniqueService service(manager ? ::OpenServiceW(manager.get(), name_.c_str(), SERVICE_QUERY_STATUS) : nullptr);
  SERVICE_STATUS status = {};
  if (!service || !::QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

bool TestService::WaitForState(DWORD state) const {
  const ULONGLONG deadline = ::GetTickCount64() + kPatienceMs;
  while (State() != state) {
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(20);
  }
  return true;
}

bool TestService::Remove(const std::wstring& name) {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  {
    win::UniqueService service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                               &needed) &&
        status.dwCurrentState != SERVICE_STOPPED && status.dwProcessId != 0) {
      // Slow and stuck test services alike: end the process outright.
      win::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId));
      if (process) {
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), kPatienceMs);
      }
    }
    ::DeleteService(service.get());
  }
  const ULONGLONG deadline = ::GetTickCount64() + kPatienceMs;
  for (;;) {
    win::UniqueService gone(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    if (!gone && ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(20);
  }
}

}  // namespace kt
