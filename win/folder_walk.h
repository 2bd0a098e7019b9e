// One walk over a folder tree for every job that needs one: finding the
// product's marker, deleting a tree, patching one tree over another and
// the uninstaller's removal.
//
// The walk is depth first in the order the file system lists the entries,
// without recursion (a deep tree cannot exhaust the thread's stack). "."
// and ".." are never reported. A folder that is a reparse point (a
// junction or a symbolic link) is reported like any folder but never
// entered: what it points to is somewhere else, and a link loop would
// trap the walk.
#pragma once

#include <windows.h>

#include <string>

namespace win {

struct FolderEntry {
  std::wstring name;          // the entry's own name
  std::wstring path;          // folder + "\" + name
  std::wstring relativePath;  // below the walk's root, "\"-separated
  DWORD attributes = 0;

  bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

enum class WalkStep {
  kContinue,  // go on; a folder that is no link is entered next
  kSkip,      // go on, but do not enter this folder
  kStop,      // end the whole walk now
};

class FolderVisitor {
 public:
  virtual ~FolderVisitor() = default;
  // Every entry, before a folder's own entries.
  virtual WalkStep Visit(const FolderEntry& entry) = 0;
  // After a folder's entries (relativePath empty for the root), also when
  // its listing could not be opened. Not called once the walk stopped.
  virtual WalkStep Leave(const std::wstring& /*path*/, const std::wstring& /*relativePath*/) {
    return WalkStep::kContinue;
  }
};

enum class WalkResult {
  kDone,        // every entry was visited
  kStopped,     // the visitor stopped the walk
  kRootMissing  // the root's listing could not be opened (Leave still ran)
};

WalkResult WalkFolder(const std::wstring& root, FolderVisitor& visitor);

}  // namespace win
