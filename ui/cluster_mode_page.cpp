#include "ui/cluster_mode_page.h"

#include <prsht.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

#include "core/installer_state.h"
#include "engine/sql_express.h"
#include "net/audit_trace.h"
#include "res/resource_ids.h"
#include "ui/odbc_connection_string.h"
#include "win/message_box.h"
#include "win/odbc_handle.h"

namespace kestrel {
namespace {

// How long the test connection may take to log in, in seconds.
constexpr SQLULEN kLoginTimeoutSeconds = 30;
// Room for the completed connection string the driver hands back; nothing
// reads it.
constexpr SQLSMALLINT kCompletedStringChars = 1024;

bool OdbcSucceeded(SQLRETURN result) { return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO; }

}  // namespace

ClusterMode::ClusterMode(CVantPropertySheet& owner) : CVantPropertyPage(IDD_CLUSTER_MODE_PAGE, owner) {
  SetupRecord(L"Choose Installation Type");
}

BOOL ClusterMode::OnInitDialog() {
  ShowWizardTitle();
  FieldsToControls();
  ::CheckDlgButton(hwnd(), IDC_DB_ALL_IN_ONE, BST_CHECKED);
  allInOne = 1;

  // Any failure to ask the service control manager counts as no instance.
  if (!IsSqlInstancePresent()) {
    SendAuditTrace("ClusterMode:no existing sql server");
    // From now on an instance of that name is the one this installer puts
    // there, whatever the user chooses next.
    WriteInstallerInt(kValueDbInstallState, 1);
    return TRUE;
  }
  if (ReadInstallerInt(kValueDbInstallState) == 1) {
    SendAuditTrace("ClusterMode:sql server installed");
    return TRUE;
  }
  // An instance of our name that this installer did not put there: the
  // all-in-one installation would collide with it.
  SendAuditTrace("ClusterMode:existing server");
  ForceExistingServer();
  return TRUE;
}

void ClusterMode::ForceExistingServer() {
  ::CheckDlgButton(hwnd(), IDC_DB_ALL_IN_ONE, BST_UNCHECKED);
  allInOne = 0;
  ::CheckDlgButton(hwnd(), IDC_DB_EXISTING, BST_CHECKED);
  ::EnableWindow(Item(IDC_DB_ALL_IN_ONE), FALSE);
  if (!choiceFont_) {
    choiceFont_.reset(::CreateFontW(18, 0, 0, 0, 100, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial"));
  }
  for (int id : {IDC_DB_ALL_IN_ONE, IDC_DB_EXISTING})
    ::SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(choiceFont_.get()), TRUE);
}

BOOL ClusterMode::OnSetActive() {
  PostWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CVantPropertyPage::OnSetActive();
}

void ClusterMode::FieldsToControls() const {
  SetItemText(IDC_DB_SERVER, dbServer);
  SetItemText(IDC_DB_USER, dbUser);
  SetItemText(IDC_DB_PASSWORD, dbPassword);
  SetItemText(IDC_DB_NAME, dbName);
}

void ClusterMode::ControlsToFields() {
  dbServer = ItemText(IDC_DB_SERVER);
  dbUser = ItemText(IDC_DB_USER);
  dbPassword = ItemText(IDC_DB_PASSWORD);
  dbName = ItemText(IDC_DB_NAME);
}

LRESULT ClusterMode::OnWizardNext() {
  ControlsToFields();
  const bool allInOneChecked = ::IsDlgButtonChecked(hwnd(), IDC_DB_ALL_IN_ONE) == BST_CHECKED;
  if (!allInOneChecked && ::IsDlgButtonChecked(hwnd(), IDC_DB_EXISTING) != BST_CHECKED) {
    win::ShowMessage(L"Please select installation type", MB_OK);
    return -1;
  }
  allInOne = allInOneChecked ? 1 : 0;

  // The first check that applies gives the message; the database name is
  // the configuration tool's business and is not checked.
  const wchar_t* refusal = nullptr;
  if (allInOne) {
    if (!dbServer.empty())
      refusal = L"You supplied database server field. However, the All-in-one installation option is also selected.";
    else if (!dbUser.empty())
      refusal = L"You supplied database user field. However, the All-in-one installation option is also selected.";
    else if (!dbPassword.empty())
      refusal = L"You supplied database password field. However, the All-in-one installation option is also selected.";
  } else {
    if (dbServer.empty())
      refusal = L"Database server is missing.";
    else if (dbUser.empty())
      refusal = L"Database user is missing.";
    else if (dbPassword.empty())
      refusal = L"Database password is missing.";
    else if (dbPassword.find_first_of(L";\"") != std::wstring::npos)
      refusal = L"Database password can not contain ';', '\"'.";
  }
  if (refusal != nullptr) {
    win::ShowMessage(refusal, MB_OK);
    return -1;
  }
  if (!allInOne && !TestDatabaseConnection()) return -1;
  return 0;
}

int ClusterMode::TestDatabaseConnection() {
  win::UniqueOdbcEnvironment environment;
  if (!OdbcSucceeded(::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, environment.put()))) {
    environment.release();  // a failed allocation hands back nothing to free
    win::ShowMessage(L"Failed to initailize db", MB_OK);
    return 0;
  }
  if (!OdbcSucceeded(::SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0))) {
    win::ShowMessage(L"Failed to initailize DB env", MB_OK);
    SendAuditTrace("ClusterMode:failed to intit db env");
    return 0;
  }
  win::UniqueOdbcConnection connection;
  if (!OdbcSucceeded(::SQLAllocHandle(SQL_HANDLE_DBC, environment.get(), connection.put()))) {
    connection.release();
    win::ShowMessage(L"Failed to initailize DB handle", MB_OK);
    SendAuditTrace("ClusterMode:failed to intit db handle");
    return 0;
  }
  // The result does not matter: a driver without the attribute still
  // connects, only without the limit.
  (void)::SQLSetConnectAttrW(connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                             reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);

  std::wstring connectionString = TestConnectionString(dbServer, dbUser, dbPassword);
  SQLWCHAR completed[kCompletedStringChars] = {};
  const SQLRETURN connected =
      ::SQLDriverConnectW(connection.get(), nullptr, reinterpret_cast<SQLWCHAR*>(connectionString.data()), SQL_NTS,
                          completed, kCompletedStringChars, nullptr, SQL_DRIVER_NOPROMPT);
  if (!OdbcSucceeded(connected)) {
    win::ShowMessage(L"Failed to verify DB connection", MB_OK);
    char trace[64];
    std::snprintf(trace, sizeof trace, "ClusterMode:failed to test db:%d", static_cast<int>(connected));
    SendAuditTrace(trace);
    return 0;
  }
  // Only the proof was wanted: a connected handle cannot be freed.
  ::SQLDisconnect(connection.get());
  return 1;
}

}  // namespace kestrel
