// The run's log as a fleet tool collects it: the file, its encoding and
// lines, the names of default logs, and what never reaches it.
#include "win/run_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

class RunLog : public testing::Test {
 protected:
  void SetUp() override { folder_ = kt::ScratchFolder(L"runlog"); }
  void TearDown() override { kt::RemoveTree(folder_); }
  std::wstring folder_;
};

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 3;  // after the byte-order mark
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(bytes.substr(start, end - start));
  return lines;
}

TEST_F(RunLog, OneCrlfLinePerEventWithTimeThreadAndUtf8Text) {
  const std::wstring path = folder_ + L"\\run.log";
  ASSERT_TRUE(kt::WriteFileBytes(path, "an older run's log, longer than this one will be"));
  ASSERT_TRUE(win::OpenRunLog(path));
  EXPECT_EQ(win::RunLogPath(), path);
  win::Log(L"Windows Server\u00AE 2008");
  win::Log(L"two lines\r\nin one event\n");
  std::thread([] { win::LogUtf8("from another thread"); }).join();

  // Written as it goes: readable while the log is still open.
  const std::string bytes = kt::ReadFileBytes(path);
  ASSERT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with a byte-order mark, the older log replaced";
  const auto lines = Lines(bytes);
  ASSERT_EQ(lines.size(), 3u) << bytes;
  const std::regex head(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} \[(\d+)\] (.*))");
  std::smatch match[3];
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(std::regex_match(lines[i], match[i], head)) << lines[i];
  EXPECT_EQ(match[0][2], "Windows Server\xC2\xAE 2008");
  EXPECT_EQ(match[1][2], "two lines | in one event") << "a line break never splits an event";
  EXPECT_EQ(match[2][2], "from another thread");
  EXPECT_EQ(match[0][1], std::to_string(::GetCurrentThreadId()));
  EXPECT_NE(match[2][1], match[0][1]);
}

TEST_F(RunLog, SecretsNeverReachTheLogInAnyEvent) {
  ASSERT_TRUE(win::OpenRunLog(folder_ + L"\\secret.log"));
  win::AddLogSecret(L"pa;ss");
  win::AddLogSecret(L"pa;ss-longer");  // one secret inside another
  win::AddLogSecret(L"");
  win::Log(L"PWD={pa;ss-longer};UID=sa pa;ss pa;sspa;ss");
  win::Log(L"nothing secret");
  const auto lines = Lines(kt::ReadFileBytes(folder_ + L"\\secret.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("PWD={*****};UID=sa ***** **********"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[0].find("pa;ss"), std::string::npos);
  EXPECT_NE(lines[1].find("nothing secret"), std::string::npos);
}

TEST_F(RunLog, DefaultLogsOfTheSameSecondGetTheirOwnNames) {
  const std::wstring first = win::OpenRunLogIn(folder_, L"KestrelSetup");
  const std::wstring second = win::OpenRunLogIn(folder_, L"KestrelSetup");
  const std::wregex name(LR"(.*\\KestrelSetup_\d{8}_\d{6}(_\d+)?\.log)");
  EXPECT_TRUE(std::regex_match(first, name)) << testing::PrintToString(first);
  EXPECT_TRUE(std::regex_match(second, name)) << testing::PrintToString(second);
  EXPECT_NE(first, second);
  EXPECT_TRUE(kt::Exists(first));
  EXPECT_EQ(win::RunLogPath(), second);
  EXPECT_TRUE(win::OpenRunLogIn(folder_ + L"\\missing\\folder", L"KestrelSetup").empty()) << "no log, no failure";
  win::Log(L"still fine");
}

TEST(RunLogErrors, NameTheWin32ErrorWithItsSystemText) {
  EXPECT_EQ(win::ErrorText(ERROR_ACCESS_DENIED).rfind(L"error 5 (", 0), 0u);
  EXPECT_GT(win::ErrorText(ERROR_ACCESS_DENIED).size(), 12u);
  EXPECT_EQ(win::ErrorText(0xDEADu), L"error 57005") << "an unknown error keeps its number";
}

}  // namespace
