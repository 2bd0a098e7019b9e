// Extracts a ZIP archive file into a folder on disk.
#pragma once

#include <string>

namespace kestrel {

// Existing files are overwritten silently (read-only ones too); an empty,
// corrupt or unsafe archive fails. True only when every entry was written
// completely. On failure, why holds a readable reason (UTF-8).
bool ExtractZip(const std::wstring& archivePath, const std::wstring& destination, std::string* why = nullptr);

}  // namespace kestrel
