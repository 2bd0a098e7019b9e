// Placeholder until the parser's own tests land with it.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, SwitchesAreWholeArguments) {
  EXPECT_TRUE(kestrel::ParseCommandLine(L"-u /runas").uninstall);
  EXPECT_FALSE(kestrel::ParseCommandLine(L"DBPASSWORD=a-ub").uninstall);
}

}  // namespace
