// Owners of ODBC handles, on the same template as the other handle kinds.
// A connection that is still connected cannot be freed (the driver manager
// refuses with a sequence error and keeps it): disconnect it before its
// owner goes.
#pragma once

#include <windows.h>
#include <sql.h>

#include "win/handle.h"

namespace win {

struct OdbcEnvironmentTraits {
  using type = SQLHENV;
  static type invalid() noexcept { return SQL_NULL_HENV; }
  static bool valid(type h) noexcept { return h != SQL_NULL_HENV; }
  static void close(type h) noexcept { ::SQLFreeHandle(SQL_HANDLE_ENV, h); }
};
using UniqueOdbcEnvironment = Unique<OdbcEnvironmentTraits>;

struct OdbcConnectionTraits {
  using type = SQLHDBC;
  static type invalid() noexcept { return SQL_NULL_HDBC; }
  static bool valid(type h) noexcept { return h != SQL_NULL_HDBC; }
  static void close(type h) noexcept { ::SQLFreeHandle(SQL_HANDLE_DBC, h); }
};
using UniqueOdbcConnection = Unique<OdbcConnectionTraits>;

}  // namespace win
