// Where a payload may come from besides its link: an offline layout
// folder. A file of the payload's name in the folder /source names is
// used (a pinned one only when its hash matches); in the installer's own
// folder only a pinned file whose hash matches is used, so a stray file of
// the same name next to an installer in a Downloads folder never runs.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

struct PayloadSources {
  std::wstring named;   // /source DIR; empty: none
  std::wstring beside;  // the installer's folder
};

// Set once at start-up, before any download.
void ConfigurePayloadSources(PayloadSources sources);

// The local files that may stand in for the link's download, in the order
// to try them (the /source folder first); empty: the network. An unpinned
// payload gets only the /source folder's file; a pinned one also the
// installer's folder's, and the caller keeps a file only when its copy has
// the pinned hash. What is passed over goes to the log.
std::vector<std::wstring> LocalPayloadCandidates(const std::string& url, bool pinned);

}  // namespace kestrel
