#include "core/run_outcome.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using kestrel::RunOutcome;

TEST(RunOutcome, ExitCodeOfEachWayARunEnds) {
  struct Case {
    const char* name;
    std::function<void(RunOutcome&)> events;
    int code;
  } const cases[] = {
      {"closed before anything ran", [](RunOutcome&) {}, 1602},
      {"finished, restart declined", [](RunOutcome& o) { o.RestartDeclined(), o.RunFinished(); }, 3010},
      {"finished without the question (an upgrade)", [](RunOutcome& o) { o.RunFinished(); }, 0},
      {"finished, restart started", [](RunOutcome& o) { o.RestartStarted(), o.RunFinished(); }, 1641},
      {"failed", [](RunOutcome& o) { o.RunFailed(); }, 1603},
      {"failed, then retried to the end", [](RunOutcome& o) { o.RunFailed(), o.RunFinished(); }, 0},
      {"unsupported Windows", [](RunOutcome& o) { o.UnsupportedWindows(); }, 1633},
  };
  for (const Case& c : cases) {
    RunOutcome outcome;
    c.events(outcome);
    EXPECT_EQ(outcome.ExitCode(), c.code) << c.name;
  }
}

}  // namespace
