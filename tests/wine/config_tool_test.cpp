// The configuration tool tasks: the command lines the tool receives.
#include "engine/config_tool.h"

#include <gtest/gtest.h>

#include "engine/child_process.h"
#include "support/process_fixtures.h"
#include "support/recording_context.h"
#include "support/test_support.h"

namespace {

using namespace kestrel;

class ConfigTool : public testing::Test {
 protected:
  void SetUp() override {
    ctx_.settings.waitSliceMs = kt::kPatienceMs;  // one slice: no progress, no waiting
    ctx_.SetInstallDir(L"C:\\ktest\\config-tool");
  }

  kt::FakeTool tool_{L"C:\\ktest\\config-tool", L"DeployCfgCmd.exe"};
  kt::RecordingContext ctx_;
};

TEST_F(ConfigTool, CommandLinesAsTheToolReceivesThem) {
  EXPECT_EQ(ConfigureWebApps(ctx_), 1);

  ctx_.database = DatabaseChoice{};  // all-in-one
  EXPECT_EQ(InitDatabase(ctx_), 1);

  ctx_.database.allInOne = 0;
  ctx_.database.server = L"db01\\SQLEXPRESS";
  ctx_.database.user = L"sa";
  ctx_.database.password = L"pa ss\\";  // a trailing backslash must not eat the quote
  ctx_.database.name = L"";
  EXPECT_EQ(InitDatabase(ctx_), 1);

  EXPECT_EQ(tool_.LogLines(), (std::vector<std::wstring>{
                                  L"DeployCfgCmd configapp",
                                  L"DeployCfgCmd initdb true localhost\\MARROWFIELD # default",
                                  L"DeployCfgCmd initdb true \"db01\\SQLEXPRESS\" \"sa\" \"pa ss\\\\\" \"\"",
                              }));
}

TEST_F(ConfigTool, ExitCodesAreJudgedByTheRunner) {
  tool_.SetExitCodes(L"85,0");
  ctx_.QueueAnswers({IDRETRY});
  EXPECT_EQ(InitDatabase(ctx_), 1);
  ASSERT_EQ(ctx_.questions().size(), 1u);
  EXPECT_EQ(ctx_.questions()[0].text, L"Error connecting to database, please check database connection and settings");
  EXPECT_EQ(tool_.LogLines().size(), 2u) << "Retry runs the same command line again";
}

}  // namespace
