#include "engine/windows_features.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>

#include "engine/child_process.h"
#include "support/process_fixtures.h"
#include "support/recording_context.h"
#include "support/test_support.h"
#include "win/run_log.h"

namespace {

using Listing = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::wstring>;

const std::wstring kQuery = L"Dism.exe /online /get-features /English";

std::wstring DismEnable(const std::wstring& feature, bool all) {
  return L"Dism.exe /online /enable-feature /featurename:" + feature + (all ? L" /all" : L"");
}

// Remembers how many traces had been sent when each question was asked.
struct OrderContext : kt::RecordingContext {
  kt::NewTraces traces;
  std::vector<size_t> tracesAtAsk;
  int Ask(const std::wstring& text, UINT type) override {
    tracesAtAsk.push_back(traces.get().size());
    return kt::RecordingContext::Ask(text, type);
  }
};

// Dism.exe in the prefix's system folder answers the listing from a file
// that its enable runs may change. The run's log records every tool the
// handlers start and how it ended; a failed test prints it.
class Features : public testing::Test {
 protected:
  Features() {
    dism_.SetListing(listing_, true);
    win::OpenRunLog(runLog_);
  }
  void TearDown() override {
    if (HasFailure()) std::fprintf(stderr, "The run's log:\n%s", kt::ReadFileBytes(runLog_).c_str());
  }

  void SetListing(const Listing& features) { ASSERT_TRUE(kt::WriteListing(listing_, features)); }

