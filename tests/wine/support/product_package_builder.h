// The product package as the download server offers it: a ZIP archive
// whose one top-level folder is "build", holding the configuration tool
// and the launcher (both the scriptable fake tool), the icon, the
// installer itself, root\web.config and the "vantdepot" marker folder.
#pragma once

#include <map>
#include <string>

namespace kt {

// Relative path ("/" separated, below "build/") -> bytes. A path ending in
// "/" is a folder.
using PackageTree = std::map<std::string, std::string>;

// The tree of a release; extra files (path -> bytes) are added or replace
// the usual ones.
PackageTree ProductTree(const std::string& version, const PackageTree& extra = {});

// The tree as a ZIP archive with every path under "build/", deflated.
std::string PackageArchive(const PackageTree& tree);

// Where a tree path lands below folder.
std::wstring TreePath(const std::wstring& folder, const std::string& path);
// Writes the tree into folder, as an installation leaves it.
bool WriteTree(const std::wstring& folder, const PackageTree& tree);
// True when every entry of the tree is in folder, files with the same
// bytes; the first one that is not goes to *difference.
bool SameTree(const std::wstring& folder, const PackageTree& tree, std::string* difference);

}  // namespace kt
