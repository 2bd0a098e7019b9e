#include "engine/child_process.h"

#include <gtest/gtest.h>

#include <ostream>

#include <thread>

#include "support/process_fixtures.h"
#include "support/recording_context.h"
#include "support/test_support.h"

namespace {

using kestrel::RunAndWait;
using kestrel::RunProcess;

const std::wstring kFolder = L"C:\\ktest\\child-process";
const std::wstring kCommand = L"DeployCfgCmd configapp";

std::wstring Progress(int done, int total) {
  return L"#Progress:" + std::to_wstring(done) + L" " + std::to_wstring(total) + L"@@Installing";
}

using Runner = int (*)(kestrel::TaskContext&, const std::wstring&, const std::wstring&, int);

class ChildProcess : public testing::Test {
 protected:
  kt::FakeTool tool_{kFolder, L"DeployCfgCmd.exe"};
  kt::RecordingContext ctx_;
  kt::NewTraces traces_;
};

// Both runners: a program that ends inside the first slice leaves no
// progress text, and the runner passes our exact command line.
TEST_F(ChildProcess, ProgramEndingInTheFirstSliceWritesNoProgress) {
  for (Runner run : {Runner(RunAndWait), Runner(RunProcess)}) {
    kt::RecordingContext ctx;
    // The slice outlasts any start-up on a loaded machine.
    ctx.settings.waitSliceMs = kt::kPatienceMs;
    EXPECT_EQ(run(ctx, tool_.path(), kCommand, 900), 1);
    EXPECT_TRUE(ctx.statuses().empty());
    EXPECT_TRUE(ctx.questions().empty());
  }
  EXPECT_EQ(tool_.LogLines(), (std::vector<std::wstring>{kCommand, kCommand}));
  EXPECT_TRUE(traces_.get().empty());
}

TEST_F(ChildProcess, RunAndWaitIgnoresTheExitCode) {
  tool_.SetExitCodes(L"87");
  EXPECT_EQ(RunAndWait(ctx_, tool_.path(), kCommand, 30), 1);
  EXPECT_TRUE(ctx_.questions().empty());
  EXPECT_TRUE(traces_.get().empty());
}

TEST_F(ChildProcess, RunAndWaitTimesOutAndLeavesTheProgramRunning) {
  kt::NamedEvent never(L"never");
  tool_.WaitFor(never);
  ctx_.settings.waitSliceMs = 20;
  EXPECT_EQ(RunAndWait(ctx_, tool_.path(), kCommand, 4), 0);
  EXPECT_EQ(ctx_.statuses(), (std::vector<std::wstring>{Progress(0, 4), Progress(1, 4), Progress(2, 4), Progress(3, 4)}));
  EXPECT_EQ(tool_.RunningCount(), 1u);
  EXPECT_TRUE(traces_.get().empty());
  // The fixture ends it.
}

TEST_F(ChildProcess, BudgetBelowOneCountsAsOne) {
  kt::NamedEvent never(L"never");
  tool_.WaitFor(never);
  for (int budget : {0, -5}) {
    kt::RecordingContext ctx;
    ctx.settings.waitSliceMs = 20;
    EXPECT_EQ(RunAndWait(ctx, tool_.path(), kCommand, budget), 0);
    EXPECT_EQ(ctx.statuses(), (std::vector<std::wstring>{Progress(0, 1)}));
  }
}

TEST_F(ChildProcess, RunProcessStartsTheBarAgainAndJudgesTheCodeAtTheEnd) {
  kt::NamedEvent release(L"release");
  tool_.WaitFor(release);
  tool_.SetExitCodes(L"87");
  ctx_.settings.waitSliceMs = 20;
  int result = -1;
  std::thread runner([&] { result = RunProcess(ctx_, tool_.path(), kCommand, 3); });
  // Let the bar fill and wrap twice before the tool ends.
  const ULONGLONG deadline = ::GetTickCount64() + kt::kPatienceMs;
  while (ctx_.statuses().size() < 7 && ::GetTickCount64() < deadline) ::Sleep(10);
  release.Signal();
  runner.join();

  const std::vector<std::wstring> statuses = ctx_.statuses();
  ASSERT_GE(statuses.size(), 7u);
  for (size_t i = 0; i < statuses.size(); ++i) EXPECT_EQ(statuses[i], Progress(static_cast<int>(i % 3), 3)) << i;
  ASSERT_EQ(ctx_.questions().size(), 1u);
  EXPECT_EQ(ctx_.questions()[0].type, static_cast<UINT>(MB_RETRYCANCEL));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(tool_.Runs(), 1u);
}

const std::wstring kDatabaseQuestion =
    L"Error connecting to database, please check database connection and settings";
const std::wstring kWebServerQuestion =
    L"IIS Web Server Not Ready. Please check http://localhost with a web browser and make sure the web page comes "
    L"up normally. Once IIS web server is ready, please click the 'Retry' button below to continue the "
    L"installation.";

struct ExitCodeCase {
  const char* name;
  std::wstring code;
  int result;
  std::wstring shown;  // empty: nothing shown
  UINT type;
  std::vector<std::string> traces;
};
void PrintTo(const ExitCodeCase& c, std::ostream* os) { *os << c.name; }


class RunProcessExitCode : public ChildProcess, public testing::WithParamInterface<ExitCodeCase> {};

// Questions are answered with Cancel (the recording context's default).
TEST_P(RunProcessExitCode, IsJudgedAsTheConfigurationToolMeansIt) {
  const ExitCodeCase& c = GetParam();
  tool_.SetExitCodes(c.code);
  EXPECT_EQ(RunProcess(ctx_, tool_.path(), kCommand, 900), c.result);
  const auto questions = ctx_.questions();
  if (c.shown.empty()) {
    EXPECT_TRUE(questions.empty());
  } else {
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, c.shown);
    EXPECT_EQ(questions[0].type, c.type);
  }
  EXPECT_EQ(traces_.get(), c.traces);
  EXPECT_EQ(tool_.Runs(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, RunProcessExitCode,
    testing::Values(ExitCodeCase{"Success", L"0", 1, L"", 0, {}},
                    ExitCodeCase{"DatabaseUnreachable", L"85", 0, kDatabaseQuestion, MB_RETRYCANCEL, {}},
                    ExitCodeCase{"WebServerNotReady86", L"86", 0, kWebServerQuestion, MB_RETRYCANCEL, {}},
                    ExitCodeCase{"WebServerNotReady87", L"87", 0, kWebServerQuestion, MB_RETRYCANCEL, {}},
                    ExitCodeCase{"MinusOneIsShownSigned", L"-1", 0, L"Failed, error code:-1", MB_OK,
                                 {"Commit:runprocess:-1"}},
                    ExitCodeCase{"OtherCode", L"3", 0, L"Failed, error code:3", MB_OK, {"Commit:runprocess:3"}},
                    // The end is seen on the process handle, so the code
                    // that otherwise means "still running" is judged too.
                    ExitCodeCase{"StillActiveCodeFromAnEndedProgram", L"259", 0, L"Failed, error code:259", MB_OK,
                                 {"Commit:runprocess:259"}}),
    [](const testing::TestParamInfo<ExitCodeCase>& info) { return std::string(info.param.name); });

TEST_F(ChildProcess, RetryThreeTimesThenCancelStartsFourTimes) {
  tool_.SetExitCodes(L"85,86,87,85");
  ctx_.QueueAnswers({IDRETRY, IDRETRY, IDRETRY, IDCANCEL});
  EXPECT_EQ(RunProcess(ctx_, tool_.path(), kCommand, 900), 0);
  EXPECT_EQ(tool_.Runs(), 4u);
  EXPECT_EQ(tool_.LogLines(), std::vector<std::wstring>(4, kCommand));
  EXPECT_EQ(traces_.get(), (std::vector<std::string>{"error connect to db", "iis not ready", "iis not ready"}));
  const auto questions = ctx_.questions();
  ASSERT_EQ(questions.size(), 4u);
  EXPECT_EQ(questions[0].text, kDatabaseQuestion);
  EXPECT_EQ(questions[1].text, kWebServerQuestion);
  EXPECT_EQ(questions[2].text, kWebServerQuestion);
  EXPECT_EQ(questions[3].text, kDatabaseQuestion);
}

TEST_F(ChildProcess, RetryThatThenSucceedsIsSuccess) {
  tool_.SetExitCodes(L"85,0");
  ctx_.QueueAnswers({IDRETRY});
  EXPECT_EQ(RunProcess(ctx_, tool_.path(), kCommand, 900), 1);
  EXPECT_EQ(tool_.Runs(), 2u);
  EXPECT_EQ(traces_.get(), (std::vector<std::string>{"error connect to db"}));
}

// Answers Retry and removes the program before it is started again.
struct RetryIntoNothing : kt::RecordingContext {
  std::wstring victim;
  int Ask(const std::wstring& text, UINT type) override {
    kt::RecordingContext::Ask(text, type);
    ::DeleteFileW(victim.c_str());
    return IDRETRY;
  }
};

TEST_F(ChildProcess, RetryWhenTheProgramHasGoneFailsSilently) {
  tool_.SetExitCodes(L"86");
  RetryIntoNothing ctx;
  ctx.victim = tool_.path();
  EXPECT_EQ(RunProcess(ctx, tool_.path(), kCommand, 900), 0);
  EXPECT_EQ(ctx.questions().size(), 1u);
  EXPECT_EQ(traces_.get(), (std::vector<std::string>{"iis not ready"}));
}

TEST_F(ChildProcess, MissingProgramFailsSilently) {
  const std::wstring missing = kFolder + L"\\netfull.exe";
  EXPECT_EQ(RunAndWait(ctx_, missing, L"netfull.exe /q", 900), 0);
  EXPECT_EQ(RunProcess(ctx_, missing, L"netfull.exe /q", 900), 0);
  EXPECT_TRUE(ctx_.statuses().empty());
  EXPECT_TRUE(ctx_.questions().empty());
  EXPECT_TRUE(traces_.get().empty());
}

TEST(SystemTools, TheTestBuildFindsItsToolsInSystem32) {
  // 64-bit Windows (the prefix names a 32-bit Program Files folder), but a
  // 64-bit process needs no alias to reach the native tools.
  EXPECT_TRUE(kestrel::Is64BitWindows());
  EXPECT_FALSE(kestrel::SystemToolsNeedSysnative());
  EXPECT_EQ(::lstrcmpiW(kestrel::SystemToolPath(L"Dism.exe").c_str(), (kt::SystemFolder() + L"\\Dism.exe").c_str()),
            0)
      << kestrel::SystemToolPath(L"Dism.exe");
}

TEST(SystemTools, WithoutA32BitProgramFilesFolderWindowsIs32Bit) {
  std::wstring saved(MAX_PATH, L'\0');
  DWORD n = ::GetEnvironmentVariableW(L"ProgramFiles(x86)", saved.data(), MAX_PATH);
  ASSERT_GT(n, 0u);
  saved.resize(n);
  ::SetEnvironmentVariableW(L"ProgramFiles(x86)", nullptr);
  const bool without = kestrel::Is64BitWindows();
  ::SetEnvironmentVariableW(L"ProgramFiles(x86)", saved.c_str());
  EXPECT_FALSE(without);
}

}  // namespace
