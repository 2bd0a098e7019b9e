#include "engine/database_check.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>

#include "core/installer_state.h"
#include "engine/config_command_line.h"
#include "engine/odbc_connection_string.h"
#include "engine/sql_express.h"
#include "net/audit_trace.h"
#include "win/odbc_handle.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

// How long the test connection may take to log in, in seconds.
constexpr SQLULEN kLoginTimeoutSeconds = 30;
// Room for the completed connection string the driver hands back; nothing
// reads it.
constexpr SQLSMALLINT kCompletedStringChars = 1024;

bool OdbcSucceeded(SQLRETURN result) { return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO; }

}  // namespace

OwnSqlInstance InspectOwnSqlInstance() {
  // Any failure to ask the service control manager counts as no instance.
  if (!IsSqlInstancePresent()) {
    SendAuditTrace("ClusterMode:no existing sql server");
    // From now on an instance of that name is the one this installer puts
    // there, whatever is chosen next.
    WriteInstallerInt(kValueDbInstallState, 1);
    return OwnSqlInstance::kNone;
  }
  if (ReadInstallerInt(kValueDbInstallState) == 1) {
    SendAuditTrace("ClusterMode:sql server installed");
    return OwnSqlInstance::kOurs;
  }
  // An instance of our name that this installer did not put there: the
  // all-in-one installation would collide with it.
  SendAuditTrace("ClusterMode:existing server");
  return OwnSqlInstance::kForeign;
}

const wchar_t* DatabaseChoiceRefusal(const DatabaseChoice& choice) {
  // The first check that applies gives the message; the database name is
  // the configuration tool's business and is not checked.
  if (choice.allInOne) {
    if (!choice.server.empty())
      return L"You supplied database server field. However, the All-in-one installation option is also selected.";
    if (!choice.user.empty())
      return L"You supplied database user field. However, the All-in-one installation option is also selected.";
    if (!choice.password.empty())
      return L"You supplied database password field. However, the All-in-one installation option is also selected.";
    return nullptr;
  }
  if (choice.server.empty()) return L"Database server is missing.";
  if (choice.user.empty()) return L"Database user is missing.";
  if (choice.password.empty()) return L"Database password is missing.";
  if (choice.password.find_first_of(L";\"") != std::wstring::npos) return L"Database password can not contain ';', '\"'.";
  return nullptr;
}

int TestDatabaseConnection(const DatabaseChoice& choice, const std::function<void(const std::wstring&)>& tell) {
  win::UniqueOdbcEnvironment environment;
  if (!OdbcSucceeded(::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, environment.put()))) {
    environment.release();  // a failed allocation hands back nothing to free
    tell(L"Failed to initailize db");
    return 0;
  }
  if (!OdbcSucceeded(::SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0))) {
    tell(L"Failed to initailize DB env");
    SendAuditTrace("ClusterMode:failed to intit db env");
    return 0;
  }
  win::UniqueOdbcConnection connection;
  if (!OdbcSucceeded(::SQLAllocHandle(SQL_HANDLE_DBC, environment.get(), connection.put()))) {
    connection.release();
    tell(L"Failed to initailize DB handle");
    SendAuditTrace("ClusterMode:failed to intit db handle");
    return 0;
  }
  // The result does not matter: a driver without the attribute still
  // connects, only without the limit.
  (void)::SQLSetConnectAttrW(connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                             reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);

  std::wstring connectionString = TestConnectionString(choice.server, choice.user, choice.password);
  SQLWCHAR completed[kCompletedStringChars] = {};
  const SQLRETURN connected =
      ::SQLDriverConnectW(connection.get(), nullptr, reinterpret_cast<SQLWCHAR*>(connectionString.data()), SQL_NTS,
                          completed, kCompletedStringChars, nullptr, SQL_DRIVER_NOPROMPT);
  if (!OdbcSucceeded(connected)) {
    tell(L"Failed to verify DB connection");
    char trace[64];
    std::snprintf(trace, sizeof trace, "ClusterMode:failed to test db:%d", static_cast<int>(connected));
    SendAuditTrace(trace);
    return 0;
  }
  // Only the proof was wanted: a connected handle cannot be freed.
  ::SQLDisconnect(connection.get());
  return 1;
}

void AddPasswordToLogSecrets(const std::wstring& password) {
  if (password.empty()) return;
  win::AddLogSecret(password);
  std::wstring quoted = QuoteArgument(password);
  win::AddLogSecret(quoted.substr(1, quoted.size() - 2));
  win::AddLogSecret(OdbcAttributeValue(password));
}

}  // namespace kestrel
