#include "net/download.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "core/status_throttle.h"
#include "core/text_convert.h"
#include "net/audit_trace.h"
#include "net/download_text.h"
#include "net/payload_source.h"
#include "net/piece_hasher.h"
#include "win/handle.h"
#include "win/module.h"
#include "win/run_log.h"
#include "win/sha256.h"

namespace kestrel {
namespace {

constexpr int64_t kUnknownTotal = -1;

// Deletes a file left from an earlier run, read-only or not.
void DeleteOldFile(const std::wstring& destination) {
  const std::wstring path = win::LongPath(destination);
  if (::DeleteFileW(path.c_str())) return;
  if (::GetLastError() != ERROR_ACCESS_DENIED) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

// The file name of a path, which names the package in messages.
std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string Narrow(const std::wstring& text) { return WideToUtf8(text).value_or("?"); }

std::wstring StatusHex(long status) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(status));
  return text;
}

// A file that does not hash to its pin is removed before anything can
// extract or start it, and the mismatch is shown, traced and logged. 1
// when the file may be used.
int CheckPayload(Reporter& context, const std::wstring& destination, const PayloadPin& pin,
                 const std::optional<Sha256Digest>& actual, long cngStatus, const std::wstring& logPrefix) {
  const std::wstring name = FileNameOf(destination);
  if (actual && *actual == pin.digest) {
    win::Log(logPrefix + L": verified " + PinText(*actual));
    return 1;
  }
  DeleteOldFile(destination);
  if (!actual) {
    win::Log(logPrefix + L": not verified, its SHA-256 could not be computed (" + StatusHex(cngStatus) +
             L"); file deleted");
    SendAuditTrace("payload not verified:" + Narrow(name));
    context.Ask(L"Verification of " + name + L" failed: its SHA-256 could not be computed (" +
                    StatusHex(cngStatus) + L"), so it was deleted and nothing was started.",
                MB_OK);
    return 0;
  }
  const std::wstring expected = PinText(pin.digest), received = PinText(*actual);
  win::Log(logPrefix + L": sha256 mismatch, expected " + expected + L", received " + received + L"; file deleted");
  SendAuditTrace("payload mismatch:" + Narrow(name) + " expected " + Narrow(expected) + " received " +
                 Narrow(received));
  context.Ask(L"Verification of " + name +
                  L" failed: the file is not the one this installer expects, so it was deleted and nothing was "
                  L"started.\nExpected " +
                  expected + L"\nReceived " + received,
              MB_OK);
  return 0;
}

// One request from the resume offset on; true when the file is complete.
// The offset counts every byte written, across attempts.
// What ended an attempt, for the log: the HTTP status, or the error of the
// step that failed.
struct AttemptNote {
  int status = 0;
  std::wstring failure;
};

std::wstring LastErrorAt(const wchar_t* step) { return std::wstring(step) + L": " + win::ErrorText(::GetLastError()); }

// With a hasher (a pinned download) the pieces go through its buffers and
// are hashed as they are written, and a body of unknown length is complete
// when it ends: the hash, not the length, decides.
bool DownloadAttempt(StatusThrottle& status, HANDLE file, const std::string& url, uint64_t& offset,
                     char* plainBuffer, PieceHasher* hasher, AttemptNote& note) {
  status.Step(L"Start downloading");
  ConnectionPtr connection = OpenUrlConnection(url);
  if (!connection) {
    note.failure = LastErrorAt(L"no connection");
    status.Step(L"failed to create connection");
    return false;
  }
  connection->SetTimeouts(0, 60000, 60000, 600000);
  if (offset != 0) connection->AddHeader("Range", RangeValue(offset).c_str());
  if (!connection->Send(nullptr, 0)) {
    note.failure = LastErrorAt(L"request not sent");
    return false;
  }
  if (!connection->ReceiveResponse()) {
    note.failure = LastErrorAt(L"no response");
    return false;
  }

  const int code = connection->GetStatusCode();
  note.status = code;
  if (offset != 0 && code != 206) {
    // The server sends the whole file again: start it over.
    offset = 0;
    return false;
  }
  if (code >= 300) return false;

  // Only a known total tells a complete transfer from a broken one: a body
  // ended by closing the connection, or a chunked body cut before its
  // closing chunk, ends here exactly like a whole one.
  const int64_t length = connection->GetContentLength();
  const int64_t total = length != 0 ? static_cast<int64_t>(offset) + length : kUnknownTotal;

  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  // The file ends where this attempt writes on: what an earlier attempt
  // left beyond it (a longer body that was started over) is cut, so the
  // file holds exactly the bytes counted, and hashed.
  if (!::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) {
    note.failure = LastErrorAt(L"file not positioned");
    offset = 0;
    return false;
  }

  for (;;) {
    char* buffer = hasher != nullptr ? hasher->NextBuffer() : plainBuffer;
    // A read may return less than the piece (what the transport has at
    // that moment): the piece is filled before it is written.
    uint32_t filled = 0;
    bool readOk = true, ended = false;
    while (filled < kDownloadPiece) {
      uint32_t n = 0;
      if (!connection->ReadSome(buffer + filled, kDownloadPiece - filled, &n)) {
        note.failure = LastErrorAt(L"read failed");
        readOk = false;
        break;
      }
      if (n == 0) {
        ended = true;
        break;
      }
      filled += n;
    }
    if (filled > 0) {
      // What arrived before a failed read is kept: the offset counts every
      // byte written, and the next attempt resumes after it.
      DWORD written = 0;
      if (!::WriteFile(file, buffer, filled, &written, nullptr) || written != filled) {
        note.failure = LastErrorAt(L"write failed");
        return false;
      }
      if (hasher != nullptr) hasher->Hash(filled);
      offset += filled;
      status.Progress(ProgressText(offset, total));
    }
    if (!readOk) return false;
    if (ended) {
      if (total == kUnknownTotal) {
        if (hasher != nullptr) return true;
        note.failure = L"the server sent no length: the file cannot be known complete";
        return false;
      }
      return static_cast<int64_t>(offset) == total;
    }
  }
}

// Whether the file has the pinned hash.
bool HashMatches(const std::wstring& path, const PayloadPin& pin) {
  const auto digest = win::HashFile(path);
  return digest && std::equal(digest->begin(), digest->end(), pin.digest.begin());
}

}  // namespace