  kt::FakeTool dism_{kt::SystemFolder(), L"Dism.exe"};
  std::wstring listing_ = kt::ScratchFolder(L"features") + L"\\listing.txt";
  std::wstring runLog_ = kt::ScratchFolder(L"features-log") + L"\\run.log";
  OrderContext ctx_;
};

struct DismCase {
  const char* name;
  Listing listing;
  bool enableOnRun;
  std::wstring exitCode;
  bool all;
  std::wstring feature;
  int result;
  bool runs;  // the enable command is started
  std::wstring message;
  std::vector<std::string> traces;
};
void PrintTo(const DismCase& c, std::ostream* os) { *os << c.name; }


class DismFeature : public Features, public testing::WithParamInterface<DismCase> {};

TEST_P(DismFeature, EnablesWhatTheListingDoesNotShow) {
  const DismCase& c = GetParam();
  SetListing(c.listing);
  dism_.SetListing(listing_, c.enableOnRun);
  dism_.SetExitCodes(c.exitCode);

  const int result = c.all ? kestrel::EnableFeatureDismAll(ctx_, c.feature, 240)
                           : kestrel::EnableFeatureDism(ctx_, c.feature, 600);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(dism_.LogLines(), c.runs ? (Lines{kQuery, DismEnable(c.feature, c.all), kQuery}) : Lines{kQuery});
  const auto questions = ctx_.questions();
  if (c.message.empty()) {
    EXPECT_TRUE(questions.empty());
  } else {
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, c.message);
    EXPECT_EQ(questions[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(ctx_.tracesAtAsk, std::vector<size_t>{1}) << "traced before it is shown";
  }
  EXPECT_EQ(ctx_.traces.get(), c.traces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DismFeature,
    testing::Values(
        DismCase{"AlreadyEnabledRunsNothing", {{"IIS-ASPNET45", "Enabled"}}, true, L"0", true, L"IIS-ASPNET45", 1,
                 false, L"", {}},
        DismCase{"LowerCaseNameIsFound", {{"NetFx3", "Disabled"}, {"IIS-ASPNET45", "Enabled"}}, true, L"0", false,
                 L"iis-aspnet45", 1, false, L"", {}},
        DismCase{"EnabledByTheRun", {{"NETFx4", "Disabled"}}, true, L"0", true, L"NETFx4", 1, true, L"", {}},
        DismCase{"RestartCodeWithTheFeatureOnSucceedsAfterTheMessage",
                 {{"IIS-ASPNET45", "Disabled"}},
                 true,
                 L"3010",
                 true,
                 L"IIS-ASPNET45",
                 1,
                 true,
                 L"Failed enable feature:IIS-ASPNET45, error code:3010",
                 {"Failed enable feature:IIS-ASPNET45, 3010"}},
        DismCase{"FailureLeavingItDisabled",
                 {{"IIS-StaticContent", "Disabled"}},
                 false,
                 L"-2146498548",
                 false,
                 L"IIS-StaticContent",
                 0,
                 true,
                 L"Failed enable feature:IIS-StaticContent, error code:-2146498548",
                 {"Failed enable feature:IIS-StaticContent, -2146498548"}},
        DismCase{"SuccessCodeWithoutTheFeatureFailsSilently", {{"IIS-HttpRedirect", "Disabled"}}, false, L"0", false,
                 L"IIS-HttpRedirect", 0, true, L"", {}},
        DismCase{"EnablePendingIsNotEnabled", {{"IIS-HttpRedirect", "Enable Pending"}}, false, L"0", false,
                 L"IIS-HttpRedirect", 0, true, L"", {}}),
    [](const testing::TestParamInfo<DismCase>& info) { return std::string(info.param.name); });

TEST_F(Features, DismThatCannotStartIsShownAfterTheTrace) {
  ASSERT_TRUE(::DeleteFileW(dism_.path().c_str()));
  EXPECT_EQ(kestrel::EnableFeatureDism(ctx_, L"IIS-WebServer", 600), 0);
  ASSERT_EQ(ctx_.questions().size(), 1u);
  EXPECT_EQ(ctx_.questions()[0].text, L"Failed to enable iis feature:IIS-WebServer");
  EXPECT_EQ(ctx_.tracesAtAsk, std::vector<size_t>{1});
  EXPECT_EQ(ctx_.traces.get(), (std::vector<std::string>{"Failed enable feature:IIS-WebServer"}));
}

// The listing is taken with %windir%; the tools are started from the
// system's Windows folder. A listing that cannot be taken counts as
// nothing enabled, so every tool runs and every Dism item then fails.
TEST_F(Features, ListingThatCannotStartCountsAsNothingEnabled) {
  SetListing({{"IIS-WebServerRole", "Enabled"}});
  kt::FakeTool pkgmgr(kt::SystemFolder(), L"PkgMgr.exe");
  std::wstring windir(MAX_PATH, L'\0');
  windir.resize(::GetEnvironmentVariableW(L"windir", windir.data(), MAX_PATH));
  ASSERT_FALSE(windir.empty());
  ::SetEnvironmentVariableW(L"windir", L"C:\\ktest\\no-windows-here");
  const bool listed = kestrel::IsFeatureEnabled(L"IIS-WebServerRole");
  const int dism = kestrel::EnableFeatureDism(ctx_, L"IIS-WebServerRole", 600);
  const int pkg = kestrel::EnableFeaturePkgMgr(ctx_, L"IIS-WebServerRole");
  ::SetEnvironmentVariableW(L"windir", windir.c_str());

  EXPECT_FALSE(listed);
  EXPECT_EQ(dism, 0);
  EXPECT_EQ(pkg, 1);
  EXPECT_EQ(dism_.LogLines(), Lines{DismEnable(L"IIS-WebServerRole", false)});
  EXPECT_TRUE(pkgmgr.WaitForLogLines(1));
  EXPECT_TRUE(ctx_.questions().empty());
  EXPECT_TRUE(ctx_.traces.get().empty());
}

TEST_F(Features, ListingLeavesNoScratchFilesBehind) {
  SetListing({{"IIS-WebServerRole", "Enabled"}});
  wchar_t temp[MAX_PATH + 1] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
  auto count = [&] {
    WIN32_FIND_DATAW entry;
    size_t n = 0;
    win::UniqueFind find(::FindFirstFileW((std::wstring(temp) + L"Fea*.tmp").c_str(), &entry));
    if (find) do ++n; while (::FindNextFileW(find.get(), &entry));
    return n;
  };
  const size_t before = count();
  EXPECT_TRUE(kestrel::IsFeatureEnabled(L"IIS-WebServerRole"));
  EXPECT_FALSE(kestrel::IsFeatureEnabled(L"IIS-WebServer"));
  EXPECT_EQ(count(), before);
}

struct ServerManagerCase {
  const char* name;
  std::wstring exitCode;
  int result;
  std::wstring message;
  std::vector<std::string> traces;
};
void PrintTo(const ServerManagerCase& c, std::ostream* os) { *os << c.name; }


class ServerManagerFeature : public testing::TestWithParam<ServerManagerCase> {};

TEST_P(ServerManagerFeature, JudgesTheExitCode) {
  const ServerManagerCase& c = GetParam();
  kt::FakeTool tool(kt::SystemFolder(), L"ServerManagerCmd.exe");
  tool.SetExitCodes(c.exitCode);
  OrderContext ctx;
  EXPECT_EQ(kestrel::EnableFeatureServerManager(ctx, L"Web-Server"), c.result);
  EXPECT_EQ(tool.LogLines(), Lines{L"ServerManagerCmd.exe -install Web-Server"});
  if (c.message.empty()) {
    EXPECT_TRUE(ctx.questions().empty());
  } else {
    ASSERT_EQ(ctx.questions().size(), 1u);
    EXPECT_EQ(ctx.questions()[0].text, c.message);
    EXPECT_EQ(ctx.tracesAtAsk, std::vector<size_t>{1});
  }
  EXPECT_EQ(ctx.traces.get(), c.traces);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ServerManagerFeature,
    testing::Values(ServerManagerCase{"Success", L"0", 1, L"", {}},
                    ServerManagerCase{"AlreadyInstalled1003", L"1003", 1, L"", {}},
                    ServerManagerCase{"Failure", L"-1", 0, L"Failed enable feature:Web-Server, error code:-1",
                                      {"Failed enable feature:Web-Server, error code:-1"}}),
    [](const testing::TestParamInfo<ServerManagerCase>& info) { return std::string(info.param.name); });

TEST(ServerManagerMissing, IsShownBeforeItIsTraced) {
  const std::wstring tool = kt::SystemFolder() + L"\\ServerManagerCmd.exe";
  ASSERT_EQ(::GetFileAttributesW(tool.c_str()), INVALID_FILE_ATTRIBUTES);
  OrderContext ctx;
  EXPECT_EQ(kestrel::EnableFeatureServerManager(ctx, L"Web-Server"), 0);
  ASSERT_EQ(ctx.questions().size(), 1u);
  EXPECT_EQ(ctx.questions()[0].text, L"Failed to enable iis feature:Web-Server");
  EXPECT_EQ(ctx.tracesAtAsk, std::vector<size_t>{0});
  EXPECT_EQ(ctx.traces.get(), (std::vector<std::string>{"Failed enable feature:Web-Server"}));
}

TEST_F(Features, PkgMgrIsStartedAndNotWaitedFor) {
  SetListing({{"IIS-WebServerRole", "Disabled"}});
  kt::FakeTool pkgmgr(kt::SystemFolder(), L"PkgMgr.exe");
  kt::NamedEvent never(L"never");
  pkgmgr.WaitFor(never);
  EXPECT_EQ(kestrel::EnableFeaturePkgMgr(ctx_, L"IIS-WebServerRole"), 1);
  ASSERT_TRUE(pkgmgr.WaitForLogLines(1));
  EXPECT_EQ(pkgmgr.RunningCount(), 1u);
  EXPECT_EQ(pkgmgr.LogLines(), Lines{L"PkgMgr.exe /norestart /quiet /iu:IIS-WebServerRole"});
  EXPECT_TRUE(ctx_.questions().empty());
}

TEST_F(Features, PkgMgrLeavesAnEnabledFeatureAlone) {
  SetListing({{"IIS-WebServerRole", "Enabled"}});
  kt::FakeTool pkgmgr(kt::SystemFolder(), L"PkgMgr.exe");
  EXPECT_EQ(kestrel::EnableFeaturePkgMgr(ctx_, L"IIS-WebServerRole"), 1);
  EXPECT_EQ(dism_.LogLines(), Lines{kQuery});
  EXPECT_TRUE(pkgmgr.LogLines().empty());
}

TEST_F(Features, PkgMgrThatCannotStartIsShownAfterTheTrace) {
  SetListing({});
  EXPECT_EQ(kestrel::EnableFeaturePkgMgr(ctx_, L"IIS-WebServerRole"), 0);
  ASSERT_EQ(ctx_.questions().size(), 1u);
  EXPECT_EQ(ctx_.questions()[0].text, L"Failed to enable iis feature:IIS-WebServerRole");
  EXPECT_EQ(ctx_.tracesAtAsk, std::vector<size_t>{1});
  EXPECT_EQ(ctx_.traces.get(), (std::vector<std::string>{"PkgMgr Failed enable feature:IIS-WebServerRole"}));
}

std::wstring Step(int progress, const std::wstring& caption) {
  return L"#Progress:" + std::to_wstring(progress) + L" 100@@" + caption;
}

// One listing answers every item's test until a tool runs; the listing
// taken after a run answers the next item's test.
TEST_F(Features, Server2012EnablesWhatIsMissingInOrder) {
  SetListing({{"IIS-WebServerRole", "Enabled"},
              {"IIS-WebServer", "Enabled"},
              {"IIS-ManagementConsole", "Disabled"},
              {"IIS-ASPNET45", "Disabled"},
              {"WCF-HTTP-Activation45", "Disabled"},
              {"IIS-StaticContent", "Disabled"},
              {"IIS-HttpRedirect", "Enabled"}});
  EXPECT_EQ(kestrel::ConfigIIS2012(ctx_), 1);
  EXPECT_EQ(dism_.LogLines(), (Lines{kQuery, DismEnable(L"IIS-ManagementConsole", true), kQuery,
                                     DismEnable(L"IIS-ASPNET45", true), kQuery,
                                     DismEnable(L"WCF-HTTP-Activation45", true), kQuery,
                                     DismEnable(L"IIS-StaticContent", false), kQuery}));
  EXPECT_EQ(ctx_.statuses(),
            (Lines{Step(0, L"Enabling IIS-WebServerRole"), Step(20, L"Enabling IIS-WebServer"),
                   Step(40, L"Enabling IIS-ManagementConsole"), Step(60, L"Enabling IIS-ASPNET45"),
                   Step(80, L"Enabling WCF-HTTP-Activation45"), Step(90, L"Enabling  IIS-StaticContent"),
                   Step(95, L"Enabling  IIS-HttpRedirect")}));
  EXPECT_EQ(kt::EnabledInListingFile(listing_).size(), 7u);
  EXPECT_TRUE(ctx_.questions().empty());
}

// A repeated run (Retry) over features that are all on runs no tool and
// lists the features once, whatever the number of items.
TEST_F(Features, RepeatedRunOverEnabledFeaturesListsOnce) {
  SetListing({{"IIS-WebServerRole", "Enabled"},
              {"IIS-WebServer", "Enabled"},
              {"IIS-ManagementConsole", "Enabled"},
              {"IIS-ASPNET45", "Enabled"},
              {"WCF-HTTP-Activation45", "Enabled"},
              {"IIS-StaticContent", "Enabled"},
              {"IIS-HttpRedirect", "Enabled"}});
  EXPECT_EQ(kestrel::ConfigIIS2012(ctx_), 1);
  EXPECT_EQ(dism_.LogLines(), Lines{kQuery});
  EXPECT_EQ(ctx_.statuses().size(), 7u) << "every item still shows its step";
  EXPECT_TRUE(ctx_.questions().empty());
}

TEST_F(Features, Server2008R2StopsAtTheFirstItemThatFails) {
  SetListing({{"IIS-WebServerRole", "Enabled"},
              {"IIS-WebServer", "Enabled"},
              {"IIS-ManagementConsole", "Enabled"},
              {"IIS-ISAPIFilter", "Disabled"},
              {"IIS-ISAPIExtensions", "Disabled"}});
  dism_.SetListing(listing_, false);
  dism_.SetExitCodes(L"50");
  EXPECT_EQ(kestrel::ConfigIIS2008R2(ctx_), 0);
  EXPECT_EQ(dism_.LogLines(), (Lines{kQuery, DismEnable(L"IIS-ISAPIFilter", false), kQuery}));
  EXPECT_EQ(ctx_.lastStatus(), Step(26, L"Enabling IIS-ISAPIFilter"));
  ASSERT_EQ(ctx_.questions().size(), 1u);
  EXPECT_EQ(ctx_.questions()[0].text, L"Failed enable feature:IIS-ISAPIFilter, error code:50");
}

TEST(Server2008, EnablesEveryRoleServiceWithServerManager) {
  kt::FakeTool tool(kt::SystemFolder(), L"ServerManagerCmd.exe");
  tool.SetExitCodes(L"1003,0,0,0");
  kt::RecordingContext ctx;
  EXPECT_EQ(kestrel::ConfigIIS2008(ctx), 1);
  EXPECT_EQ(tool.LogLines(),
            (Lines{L"ServerManagerCmd.exe -install Web-Server", L"ServerManagerCmd.exe -install Web-Mgmt-Console",
                   L"ServerManagerCmd.exe -install Web-Asp-Net", L"ServerManagerCmd.exe -install NET-HTTP-Activation"}));
  EXPECT_EQ(ctx.statuses(), (Lines{Step(0, L"Enabling Web-Server"), Step(25, L"Web-Mgmt-Console"),
                                   Step(50, L"Web-Asp-Net"), Step(75, L"NET-HTTP-Activation")}));
}

TEST(Server2008, StopsAtTheFirstFailure) {
  kt::FakeTool tool(kt::SystemFolder(), L"ServerManagerCmd.exe");
  tool.SetExitCodes(L"0,5");
  kt::RecordingContext ctx;
  EXPECT_EQ(kestrel::ConfigIIS2008(ctx), 0);
  EXPECT_EQ(tool.Runs(), 2u);
  EXPECT_EQ(ctx.lastStatus(), Step(25, L"Web-Mgmt-Console"));
}

// Only the first item is a bare name the listing can show; the items
// written as paths never match, so PkgMgr is started for each of them.
TEST_F(Features, Windows7StartsPkgMgrForEveryPathItem) {
  SetListing({{"IIS-WebServerRole", "Enabled"}, {"IIS-WebServer", "Enabled"}});
  kt::FakeTool pkgmgr(kt::SystemFolder(), L"PkgMgr.exe");
  EXPECT_EQ(kestrel::ConfigIISWin7(ctx_), 1);
  ASSERT_TRUE(pkgmgr.WaitForLogLines(17));
  const Lines started = pkgmgr.LogLines();
  ASSERT_EQ(started.size(), 17u);
  EXPECT_EQ(started.front(), L"PkgMgr.exe /norestart /quiet /iu:IIS-WebServerRole\\IIS-WebServer");
  EXPECT_EQ(started.back(),
            L"PkgMgr.exe /norestart /quiet /iu:IIS-WebServerRole\\IIS-WebServerManagementTools\\IIS-ManagementService");
  EXPECT_EQ(dism_.LogLines(), Lines(18, kQuery));
  const Lines statuses = ctx_.statuses();
  ASSERT_EQ(statuses.size(), 18u);
  EXPECT_EQ(statuses.front(), Step(0, L"Enabling IIS-WebServerRole"));
  EXPECT_EQ(statuses[16], Step(98, L"Enabling  IIS-ManagementScriptingTools"));
  EXPECT_EQ(statuses.back(), Step(99, L"Enabling  IIS-ManagementService"));
}

}  // namespace
