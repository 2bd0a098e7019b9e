// The run's log: one file for every run, interactive or not, that a fleet
// tool collects afterwards. UTF-8 with a byte-order mark, CRLF line ends,
// one line per event: local time (ISO 8601 with milliseconds), the thread,
// the event. Each line goes to the file as it happens, so a killed run
// leaves its log up to its last event; a write that fails is dropped and
// never fails the run. Any thread may log.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace win {

// Opens path as the log, emptying a file already there. False when it
// cannot be created: the run goes on without a log.
bool OpenRunLog(const std::wstring& path);

// Opens "<folder>\<prefix>_YYYYMMDD_HHMMSS.log" (local time), or with "_2",
// "_3"... before ".log" when a run of the same second took the name.
// Returns the path opened; empty when none could be created.
std::wstring OpenRunLogIn(const std::wstring& folder, const std::wstring& prefix);

// The path of the open log; empty when none is open.
std::wstring RunLogPath();

// Writes one event. Nothing happens without an open log. Line breaks in
// the text are kept within the one event as " | ".
void Log(std::wstring_view text);
void LogUtf8(std::string_view text);

// A text that must never reach the log in any form (a password): from now
// on each of its occurrences in an event is written as "*****". Empty
// texts are ignored.
void AddLogSecret(std::wstring_view secret);

// Replaces each occurrence of each secret in text with "*****" (longest
// secret first, so one secret inside another leaves nothing behind).
std::wstring MaskSecrets(std::wstring text);

// "error 5 (Access is denied.)": the Win32 error with the system's text.
std::wstring ErrorText(DWORD error);

}  // namespace win
