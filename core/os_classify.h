// Classification of the Windows version into the installer's OS classes.
#pragma once

#include <cstdint>

namespace kestrel {

// What the version query reported. productType 1 is a workstation
// (VER_NT_WORKSTATION); domain controllers (2) and servers (3) are not.
struct OsVersionData {
  bool queryOk = true;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t servicePackMajor = 0;
  uint8_t productType = 1;
};

struct OsFlags {
  int isServer2008 = 0;
  int isWin7 = 0;
  int isServer2008R2 = 0;
  int isServer2012Plus = 0;
  int isClient8Plus = 0;
};

enum OsCheckResult : int32_t {
  kOsClassified = 0,
  kOsQueryFailed = 1001,
  kOsTooOld = 1002,
  kOsVistaBeforeSp2 = 1003,
};

// Sets at most one flag to 1 (never clears one) and returns the result code.
int32_t ClassifyOsVersion(const OsVersionData& version, OsFlags& flags);

// True for the systems whose WinHTTP offers only SSL 3 and TLS 1.0 unless
// a session asks for TLS 1.1 and 1.2: 6.0 to 6.2 (Vista, Server 2008, 7,
// Server 2008 R2, 8, Server 2012), and a version that could not be read.
// Later systems keep their own defaults, which bring TLS 1.3 where the
// system has it and leave TLS 1.0 off where an administrator turned it
// off. version is the system's real version: the reported one stops at 6.2
// for a program whose manifest names no later system.
bool NeedsExplicitTlsProtocols(const OsVersionData& version);

}  // namespace kestrel
