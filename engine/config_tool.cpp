#include "engine/product_contract.h"
#include "engine/config_tool.h"

#include "engine/config_command_line.h"
#include "engine/child_process.h"

namespace kestrel {
namespace {

constexpr int kConfigToolBudget = 900;

std::wstring ToolPath(TaskContext& ctx) { return ctx.InstallDir() + L"\\" + product::kConfigToolExe; }

}  // namespace

int ConfigureWebApps(TaskContext& ctx) {
  return RunProcess(ctx, ToolPath(ctx), product::kConfigAppCommand, kConfigToolBudget);
}

int InitDatabase(TaskContext& ctx) {
  const DatabaseChoice db = ctx.Database();
  const std::wstring commandLine =
      InitDbCommandLine(ctx.EnterpriseEdition() != 0, db.allInOne != 0, db.server, db.user, db.password, db.name);
  return RunProcess(ctx, ToolPath(ctx), commandLine, kConfigToolBudget);
}

}  // namespace kestrel
