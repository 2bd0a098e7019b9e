// The pure parts of a download: splitting a link, the progress markup and
// the size texts it shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/ascii_text.h"

namespace kestrel {

struct UrlParts {
  bool secure = false;
  int port = 80;
  bool explicitPort = false;  // the link named its port
  std::string host;
  std::string path;  // starts with "/", query included
};

// "https://" (any case) is secure on 443; anything else counts as a
// seven-character scheme on port 80. A ":port" after the host selects that
// port. A link without a path asks for "/".
UrlParts SplitUrl(std::string_view url);

// "1.50 MB" style text for a byte count, six characters wide before the
// unit: KB up to 1 MB, MB up to 1 GB, GB up to and including 1 TB, then TB.
std::string SizeText(uint64_t bytes);

// Status markup after each piece: offset and total (-1 when unknown) with
// their size texts.
std::wstring ProgressText(uint64_t offset, int64_t total);

// Value of the Range header that resumes at offset.
std::string RangeValue(uint64_t offset);

// A payload's file name: the last path component of its link without the
// query or fragment ("file:" links: the last component after "file:");
// empty when the link names no file (nothing after the last slash, "."
// or "..", a drive or stream colon).
std::string PayloadFileName(std::string_view url);

}  // namespace kestrel
