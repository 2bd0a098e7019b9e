#include "engine/marker_folder.h"

#include <shlobj.h>

#include "core/ascii_text.h"
#include "core/installer_state.h"
#include "win/folder_walk.h"
#include "win/shell.h"

namespace kestrel {
namespace {

class MarkerSearch : public win::FolderVisitor {
 public:
  win::WalkStep Visit(const win::FolderEntry& entry) override {
    if (!entry.IsFolder()) return win::WalkStep::kContinue;
    if (EqualsNoCase(entry.name, product::kMarkerFolder)) {
      parent = entry.path.substr(0, entry.path.size() - entry.name.size() - 1);
      return win::WalkStep::kStop;
    }
    return win::WalkStep::kContinue;
  }
  std::wstring parent;
};

}  // namespace

bool DetectUpgradeNeeded() {
  const int32_t state = ReadInstallState();
  if (state == kInstallStateNeedsUpgrade) return true;
  if (state == kInstallStateRunning) return false;
  std::wstring root;
  if (!ReadLastInstallPath(root)) root = win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true);
  if (root.empty()) return false;
  std::wstring productParent;
  if (!FindMarkerFolder(root, productParent)) return false;
  return ReadDbServer();
}

bool FindMarkerFolder(const std::wstring& root, std::wstring& parentPath) {
  MarkerSearch search;
  if (win::WalkFolder(root, search) != win::WalkResult::kStopped) return false;
  parentPath = std::move(search.parent);
  return true;
}

}  // namespace kestrel
