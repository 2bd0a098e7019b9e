#include "engine/services.h"

#include <gtest/gtest.h>

#include <ostream>

#include <thread>

#include "engine/child_process.h"
#include "support/process_fixtures.h"
#include "support/recording_context.h"
#include "support/test_support.h"
#include "win/registry.h"

namespace {

using Lines = std::vector<std::wstring>;

const std::wstring kService = L"VEVer";

std::wstring Polled(int i) { return L"#Progress:" + std::to_wstring(i) + L" 120@@Stopping"; }

// The statuses of a wait for a state: polls counted up from 0.
void ExpectPollCount(const Lines& statuses) {
  for (size_t i = 0; i < statuses.size(); ++i) EXPECT_EQ(statuses[i], Polled(static_cast<int>(i)));
}

class Services : public testing::Test {
 protected:
  Services() {
    ctx_.settings.failureTextPauseMs = 0;
    ctx_.argument = kService;
  }

  kt::RecordingContext ctx_;
};

TEST_F(Services, StoppingAStoppedServiceSendsNothing) {
  kt::TestService service(kService, L"");
  ASSERT_TRUE(service.created());
  EXPECT_EQ(kestrel::StopServiceTask(ctx_), 1);
  EXPECT_TRUE(ctx_.statuses().empty());
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(Services, MissingServiceIsNamedWithTheError) {
  ASSERT_TRUE(kt::TestService::Remove(kService));
  EXPECT_EQ(kestrel::StopServiceTask(ctx_), 0);
  EXPECT_EQ(ctx_.statuses(), Lines{L"Failed to open service:VEVer, 1060"});
  kt::RecordingContext start;
  start.settings.failureTextPauseMs = 0;
  start.argument = kService;
  EXPECT_EQ(kestrel::StartServiceTask(start), 0);
  EXPECT_EQ(start.statuses(), Lines{L"Failed to open service:VEVer, 1060"});
}

TEST_F(Services, SlowServiceStopsWithinThePolls) {
  kt::TestService service(kService, L"--stop-delay-ms 1500");
  ASSERT_TRUE(service.StartAndWaitRunning());
  EXPECT_EQ(kestrel::StopServiceTask(ctx_), 1);
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_FALSE(ctx_.statuses().empty());
  ExpectPollCount(ctx_.statuses());
}

TEST_F(Services, SlowServiceStartsWithinThePolls) {
  kt::TestService service(kService, L"--start-delay-ms 1500");
  ASSERT_TRUE(service.created());
  EXPECT_EQ(kestrel::StartServiceTask(ctx_), 1);
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
  // The start task counts its polls with the same word as the stop task.
  EXPECT_FALSE(ctx_.statuses().empty());
  ExpectPollCount(ctx_.statuses());
}

TEST_F(Services, StartingARunningServiceSucceedsAtOnce) {
  kt::TestService service(kService, L"");
  ASSERT_TRUE(service.StartAndWaitRunning());
  EXPECT_EQ(kestrel::StartServiceTask(ctx_), 1);
  EXPECT_TRUE(ctx_.statuses().empty());
}

struct StuckCase {
  const char* name;
  std::wstring arguments;
  bool startFirst;
  int (*task)(kestrel::TaskContext&);
  DWORD stuckIn;
};
void PrintTo(const StuckCase& c, std::ostream* os) { *os << c.name; }


class StuckService : public Services, public testing::WithParamInterface<StuckCase> {};

// After 120 queries the task goes on as if the service had got there.
TEST_P(StuckService, SucceedsAfterTheLastPoll) {
  const StuckCase& c = GetParam();
  ctx_.settings.servicePollPauseMs = 0;
  kt::TestService service(kService, c.arguments);
  ASSERT_TRUE(service.created());
  if (c.startFirst) {
    ASSERT_TRUE(service.StartAndWaitRunning());
  }
  EXPECT_EQ(c.task(ctx_), 1);
  const Lines statuses = ctx_.statuses();
  EXPECT_EQ(statuses.size(), 120u);
  ExpectPollCount(statuses);
  EXPECT_EQ(ctx_.lastStatus(), Polled(119));
  EXPECT_EQ(service.State(), c.stuckIn);
}

INSTANTIATE_TEST_SUITE_P(
    Tasks, StuckService,
    testing::Values(StuckCase{"NeverStops", L"--stop-delay-ms forever", true, kestrel::StopServiceTask,
                              SERVICE_STOP_PENDING},
                    StuckCase{"NeverStarts", L"--start-delay-ms forever", false, kestrel::StartServiceTask,
                              SERVICE_START_PENDING}),
    [](const testing::TestParamInfo<StuckCase>& info) { return std::string(info.param.name); });

// A starting service takes no stop control yet.
TEST_F(Services, RefusedStopControlFails) {
  kt::TestService service(kService, L"--start-delay-ms forever");
  kt::RecordingContext starter;
  starter.settings.failureTextPauseMs = 0;
  starter.argument = kService;
  starter.settings.servicePollPauseMs = 0;
  ASSERT_EQ(kestrel::StartServiceTask(starter), 1);
  ASSERT_EQ(service.State(), static_cast<DWORD>(SERVICE_START_PENDING));
  EXPECT_EQ(kestrel::StopServiceTask(ctx_), 0);
  EXPECT_EQ(ctx_.statuses(), Lines{L"Failed to open service"});
}

// The quiet stop has no task row to write to and no context to ask
// through: it runs while the commit page is being built, and reports only
// its result (a message box would hold this test until it times out).
TEST(QuietStop, StopsTheMonitorAndReportsOnlyItsResult) {
  kestrel::RunSettings settings;
  ASSERT_TRUE(kt::TestService::Remove(kService));
  EXPECT_FALSE(kestrel::StopMonitorServiceQuietly(settings));
  {
    kt::TestService service(kService, L"");
    EXPECT_TRUE(kestrel::StopMonitorServiceQuietly(settings));
  }
  {
    kt::TestService service(kService, L"--stop-delay-ms 1500");
    ASSERT_TRUE(service.StartAndWaitRunning());
    EXPECT_TRUE(kestrel::StopMonitorServiceQuietly(settings));
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
  }
}

TEST(WebServer, StopRunsTheSystemResetToolWithItsBudget) {
  kt::FakeTool iisreset(kt::SystemFolder(), L"iisreset.exe");
  kt::NamedEvent release(L"iisreset");
  iisreset.WaitFor(release);
  kt::RecordingContext ctx;
  int result = -1;
  std::thread task([&] { result = kestrel::RestartWebServerTask(ctx, L"iisreset /stop"); });
  const ULONGLONG deadline = ::GetTickCount64() + kt::kPatienceMs;
  while (ctx.statuses().empty() && ::GetTickCount64() < deadline) ::Sleep(20);
  release.Signal();
  task.join();
  EXPECT_EQ(result, 1);
  ASSERT_FALSE(ctx.statuses().empty());
  EXPECT_EQ(ctx.statuses().front(), L"#Progress:0 600@@Installing");
  EXPECT_EQ(iisreset.LogLines(), Lines{L"iisreset /stop"});
}

TEST(WebServer, FailingResetToolIsReported) {
  kt::FakeTool iisreset(kt::SystemFolder(), L"iisreset.exe");
  iisreset.SetExitCodes(L"1");
  kt::RecordingContext ctx;
  kt::NewTraces traces;
  EXPECT_EQ(kestrel::RestartWebServerTask(ctx, L"iisreset /start"), 0);
  EXPECT_EQ(iisreset.LogLines(), Lines{L"iisreset /start"});
  ASSERT_EQ(ctx.questions().size(), 1u);
  EXPECT_EQ(ctx.questions()[0].text, L"Failed, error code:1");
  EXPECT_EQ(traces.get(), (std::vector<std::string>{"Commit:runprocess:1"}));
}

}  // namespace

namespace {

// The stand-in for a setup program can leave behind what the real one
// would: a service for the database instance and a registry value.
TEST(FakeSetup, CreatesAServiceAndAValue) {
  const std::wstring instance = L"MSSQL$MARROWFIELD";
  ASSERT_TRUE(kt::TestService::Remove(instance));
  kt::FakeTool setup(kt::ScratchFolder(L"fake-setup"), L"Setup.exe");
  setup.SetText(L"CreateService", instance + L"|\"" + kt::kTestServiceExe + L"\" --stop-delay-ms 200");
  setup.SetText(L"SetValue", L"SOFTWARE\\KestrelTest|Marker|made by setup");
  kt::RecordingContext ctx;
  EXPECT_EQ(kestrel::RunAndWait(ctx, setup.path(), L"Setup.exe /q", 900), 1);

  win::UniqueHkey key = win::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KestrelTest");
  ASSERT_TRUE(key);
  EXPECT_EQ(win::QueryText(key.get(), L"Marker", 100).value_or(L""), L"made by setup");
  key.reset();
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KestrelTest", KEY_WOW64_32KEY, 0);

  kt::RecordingContext service;
  service.argument = instance;
  EXPECT_EQ(kestrel::StartServiceTask(service), 1);
  EXPECT_EQ(kestrel::StopServiceTask(service), 1);
  EXPECT_TRUE(kt::TestService::Remove(instance));
}

}  // namespace
