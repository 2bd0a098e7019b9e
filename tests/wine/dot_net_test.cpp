// INSTALLNET and the framework scan, on the prefix's real registry: the
// framework keys found there are set aside for each test and put back
// afterwards. The installer is the fake tool served by the local package
// server; it registers a framework version when told to.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "engine/dot_net.h"
#include "engine/product_package.h"
#include "res/resource_ids.h"
#include "support/net_fixtures.h"
#include "support/process_fixtures.h"
#include "support/task_host_run.h"
#include "support/test_support.h"
#include "win/registry.h"

namespace {

using kestrel::FindDotNet4;

const std::wstring kMicrosoft = L"SOFTWARE\\Microsoft";
const std::wstring kFrameworks = L"NET Framework Setup\\NDP";
const std::wstring kFrameworksPath = kMicrosoft + L"\\" + kFrameworks;
const std::wstring kAside = L"SOFTWARE\\KestrelTest\\NDP-aside";


void DeleteFrameworkKeys() {
  win::UniqueHkey microsoft = win::OpenKey(HKEY_LOCAL_MACHINE, kMicrosoft, KEY_ALL_ACCESS);
  if (microsoft) ::RegDeleteTreeW(microsoft.get(), kFrameworks.c_str());
}

// Copies a whole key (32-bit view) to another path; false when there is no
// source.
bool CopyKey(const std::wstring& from, const std::wstring& to) {
  win::UniqueHkey source = win::OpenKey(HKEY_LOCAL_MACHINE, from, KEY_READ);
  if (!source) return false;
  win::UniqueHkey target = win::CreateKey(HKEY_LOCAL_MACHINE, to, KEY_ALL_ACCESS);
  return target && ::RegCopyTreeW(source.get(), nullptr, target.get()) == ERROR_SUCCESS;
}

void DeleteAside() {
  win::UniqueHkey software = win::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE", KEY_ALL_ACCESS);
  if (software) ::RegDeleteTreeW(software.get(), L"KestrelTest\\NDP-aside");
}

// The framework keys of the prefix, set aside while a test runs and put
// back afterwards (one at a time: they share the place they keep the keys
// in). What a test that died half-way set aside is put back first.
class FrameworkKeysAside {
 public:
  FrameworkKeysAside() {
    if (win::OpenKey(HKEY_LOCAL_MACHINE, kAside)) Restore();
    setupKeyExisted_ = static_cast<bool>(win::OpenKey(HKEY_LOCAL_MACHINE, kMicrosoft + L"\\NET Framework Setup"));
    if (CopyKey(kFrameworksPath, kAside)) DeleteFrameworkKeys();
  }
  ~FrameworkKeysAside() {
    Restore();
    // The keys the tests made on the way, when they are empty.
    if (!setupKeyExisted_)
      ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (kMicrosoft + L"\\NET Framework Setup").c_str(), win::kView32, 0);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KestrelTest", win::kView32, 0);
  }

 private:
  static void Restore() {
    DeleteFrameworkKeys();
    if (win::OpenKey(HKEY_LOCAL_MACHINE, kAside) && CopyKey(kAside, kFrameworksPath)) DeleteAside();
  }
  bool setupKeyExisted_ = false;
};

// Registers a framework entry: "v4\Full" -> "4.5.51209".
void Register(const std::wstring& subKey, const std::wstring& version) {
  win::UniqueHkey key = win::CreateKey(HKEY_LOCAL_MACHINE, kFrameworksPath + L"\\" + subKey);
  ASSERT_TRUE(key);
  ASSERT_TRUE(win::SetString(key.get(), L"Version", version));
}

