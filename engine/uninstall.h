// The removal of an installed copy (the command registered with Windows):
// the monitor service, the configuration tool's own uninstallation, the
// shortcuts, the product folder and the uninstall entry, then the restart
// question. It runs against a context, so the uninstall dialog and a
// windowless host run the same sequence.
#pragma once

#include <string>

#include "engine/engine_context.h"

namespace kestrel {

// SetStatus writes the status line; ProgressStep moves the activity bar.
class UninstallContext : public EngineContext {
 public:
  virtual void ProgressStep(int n) = 0;
};

// The whole removal, ending with the restart question. Files that cannot
// be deleted now go at the next restart.
void RunUninstall(UninstallContext& ctx);

// Runs "DeployCfgCmd uninstall", one progress step per wait slice; true
// when it ended within the settings' toolUninstallSlices. A tool still
// running then goes on by itself.
bool RunToolUninstall(UninstallContext& ctx, const std::wstring& toolPath);

// Deletes a folder tree, showing each path; links (junctions) are removed
// as links.
void UninstallDeleteTree(UninstallContext& ctx, const std::wstring& folder);

}  // namespace kestrel
