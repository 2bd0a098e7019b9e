// Where a payload may come from besides its link: an offline layout
// folder. A file of the payload's name in the folder /source names is
// used (a pinned one only when its hash matches); in the installer's own
// folder only a pinned file whose hash matches is used, so a stray file of
// the same name next to an installer in a Downloads folder never runs.
#pragma once

#include <functional>
#include <string>

namespace kestrel {

struct PayloadSources {
  std::wstring named;   // /source DIR; empty: none
  std::wstring beside;  // the installer's folder
};

// Set once at start-up, before any download.
void ConfigurePayloadSources(PayloadSources sources);

// The local file to take instead of downloading the link, or empty (then
// the network). matchesPin is null for a payload without a pin; else it
// tells whether a file has the pinned hash. Each choice goes to the log.
std::wstring LocalPayloadFor(const std::string& url,
                             const std::function<bool(const std::wstring& path)>& matchesPin);

}  // namespace kestrel
