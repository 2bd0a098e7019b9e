// What Windows this is: the OS flags and the one-line system description.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/os_classify.h"

namespace kestrel {

// The version as Windows reports it to this process (GetVersionExW): from
// Windows 8.1 on, 6.2 for a program whose manifest names no later system.
// The installer's OS classes come from it.
OsVersionData QueryOsVersion();

// The system's real version (RtlGetVersion), for decisions that depend on
// what the system really offers, such as its TLS defaults.
OsVersionData QueryRealOsVersion();

// Classifies the Windows version that source reports (the run settings'
// osVersion; tests feed systems the test machine cannot be) into the g_is*
// flags; 0 when classified, 1001 / 1002 / 1003 otherwise (see
// OsCheckResult). An empty source is the real query.
int32_t CheckOsVersion(const std::function<OsVersionData()>& source = QueryOsVersion);

// "<ProductName> (<BuildLabEx>)" from the registry as UTF-8, missing parts
// empty.
std::string ReadOsDescription();

}  // namespace kestrel
