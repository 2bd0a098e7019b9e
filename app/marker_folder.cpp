#include "app/marker_folder.h"

#include <windows.h>

#include <vector>

#include "win/handle.h"
#include "win/module.h"

namespace kestrel {
namespace {

struct Level {
  std::wstring path;
  win::UniqueFind find;
  WIN32_FIND_DATAW entry;
  bool started = false;
};

bool IsDotOrDotDot(const wchar_t* name) { return lstrcmpiW(name, L".") == 0 || lstrcmpiW(name, L"..") == 0; }

}  // namespace

bool FindMarkerFolder(const std::wstring& root, std::wstring& parentPath) {
  // An explicit stack instead of recursion: deep trees cannot exhaust the
  // thread's stack. The order of visits is that of the recursive search.
  std::vector<Level> stack;
  auto open = [&stack](const std::wstring& path) {
    Level level{path, {}, {}, false};
    level.find.reset(::FindFirstFileW(win::LongPath(path + L"\\*.*").c_str(), &level.entry));
    if (!level.find) return false;
    stack.push_back(std::move(level));
    return true;
  };
  if (!open(root)) return false;
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.started && !::FindNextFileW(level.find.get(), &level.entry)) {
      stack.pop_back();
      continue;
    }
    level.started = true;
    const WIN32_FIND_DATAW& e = level.entry;
    if (IsDotOrDotDot(e.cFileName) || (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    if (lstrcmpiW(e.cFileName, kMarkerFolderName) == 0) {
      parentPath = level.path;
      return true;
    }
    if ((e.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    std::wstring child = level.path + L"\\" + e.cFileName;
    open(child);  // `level` may dangle after this; it is not used again
  }
  return false;
}

}  // namespace kestrel
