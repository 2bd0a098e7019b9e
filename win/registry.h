// Registry access in the 32-bit view. The shipped program is 32-bit, so on
// 64-bit Windows its data lives under WOW6432Node; the x86_64 test build
// asks for the same view so both builds see the same values.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "win/handle.h"

namespace win {

constexpr REGSAM kView32 = KEY_WOW64_32KEY;

// Opens an existing key; null when it does not exist or access is refused.
UniqueHkey OpenKey(HKEY root, const std::wstring& path, REGSAM access = KEY_READ);

// Creates the key if needed and opens it for writing.
UniqueHkey CreateKey(HKEY root, const std::wstring& path, REGSAM access = KEY_READ | KEY_WRITE);

// REG_SZ with its terminating zero counted in the data size.
bool SetString(HKEY key, const wchar_t* name, const std::wstring& text);

// Raw bytes under a chosen type (the installer's integers are REG_SZ
// holding four little-endian bytes).
bool SetRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size);

bool SetDword(HKEY key, const wchar_t* name, DWORD value);

// Reads a value's bytes whatever its type. Fails (nullopt) when the value
// is missing or larger than maxBytes.
std::optional<std::wstring> QueryBytes(HKEY key, const wchar_t* name, DWORD maxBytes, DWORD* type = nullptr);

// Reads a text value up to the first zero; nullopt when missing or longer
// than maxChars characters.
std::optional<std::wstring> QueryText(HKEY key, const wchar_t* name, size_t maxChars);

// Reads exactly four bytes into an integer that starts at 0, whatever the
// stored type; a value larger than four bytes or missing leaves 0.
int32_t QueryInt32(HKEY key, const wchar_t* name);

}  // namespace win
