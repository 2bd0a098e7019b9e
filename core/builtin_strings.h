// Numbered built-in strings. Each number can be overridden by a resource of
// type BRANDING with the same number (UTF-16LE text carrying its own
// terminator), so a partner build only adds BRANDING entries.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "core/payload_pin.h"
#include "res/resource_ids.h"

namespace kestrel {

// Longest BRANDING entry, terminator included, and longest string table
// text. Anything longer counts as absent.
inline constexpr size_t kMaxBrandingBytes = 8192;
inline constexpr size_t kMaxStringTableChars = 4095;
// Longest download link in UTF-8, without its terminator.
inline constexpr size_t kMaxLinkBytes = 779;
// Largest licence text, in bytes of UTF-16 with its terminator.
inline constexpr size_t kMaxLicenceBytes = 2 * 1024 * 1024;

// The text for a number from the executable; empty when neither source has
// it.
std::wstring LoadBuiltInString(UINT number);

// The same lookup in another module (a stamped copy loaded as data).
std::wstring LoadBuiltInStringFrom(HMODULE module, UINT number);

// The text in UTF-8 for download links; nullopt when it is empty or does
// not fit a link (kMaxLinkBytes).
std::optional<std::string> LoadBuiltInStringUtf8(UINT number);
std::optional<std::string> LoadBuiltInStringUtf8From(HMODULE module, UINT number);

// The pin of a download link (its own string, see PinNumberOfLink), parsed;
// no pin for a number that is no download link.
PayloadPin LoadLinkPin(UINT linkNumber);
PayloadPin LoadLinkPinFrom(HMODULE module, UINT linkNumber);

// The licence as UTF-16 text: BRANDING 144 byte for byte, else the EULA
// resource 144 (8-bit RTF) converted from UTF-8. Empty when there is none.
std::wstring LoadLicenceText();
std::wstring LoadLicenceTextFrom(HMODULE module);

}  // namespace kestrel
