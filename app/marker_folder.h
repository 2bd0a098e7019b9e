// Finds the installed product by its marker folder "vantdepot".
#pragma once

#include <string>

namespace kestrel {

inline constexpr wchar_t kMarkerFolderName[] = L"vantdepot";

// Depth-first search below root, in the order the file system lists the
// entries; the first folder named "vantdepot" (any case) wins and
// parentPath receives the folder that holds it. Junctions and other
// reparse points are not entered, so a link loop cannot trap the search.
bool FindMarkerFolder(const std::wstring& root, std::wstring& parentPath);

}  // namespace kestrel
