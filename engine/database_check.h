// The database choice as the database page checks it, shared by the page
// and the unattended run: the installer's own SQL Server instance, the
// rules for the typed texts and the test connection to an existing server.
#pragma once

#include <functional>
#include <string>

#include "engine/task_context.h"

namespace kestrel {

enum class OwnSqlInstance {
  kNone,     // no instance of our name: DBInstallState = 1 is recorded
  kOurs,     // the instance this installer put there (DBInstallState 1)
  kForeign,  // an instance of our name that is not ours: only an existing
             // server can be chosen
};

// Looks for the installer's own instance and sends the page's trace
// ("ClusterMode:no existing sql server", "ClusterMode:sql server
// installed" or "ClusterMode:existing server").
OwnSqlInstance InspectOwnSqlInstance();

// The page's message for a choice it refuses; null when the texts fit the
// choice. The test connection is not part of it.
const wchar_t* DatabaseChoiceRefusal(const DatabaseChoice& choice);

// Connects to the existing server over ODBC with the choice's server, user
// and password; 1 when it succeeded, else 0 after telling the reason
// through tell and sending its trace.
int TestDatabaseConnection(const DatabaseChoice& choice, const std::function<void(const std::wstring&)>& tell);

// Keeps a password out of the log in every form it takes on its way: as
// given, quoted for the configuration tool's command line, and as an ODBC
// attribute value.
void AddPasswordToLogSecrets(const std::wstring& password);

}  // namespace kestrel
