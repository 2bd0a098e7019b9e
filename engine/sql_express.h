// INSTALLSQL: the private SQL Server Express instance MARROWFIELD of the
// all-in-one installation, installed by its own silent setup.
#pragma once

#include <windows.h>

#include <string>

#include "engine/task_context.h"

namespace kestrel {

// The Windows service of the product's named instance.
inline constexpr wchar_t kSqlInstanceService[] = L"MSSQL$MARROWFIELD";

// Nothing to do when the instance exists; otherwise downloads the package
// that suits this Windows, extracts it and runs its setup with the service
// account and administrators group named in several languages, until one
// run ends within its budget. Succeeds when the instance's service exists
// afterwards.
int InstallSqlExpress(TaskContext& ctx);

// True when the service of the named instance exists. A default instance
// (MSSQLSERVER) does not count: the product uses its own instance only.
bool IsSqlInstancePresent();

// "<domain>\<account>" of a well-known SID of this machine, as this
// Windows names it in its own language. On return capacity holds the
// length of that name; it is copied (with its terminator) only when the
// length is smaller than the capacity that came in.
bool GetWellKnownAccountName(WELL_KNOWN_SID_TYPE type, wchar_t* name, DWORD& capacity);

}  // namespace kestrel