TEST(FindDotNet4, OnlyAFullProfileVersionStartingWith4Counts) {
  struct Case {
    const char* name;
    std::map<std::wstring, std::wstring> entries;  // sub-key -> Version
    std::optional<std::wstring> found;
  } const cases[] = {
      {"no framework key", {}, std::nullopt},
      {"2.0 and 3.5 only", {{L"v2.0.50727", L"2.0.50727.4927"}, {L"v3.5", L"3.5.30729.4926"}}, std::nullopt},
      {"4.5 full profile", {{L"v3.5", L"3.5.30729.4926"}, {L"v4\\Full", L"4.5.51209"}}, L"4.5.51209"},
      {"4 client profile only", {{L"v4\\Client", L"4.0.30319"}}, std::nullopt},
      {"a full profile of another major version", {{L"v5\\Full", L"5.0.1"}}, std::nullopt},
      {"an empty version", {{L"v4\\Full", L""}}, std::nullopt},
      {"the last match in key order", {{L"v4.8\\Full", L"4.8.03761"}, {L"v4\\Full", L"4.0.30319"}}, L"4.8.03761"},
  };
  FrameworkKeysAside aside;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFrameworkKeys();
    for (const auto& [subKey, version] : c.entries) Register(subKey, version);
    EXPECT_EQ(FindDotNet4(), c.found);
  }
}

TEST(FindDotNet4, AVersionThatIsNotTextDoesNotCount) {
  FrameworkKeysAside aside;
  win::UniqueHkey full = win::CreateKey(HKEY_LOCAL_MACHINE, kFrameworksPath + L"\\v4\\Full");
  ASSERT_TRUE(full);
  ASSERT_TRUE(win::SetDword(full.get(), L"Version", L'4'));  // reads as "4" taken for text
  EXPECT_EQ(FindDotNet4(), std::nullopt);
  // Too long for the version buffer.
  ASSERT_TRUE(win::SetString(full.get(), L"Version", L"4." + std::wstring(200, L'1')));
  EXPECT_EQ(FindDotNet4(), std::nullopt);
}

// One server for the suite with the fake tool as the offline installer.
class DotNetInstall : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new kt::TestServer(kt::ScratchFolder(L"dotnet-server"));
    ASSERT_TRUE(server_->ok());
    ASSERT_TRUE(server_->AddFile("/dotnet/netfull.exe", kt::ReadFileBytes(kt::kFakeToolExe)));
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    root_ = kt::ScratchFolder(L"dotnet-run");
    Clean();
  }
  void TearDown() override {
    Clean();
    kt::RemoveTree(root_);
  }
  void Clean() {
    kt::EndRunningCopies(Installer());
    ::DeleteFileW(Installer().c_str());
  }
  static std::wstring Installer() { return kestrel::DownloadFolder() + L"\\netfull.exe"; }

  // The installer registers this version as a full profile when it runs.
  void InstallerRegisters(const std::wstring& version) {
    installer_.SetText(L"SetValue", kFrameworksPath + L"\\v4\\Full|Version|" + version);
  }

  kt::TaskHostRun Run(const std::wstring& link, const std::wstring& options = L"") {
    const std::wstring host = kt::StampedTaskHost(root_, {{kStrDotNetLink, link}});
    EXPECT_FALSE(host.empty());
    return kt::RunTaskHost(host, options + L" INSTALLNET");
  }
  std::wstring Link(const std::string& path = "/dotnet/netfull.exe") { return kt::Widen(server_->HttpUrl(path)); }
  size_t Downloads(const std::string& log) {
    size_t count = 0;
    for (size_t at = log.find("GET /dotnet/"); at != std::string::npos; at = log.find("GET /dotnet/", at + 1)) ++count;
    return count;
  }

  static kt::TestServer* server_;
  FrameworkKeysAside aside_;
  std::wstring root_;
  // Scripts the downloaded installer (the script goes by file name).
  kt::FakeTool installer_{L"C:\\ktest\\dotnet-tools", L"netfull.exe"};
};
kt::TestServer* DotNetInstall::server_ = nullptr;

