#include "core/status_throttle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A clock the test moves by hand, and the texts the row received.
struct Row {
  uint64_t now = 1000;
  std::vector<std::wstring> written;
  kestrel::StatusThrottle throttle{[this](const std::wstring& t) { written.push_back(t); }, [this] { return now; }, 50};
};

TEST(StatusThrottle, AtMostOneChangedTextPerIntervalAndTheLatestAlwaysLast) {
  Row row;
  row.throttle.Progress(L"1");  // the first goes at once
  row.now += 10;
  row.throttle.Progress(L"2");
  row.now += 10;
  row.throttle.Progress(L"3");  // held back, replacing "2"
  row.now += 30;
  row.throttle.Progress(L"4");  // 50 ms after "1": written, "3" never shown
  row.now += 49;
  row.throttle.Progress(L"5");
  EXPECT_EQ(row.written, (std::vector<std::wstring>{L"1", L"4"}));
  row.throttle.Flush();
  EXPECT_EQ(row.written, (std::vector<std::wstring>{L"1", L"4", L"5"}));
  row.throttle.Flush();
  EXPECT_EQ(row.written.size(), 3u) << "nothing held: nothing written";
}

TEST(StatusThrottle, AStepTextGoesAtOnceAfterTheHeldBackOne) {
  Row row;
  row.throttle.Progress(L"#Progress:1 9");
  row.throttle.Progress(L"#Progress:2 9");
  row.throttle.Step(L"Start downloading");
  row.throttle.Progress(L"#Progress:3 9");  // within the interval of the step: held back
  EXPECT_EQ(row.written, (std::vector<std::wstring>{L"#Progress:1 9", L"#Progress:2 9", L"Start downloading"}));
}

TEST(StatusThrottle, TheEndOfTheWorkWritesWhatWasHeldBack) {
  std::vector<std::wstring> written;
  uint64_t now = 0;
  {
    kestrel::StatusThrottle throttle([&](const std::wstring& t) { written.push_back(t); }, [&] { return now; });
    for (int i = 0; i < 1000; ++i) throttle.Progress(L"Patching:" + std::to_wstring(i));
  }
  EXPECT_EQ(written, (std::vector<std::wstring>{L"Patching:0", L"Patching:999"}));
}

}  // namespace
