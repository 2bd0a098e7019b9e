#include "win/folder_walk.h"

#include <vector>

#include "win/handle.h"
#include "win/module.h"

namespace win {
namespace {

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

struct Level {
  std::wstring path;
  std::wstring relativePath;
  UniqueFind find;
  WIN32_FIND_DATAW entry;
  bool started = false;
};

}  // namespace

WalkResult WalkFolder(const std::wstring& root, FolderVisitor& visitor) {
  std::vector<Level> stack;
  // Opens a folder's listing; false when it cannot be listed.
  auto enter = [&stack](const std::wstring& path, const std::wstring& relativePath) {
    Level level{path, relativePath, {}, {}, false};
    level.find.reset(::FindFirstFileW(LongPath(path + L"\\*.*").c_str(), &level.entry));
    const bool listed = static_cast<bool>(level.find);
    stack.push_back(std::move(level));
    return listed;
  };
  const bool rootListed = enter(root, L"");
  if (!rootListed) stack.back().started = true;  // nothing to list: leave it at once

  while (!stack.empty()) {
    Level& level = stack.back();
    const bool more = level.find && (!level.started || ::FindNextFileW(level.find.get(), &level.entry));
    level.started = true;
    if (!more) {
      const std::wstring path = std::move(level.path), relativePath = std::move(level.relativePath);
      stack.pop_back();  // the listing closes before the folder is left (and may be removed)
      if (visitor.Leave(path, relativePath) == WalkStep::kStop) return WalkResult::kStopped;
      continue;
    }
    const WIN32_FIND_DATAW& data = level.entry;
    if (IsDotEntry(data.cFileName)) continue;
    FolderEntry entry;
    entry.name = data.cFileName;
    entry.path = level.path + L"\\" + entry.name;
    entry.relativePath = level.relativePath.empty() ? entry.name : level.relativePath + L"\\" + entry.name;
    entry.attributes = data.dwFileAttributes;
    const WalkStep step = visitor.Visit(entry);
    if (step == WalkStep::kStop) return WalkResult::kStopped;
    if (step == WalkStep::kContinue && entry.IsFolder() && !entry.IsLink()) {
      // `level` may dangle after this; it is not used again.
      if (!enter(entry.path, entry.relativePath)) stack.back().started = true;
    }
  }
  return rootListed ? WalkResult::kDone : WalkResult::kRootMissing;
}

}  // namespace win
