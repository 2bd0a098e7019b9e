// Finds the installed product by its marker folder "vantdepot", and
// decides at start-up whether an installed copy asks to be upgraded.
#pragma once

#include <string>

#include "engine/product_contract.h"

namespace kestrel {

// Depth-first search below root, in the order the file system lists the
// entries; the first folder named "vantdepot" (any case) wins and
// parentPath receives the folder that holds it. Junctions and other
// reparse points are not entered, so a link loop cannot trap the search.
bool FindMarkerFolder(const std::wstring& root, std::wstring& parentPath);

// True when an installed copy should be upgraded: InstallState 1, or no run
// left unfinished (2) and the marker below LastInstallPath (else Program
// Files) with DBServer recorded.
bool DetectUpgradeNeeded();

}  // namespace kestrel