ConnectionPtr OpenUrlConnection(const std::string& url) {
  const UrlParts parts = SplitUrl(url);
  ConnectionPtr connection(new WOSHttpSyncedConnection());
  if (!connection->Open(parts.host, parts.port, "GET", parts.path, parts.secure ? 1 : 0)) return nullptr;
  return connection;
}

BOOL LongPathCopy(const std::wstring& source, const std::wstring& destination) {
  return ::CopyFileW(win::LongPath(source).c_str(), win::LongPath(destination).c_str(), FALSE);
}

BOOL CopyFromBesideExecutable(const std::string& name, const std::wstring& destination) {
  auto wideName = Utf8ToWide(name);
  if (!wideName) return FALSE;
  return LongPathCopy(win::ExecutableFolder() + L"\\" + *wideName, destination);
}

int DownloadToFile(Reporter& context, const std::wstring& destination, const std::string& url,
                   const PayloadPin& pin) {
  const std::wstring wideUrl = Utf8ToWide(url).value_or(L"?");
  if (pin.kind == PayloadPin::Kind::kMalformed) {
    // A pin that cannot be checked must not pass as none.
    const std::wstring name = FileNameOf(destination);
    win::Log(L"download " + wideUrl + L" to " + destination + L": not started, the pin \"" + pin.text +
             L"\" is not valid");
    SendAuditTrace("invalid payload pin:" + Narrow(name));
    context.Ask(L"The pin of " + name + L" in this installer is not valid (it must be \"sha256:\" and 64 "
                L"hexadecimal digits), so nothing was downloaded: " + pin.text,
                MB_OK);
    return 0;
  }
  DeleteOldFile(destination);
  if (StartsWithNoCase(url, "file:")) {
    const bool copied = CopyFromBesideExecutable(url.substr(5), destination) != FALSE;
    const std::wstring what = L"copy " + wideUrl + L" to " + destination;
    win::Log(what + (copied ? std::wstring(L": done") : L": " + win::ErrorText(::GetLastError())));
    if (!copied) return 0;
    if (!pin.pinned()) {
      win::Log(what + L": unverified (no pin)");
      return 1;
    }
    const auto digest = win::HashFile(destination);
    return CheckPayload(context, destination, pin, digest, digest ? 0 : static_cast<long>(::GetLastError()), what);
  }
  // An offline layout folder may hold it already. A pinned file counts
  // only when its copy, the bytes that will run, has the pinned hash.
  for (const std::wstring& local : LocalPayloadCandidates(url, pin.pinned())) {
    const std::wstring what = L"payload " + FileNameOf(destination) + L": " + local;
    if (!LongPathCopy(local, destination)) {
      win::Log(what + L" cannot be copied: " + win::ErrorText(::GetLastError()));
      continue;
    }
    if (!pin.pinned()) {
      win::Log(what + L" taken (unverified: no pin)");
      return 1;
    }
    if (HashMatches(destination, pin)) {
      win::Log(what + L" taken (its hash matches the pin): verified " + PinText(pin.digest));
      return 1;
    }
    win::Log(what + L" is not used (its hash does not match the pin)");
    DeleteOldFile(destination);
  }
  const std::wstring what = L"download " + wideUrl + L" to " + destination;
  win::Log(what);

  win::UniqueHandle file(::CreateFileW(win::LongPath(destination).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    SendAuditTrace("faild to create dest file");
    context.Ask(L"Failed to create destination file for .Net:" + std::to_wstring(static_cast<long>(error)), MB_OK);
    return 0;
  }

  // A pinned download's pieces go through the hasher's buffers; an
  // unpinned one needs only the one.
  std::unique_ptr<PieceHasher> hasher;
  std::unique_ptr<char[]> buffer;
  if (pin.pinned()) {
    hasher = std::make_unique<PieceHasher>(kDownloadPiece);
    if (!hasher->ok()) {
      // Nothing could be verified: not worth a byte of the transfer.
      file.reset();
      return CheckPayload(context, destination, pin, std::nullopt, hasher->status(), what);
    }
  } else {
    buffer.reset(new char[kDownloadPiece]);
  }
  uint64_t offset = 0;
  // The row shows the download's progress at a human rate; every write is a
  // round trip to the window's thread. The last text always goes out.
  StatusThrottle status([&context](const std::wstring& text) { context.SetStatus(text); },
                        [] { return static_cast<uint64_t>(::GetTickCount64()); });
  // A server or link away for a while: each further attempt waits twice as
  // long as the one before (1, 2, 4, 8, 16 s by default), so an outage of
  // half a minute is survived and the transfer resumes from what it has.
  uint32_t pause = context.Settings().downloadRetryPauseMs;
  for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
    if (attempt > 0 && pause > 0) {
      ::Sleep(pause);
      pause = pause > UINT32_MAX / 2 ? UINT32_MAX : pause * 2;
    }
    // The hash covers exactly the bytes the file holds: an attempt that
    // started the file over starts the hash over.
    if (hasher && hasher->bytes() != offset) hasher->Restart();
    AttemptNote note;
    const bool complete = DownloadAttempt(status, file.get(), url, offset, buffer.get(), hasher.get(), note);
    status.Flush();
    win::Log(L"download attempt " + std::to_wstring(attempt + 1) + L": HTTP status " + std::to_wstring(note.status) +
             L", " + std::to_wstring(offset) + L" bytes" + (complete ? L", complete" : L"") +
             (note.failure.empty() ? L"" : L", " + note.failure));
    if (!complete) continue;
    if (!hasher) {
      win::Log(what + L": unverified (no pin)");
      return 1;
    }
    const auto digest = hasher->Finish();
    file.reset();  // closed before a mismatch deletes it
    return CheckPayload(context, destination, pin, digest, hasher->status(), what);
  }
  win::Log(L"download failed after " + std::to_wstring(kDownloadAttempts) + L" attempts: " + wideUrl);
  return 0;
}

}  // namespace kestrel
