// What Windows this is: the OS flags and the one-line system description.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/os_classify.h"

namespace kestrel {

// The version as Windows reports it to this process (GetVersionExW).
OsVersionData QueryOsVersion();

// Where CheckOsVersion takes the version from. Tests feed systems that the
// test machine cannot be (Windows Server 2012, say); an empty function
// restores the real query.
void SetOsVersionSource(std::function<OsVersionData()> source);

// Classifies the running Windows into the g_is* flags; 0 when classified,
// 1001 / 1002 / 1003 otherwise (see OsCheckResult).
int32_t CheckOsVersion();

// "<ProductName> (<BuildLabEx>)" from the registry, missing parts empty.
std::string ReadOsDescription();

}  // namespace kestrel
