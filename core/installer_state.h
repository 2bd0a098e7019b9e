// The installer's own registry key and its values, in the 32-bit view:
// HKLM\SOFTWARE\Vantoris\Enterprise. Every failure is silent: a failed
// read counts as an absent value, a failed write keeps the old one.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

inline constexpr wchar_t kInstallerKeyPath[] = L"SOFTWARE\\Vantoris\\Enterprise";

inline constexpr wchar_t kValueInstallState[] = L"InstallState";
inline constexpr wchar_t kValueDbInstallState[] = L"DBInstallState";
inline constexpr wchar_t kValueLastInstallPath[] = L"LastInstallPath";
inline constexpr wchar_t kValueInstallDir[] = L"InstallDir";
inline constexpr wchar_t kValuePartnerId[] = L"PartnerId";
inline constexpr wchar_t kValueDbServer[] = L"DBServer";

// Longest text the stored paths and DBServer may hold (a 260-character
// buffer with its terminator). Longer values count as absent.
inline constexpr size_t kMaxStoredPathChars = 259;

// InstallState values.
enum InstallStateValue : int32_t {
  kInstallStateIdle = 0,
  kInstallStateNeedsUpgrade = 1,
  kInstallStateRunning = 2,
};

// Creates or opens the key and stores text as REG_SZ.
bool WriteInstallerValue(const wchar_t* name, const std::wstring& text);

// LastInstallPath: true only when present, not empty and not too long.
// out is emptied first.
bool ReadLastInstallPath(std::wstring& out);

// True when DBServer can be read (its content does not matter).
bool ReadDbServer();

// The installer's integers: REG_SZ holding four little-endian bytes.
void WriteInstallerInt(const wchar_t* name, int32_t value);
// Four bytes whatever the stored type; 0 when missing.
int32_t ReadInstallerInt(const wchar_t* name);

inline void WriteInstallState(int32_t value) { WriteInstallerInt(kValueInstallState, value); }
inline int32_t ReadInstallState() { return ReadInstallerInt(kValueInstallState); }

}  // namespace kestrel
