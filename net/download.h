// Downloads for the tasks: resumable HTTP(S) into a file with progress in
// the running row, or a copy from beside the installer for "file:" links.
#pragma once

#include <windows.h>

#include <string>

#include "core/payload_pin.h"
#include "net/http_connection.h"
#include "net/reporter.h"

namespace kestrel {

// Number of attempts; before each further one the download pauses, the
// settings' downloadRetryPauseMs first, twice as long each time after.
inline constexpr int kDownloadAttempts = 6;
// Largest piece read and written at once.
inline constexpr uint32_t kDownloadPiece = 64 * 1024;

// 1 when the whole file arrived, else 0 (the partial file stays; the
// caller reports the failure). Only a destination that cannot be created
// and a pin that fails are reported here.
//
// With a pin the file (downloaded or copied) must hash to it: each piece is
// hashed as it is written, across resumed attempts, and a transfer with no
// length is complete once the body ends. A file that does not match is
// deleted, the mismatch is shown, traced and logged, and the result is 0;
// a malformed pin downloads nothing. Without a pin the file is logged as
// unverified.
int DownloadToFile(Reporter& context, const std::wstring& destination, const std::string& url,
                   const PayloadPin& pin);

// An opened GET request for the link, or null.
ConnectionPtr OpenUrlConnection(const std::string& url);

// CopyFileW overwriting the destination, with long paths prefixed.
BOOL LongPathCopy(const std::wstring& source, const std::wstring& destination);

// Copies the file of that name (UTF-8) from the installer's folder.
BOOL CopyFromBesideExecutable(const std::string& name, const std::wstring& destination);

}  // namespace kestrel