TEST_F(DotNetInstall, WithoutAFullProfile4TheInstallerIsDownloadedAndRunQuietly) {
  struct Case {
    const char* name;
    std::map<std::wstring, std::wstring> before;
  } const cases[] = {
      {"3.5 only", {{L"v2.0.50727", L"2.0.50727.4927"}, {L"v3.5", L"3.5.30729.4926"}}},
      {"4 client profile only", {{L"v4\\Client", L"4.0.30319"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFrameworkKeys();
    for (const auto& [subKey, version] : c.before) Register(subKey, version);
    InstallerRegisters(L"4.5.51209");
    const size_t logBefore = server_->Log().size();
    const size_t runsBefore = installer_.LogLines().size();

    const kt::TaskHostRun run = Run(Link());
    EXPECT_EQ(run.result(), 1) << run.output;
    EXPECT_EQ(Downloads(server_->Log().substr(logBefore)), 1u);
    EXPECT_EQ(installer_.LogLines().size(), runsBefore + 1);
    EXPECT_EQ(installer_.LogLines().back(), L"netfull.exe /q");
    EXPECT_EQ(FindDotNet4(), L"4.5.51209");
    EXPECT_TRUE(run.questions.empty()) << testing::PrintToString(run.questionTexts());
    EXPECT_TRUE(run.traces.empty()) << testing::PrintToString(run.traces);
  }
}

TEST_F(DotNetInstall, ARegisteredFullProfile4NeedsNoDownload) {
  Register(L"v4\\Full", L"4.5.51209");
  Register(L"v4\\Client", L"4.5.51209");
  const size_t logBefore = server_->Log().size();
  const kt::TaskHostRun run = Run(Link());
  EXPECT_EQ(run.result(), 1) << run.output;
  EXPECT_EQ(Downloads(server_->Log().substr(logBefore)), 0u) << server_->Log();
  EXPECT_FALSE(kt::Exists(Installer()));
  EXPECT_TRUE(installer_.LogLines().empty());
  EXPECT_TRUE(run.statuses.empty()) << testing::PrintToString(run.statuses);
  EXPECT_TRUE(run.questions.empty());
  EXPECT_TRUE(run.traces.empty());
}

TEST_F(DotNetInstall, AnInstallerFailingWithACodeButRegistering4Succeeds) {
  installer_.SetExitCodes(L"1603");
  InstallerRegisters(L"4.0.30319");
  const kt::TaskHostRun run = Run(Link());
  EXPECT_EQ(run.result(), 1) << run.output;
  EXPECT_EQ(installer_.LogLines(), std::vector<std::wstring>{L"netfull.exe /q"});
  EXPECT_TRUE(run.questions.empty());
  EXPECT_TRUE(run.traces.empty());
}

TEST_F(DotNetInstall, FailuresShowTheirMessageAndSendTheSameTrace) {
  struct Case {
    const char* name;
    std::wstring link;
    std::wstring registered;  // what the installer registers, if it runs
    std::wstring message;
  } const cases[] = {
      {"link missing", L"", L"4.5.51209", L"Download link for the .Net 4.0 is missing"},
      {"download failed", Link("/dotnet/missing.exe"), L"4.5.51209", L"Failed to download .Net 4 package"},
      {"installer ends registering nothing", Link(), L"", L"Failed to install .Net 4 package"},
      {"installer ends registering 3.5 only", Link(), L"3.5.30729.4926", L"Failed to install .Net 4 package"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFrameworkKeys();
    if (c.registered.empty())
      installer_.SetText(L"SetValue", L"");
    else
      InstallerRegisters(c.registered);
    const kt::TaskHostRun run = Run(c.link);
    EXPECT_EQ(run.result(), 0) << run.output;
    ASSERT_EQ(run.questions.size(), 1u) << testing::PrintToString(run.questionTexts());
    EXPECT_EQ(run.questions[0].text, c.message);
    EXPECT_EQ(run.questions[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(run.traces, std::vector<std::string>{std::string(c.message.begin(), c.message.end())});
  }
}

TEST_F(DotNetInstall, AnInstallerStillRunningAfterItsBudgetFailsTheTaskAndIsLeftRunning) {
  kt::NamedEvent never(L"netfull-never");
  installer_.WaitFor(never);
  InstallerRegisters(L"4.5.51209");
  const kt::TaskHostRun run = Run(Link(), L"--setup-budget 3 --wait-slice-ms 20");
  EXPECT_EQ(run.result(), 0) << run.output;
  EXPECT_EQ(run.statuses.empty() ? L"" : run.statuses.back(), L"#Progress:2 3@@Installing");
  EXPECT_EQ(kt::RunningCopies(Installer()), 1u);
  EXPECT_TRUE(run.questions.empty()) << testing::PrintToString(run.questionTexts());
  EXPECT_TRUE(run.traces.empty());
}

}  // namespace
