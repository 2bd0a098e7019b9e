#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

using kestrel::HasSwitch;
using kestrel::RelaunchParameters;

TEST(CommandLine, SwitchesAreCaseSensitiveSubstrings) {
  struct Case {
    const wchar_t* args;
    bool runas;
    bool uninstall;
  } const cases[] = {
      {L"", false, false},
      {L"-u", false, true},
      {L"-u /runas", true, true},
      {L"/x-u", false, true},
      {L"-U", false, false},
      {L"/RUNAS", false, false},
      {L"foo/runasbar", true, false},
      {L"--update", false, true},  // "-u" inside another word still counts
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HasSwitch(c.args, kestrel::kSwitchRunas), c.runas) << testing::PrintToString(std::wstring(c.args));
    EXPECT_EQ(HasSwitch(c.args, kestrel::kSwitchUninstall), c.uninstall)
        << testing::PrintToString(std::wstring(c.args));
  }
}

TEST(CommandLine, RelaunchParametersKeepEveryArgument) {
  EXPECT_EQ(RelaunchParameters(L""), L" /runas");
  EXPECT_EQ(RelaunchParameters(L"-u"), L"-u /runas");
  std::wstring longArgs(1000, L'x');
  EXPECT_EQ(RelaunchParameters(longArgs), longArgs + L" /runas");
}

}  // namespace
