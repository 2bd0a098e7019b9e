// The database choice page of the real executable: how it opens with and
// without the installer's own SQL Server instance, its checks in order,
// and the test connection through the real ODBC stack of Wine, which hands
// the calls to unixODBC on the Linux side.
//
// The driver named "SQL Server" comes from an odbcinst.ini that each test
// writes into the folder ODBCSYSINI names. unixODBC reads that variable
// with getenv() on the Linux side of the process that loaded odbc32, and
// Wine starts a new process's Linux side with the Linux environment of the
// process that called CreateProcessW: an entry added to the Windows
// environment block (Launch's extra environment) never gets there (only
// WINEDEBUG is taken from the block). So ctest gives the variable to this
// test program (see CMakeLists.txt), the installer inherits it, and the
// tests change the file, not the variable.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/installer_state.h"
#include "engine/sql_express.h"
#include "res/resource_ids.h"
#include "support/net_fixtures.h"
#include "support/process_fixtures.h"
#include "support/test_support.h"

namespace {

using namespace kestrel;

const std::wstring kWizardCaption = L"Marrowfield Installation";
const std::wstring kPageTitle = L"Choose Installation Type";
const std::wstring kServiceName = kestrel::kSqlInstanceService;
// The folder ODBCSYSINI names.
const std::wstring kOdbcDir = KESTREL_ODBC_DIR;
constexpr char kTracePath[] = "/namespace/n.svc/partneraudittrace";

// The Debian ODBC drivers (libsqliteodbc, tdsodbc).
constexpr char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr char kFreeTdsDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";


class DatabasePage : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kt::TestService::Remove(kServiceName));
    folder_ = kt::ScratchFolder(L"dbpage");
    server_ = std::make_unique<kt::TestServer>(folder_ + L"\\audit", /*https=*/true);
    ASSERT_TRUE(server_->ok());
    exe_ = kt::CopyInstaller(folder_, L"KestrelDb.exe");
    ASSERT_FALSE(exe_.empty());
    // Traces go to the local server through the real override path.
    ASSERT_TRUE(kt::Stamp(exe_, L"--string 146=" + kt::Widen(server_->HttpsUrl(kTracePath))));
    kt::SetWineVersionFor(L"KestrelDb.exe", L"win10");
  }
  void TearDown() override {
    if (process_.running() && wizard_ != nullptr) kt::PressButton(wizard_, IDCANCEL);
    process_.Wait(nullptr);
    kt::ClearWineVersionFor(L"KestrelDb.exe");
    server_.reset();
    kt::RemoveTree(folder_);
  }

  // Registers "SQL Server" as the given Linux driver in the odbcinst.ini
  // the installer will read, with the driver manager's trace written
  // beside it.
  void UseDriver(const std::string& driver) {
    wchar_t unixDir[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"ODBCSYSINI", unixDir, MAX_PATH), 0u)
        << "ODBCSYSINI must name the test's ODBC folder (ctest sets it)";
    ASSERT_EQ(std::wstring(unixDir), kt::Widen(kt::UnixPath(kOdbcDir)));
    ASSERT_TRUE(kt::CreateFolders(kOdbcDir));
    ASSERT_TRUE(kt::Exists(L"Z:" + kt::Widen(driver))) << driver << " is missing (Debian libsqliteodbc / tdsodbc)";
    odbcTrace_ = kOdbcDir + L"\\odbc-trace.log";
    ::DeleteFileW(odbcTrace_.c_str());
    ASSERT_TRUE(kt::WriteFileBytes(kOdbcDir + L"\\odbcinst.ini",
                                   "[ODBC]\nTrace=Yes\nTraceFile=" + kt::UnixPath(odbcTrace_) +
                                       "\n\n[SQL Server]\nDescription=test driver\nDriver=" + driver + "\n"));
  }

  // Starts the installer and walks it to the database page.
  HWND StartAtPage() {
    process_ = kt::Launch(exe_, L"/runas");
    wizard_ = kt::WaitForWindow(kWizardCaption, process_.pid());
    if (wizard_ == nullptr) return nullptr;
    HWND next = kt::FindControl(wizard_, ID_WIZNEXT);
    auto press = [&](const std::wstring& from, const std::wstring& to) {
      if (!kt::WaitForStage(wizard_, from) || !kt::WaitUntil([&] { return kt::IsEnabled(next); })) return false;
      kt::PressButton(wizard_, ID_WIZNEXT);
      return kt::WaitForStage(wizard_, to);
    };
    if (!press(L"Welcome", L"License Agreement")) return nullptr;
    kt::SetChecked(kt::FindControl(kt::CurrentPage(wizard_), IDC_EULA_AGREE), true);
    if (!press(L"License Agreement", kPageTitle)) return nullptr;
    page_ = kt::CurrentPage(wizard_);
    return page_;
  }

  HWND Control(int id) const { return kt::FindControl(page_, id); }
  // An edit's text: WM_GETTEXT, since GetWindowTextW does not ask a
  // window of another process.
  std::wstring EditText(int id) const {
    wchar_t text[512] = {};
    ::SendMessageW(Control(id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
  }
  bool Checked(int id) const { return ::SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SetText(int id, const std::wstring& text) const {
    ::SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  // Sets both choice buttons as a test case wants them (radio buttons do
  // not clear each other when set by message).
  void Choose(bool allInOne, bool existing) const {
    kt::SetChecked(Control(IDC_DB_ALL_IN_ONE), allInOne);
    kt::SetChecked(Control(IDC_DB_EXISTING), existing);
  }
  void Fill(const std::wstring& server, const std::wstring& name, const std::wstring& user,
            const std::wstring& password) const {
    SetText(IDC_DB_SERVER, server);
    SetText(IDC_DB_NAME, name);
    SetText(IDC_DB_USER, user);
    SetText(IDC_DB_PASSWORD, password);
  }

  // Presses Next and answers the message it brings; returns its text (or
  // "<no message>"). The page must still be there afterwards.
  std::wstring NextRefused() {
    kt::PressButton(wizard_, ID_WIZNEXT);
    HWND box = kt::WaitForMessageBox(L"KestrelDb", process_.pid());
    if (box == nullptr) return L"<no message>";
    const std::wstring text = kt::MessageBoxText(box);
    kt::PressButton(box, IDOK);
    EXPECT_TRUE(kt::WaitUntil([&] { return !::IsWindow(box); }));
    EXPECT_EQ(kt::StageTitle(wizard_), kPageTitle) << "after " << testing::PrintToString(text);
    EXPECT_EQ(kt::CurrentPage(wizard_), page_);
    return text;
  }

  // The audit traces of this page that the local service received, in
  // order.
  std::vector<std::string> PageTraces() const {
    std::vector<std::string> traces;
    for (const auto& trace : server_->ReceivedTraces())
      if (trace.rfind("ClusterMode:", 0) == 0) traces.push_back(trace);
    return traces;
  }

  bool WaitForTraces(const std::vector<std::string>& expected) const {
    return kt::WaitUntil([&] { return PageTraces().size() >= expected.size(); }) && PageTraces() == expected;
  }

  std::vector<std::wstring> CommitTaskKeys() const {
    HWND list = kt::FindControl(kt::CurrentPage(wizard_), IDC_TASK_LIST);
    std::vector<std::wstring> keys;
    for (int r = 0; r < kt::ListRowCount(list); ++r) keys.push_back(kt::ListCellText(list, r, 0));
    return keys;
  }

  kt::InstallerKeyScope registry_;
  std::wstring folder_, exe_, odbcTrace_;
  std::unique_ptr<kt::TestServer> server_;
  kt::Process process_;
  HWND wizard_ = nullptr, page_ = nullptr;
};

// The ODBC functions the driver manager's trace shows entered, in order:
// a record starts "[ODBC][pid][time][SQLxxx.c][line]" and its next line
// says "Entry:" or "Exit:...".
std::vector<std::string> OdbcCalls(const std::string& trace) {
  std::vector<std::string> calls;
  size_t line = 0;
  while (line < trace.size()) {
    size_t end = trace.find('\n', line);
    if (end == std::string::npos) end = trace.size();
    const std::string text = trace.substr(line, end - line);
    const size_t file = text.find("][SQL");
    const size_t dot = text.find(".c][");
    if (text.rfind("[ODBC]", 0) == 0 && file != std::string::npos && dot != std::string::npos && dot > file &&
        trace.compare(end + 1, 8, "\t\tEntry:") == 0)
      calls.push_back(text.substr(file + 2, dot - file - 2));
    line = end + 1;
  }
  return calls;
}

std::string Printable(const std::vector<std::string>& v) { return testing::PrintToString(v); }

TEST_F(DatabasePage, OpensAccordingToTheInstanceAndTheStoredState) {
  enum class Stored { kMissing, kOne, kZero, kDwordOne, kTextOne };
  struct Case {
    const char* name;
    bool instance;
    Stored stored;
    bool allInOne;
    const char* trace;
    std::vector<unsigned char> storedAfter;  // empty: missing
  } const cases[] = {
      {"no instance, nothing stored", false, Stored::kMissing, true, "ClusterMode:no existing sql server", {1, 0, 0, 0}},
      {"no instance, 0 stored", false, Stored::kZero, true, "ClusterMode:no existing sql server", {1, 0, 0, 0}},
      {"our instance", true, Stored::kOne, true, "ClusterMode:sql server installed", {1, 0, 0, 0}},
      // The four bytes count whatever their type.
      {"our instance, stored as a DWORD", true, Stored::kDwordOne, true, "ClusterMode:sql server installed",
       {1, 0, 0, 0}},
      {"someone else's instance", true, Stored::kMissing, false, "ClusterMode:existing server", {}},
      {"someone else's instance, 0 stored", true, Stored::kZero, false, "ClusterMode:existing server", {0, 0, 0, 0}},
      // The text "1" is not the number 1.
      {"someone else's instance, text 1", true, Stored::kTextOne, false, "ClusterMode:existing server",
       {'1', 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kt::DeleteInstallerKey();
    const DWORD one = 1;
    switch (c.stored) {
      case Stored::kMissing: break;
      case Stored::kOne: kt::SetInstallerInt(kValueDbInstallState, 1); break;
      case Stored::kZero: kt::SetInstallerInt(kValueDbInstallState, 0); break;
      case Stored::kDwordOne: kt::SetInstallerValue(kValueDbInstallState, REG_DWORD, &one, sizeof one); break;
      case Stored::kTextOne: kt::SetInstallerText(kValueDbInstallState, L"1"); break;
    }
    std::unique_ptr<kt::TestService> service;
    if (c.instance) {
      service = std::make_unique<kt::TestService>(kServiceName, L"");
      ASSERT_TRUE(service->created());
    }
    const size_t before = PageTraces().size();
    ASSERT_NE(StartAtPage(), nullptr);

    EXPECT_EQ(Checked(IDC_DB_ALL_IN_ONE), c.allInOne);
    EXPECT_EQ(Checked(IDC_DB_EXISTING), !c.allInOne);
    EXPECT_EQ(kt::IsEnabled(Control(IDC_DB_ALL_IN_ONE)), c.allInOne);
    EXPECT_TRUE(kt::IsEnabled(Control(IDC_DB_EXISTING)));
    for (int id : {IDC_DB_SERVER, IDC_DB_NAME, IDC_DB_USER, IDC_DB_PASSWORD})
      EXPECT_TRUE(kt::IsEnabled(Control(id))) << id;
    EXPECT_EQ(EditText(IDC_DB_NAME), L"user");
    for (int id : {IDC_DB_SERVER, IDC_DB_USER, IDC_DB_PASSWORD}) EXPECT_EQ(EditText(id), L"") << id;
    EXPECT_NE(::GetWindowLongW(Control(IDC_DB_PASSWORD), GWL_STYLE) & ES_PASSWORD, 0);
    EXPECT_EQ(kt::WindowText(wizard_), kWizardCaption);

    ASSERT_TRUE(kt::WaitUntil([&] { return PageTraces().size() > before; }));
    const std::vector<std::string> traces = PageTraces();
    EXPECT_EQ(std::vector<std::string>(traces.begin() + static_cast<std::ptrdiff_t>(before), traces.end()),
              std::vector<std::string>{c.trace});
    DWORD type = 0;
    EXPECT_EQ(kt::InstallerValueBytes(kValueDbInstallState, &type), c.storedAfter);
    if (c.stored != Stored::kDwordOne && !c.storedAfter.empty()) {
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    }
    // The forced choice is what Next checks.
    if (!c.allInOne) {
      EXPECT_EQ(NextRefused(), L"Database server is missing.");
    }

    kt::PressButton(wizard_, IDCANCEL);
    DWORD code = 1;
    ASSERT_TRUE(process_.Wait(&code));
    EXPECT_EQ(code, 1602u);
  }
}

TEST_F(DatabasePage, EachCheckInItsOrder) {
  ASSERT_NE(StartAtPage(), nullptr);
  struct Case {
    bool allInOne, existing;
    const wchar_t *server, *name, *user, *password;
    const wchar_t* message;
  } const cases[] = {
      {false, false, L"", L"user", L"", L"", L"Please select installation type"},
      {false, false, L"db", L"user", L"sa", L"pw", L"Please select installation type"},
      {true, false, L"db", L"user", L"sa", L"pw",
       L"You supplied database server field. However, the All-in-one installation option is also selected."},
      {true, false, L"db", L"", L"", L"",
       L"You supplied database server field. However, the All-in-one installation option is also selected."},
      {true, false, L"", L"user", L"sa", L"pw",
       L"You supplied database user field. However, the All-in-one installation option is also selected."},
      {true, false, L"", L"user", L"", L"pw",
       L"You supplied database password field. However, the All-in-one installation option is also selected."},
      {false, true, L"", L"user", L"", L"", L"Database server is missing."},
      {false, true, L"", L"user", L"sa", L"pw", L"Database server is missing."},
      {false, true, L"db", L"user", L"", L"p;w", L"Database user is missing."},
      {false, true, L"db", L"user", L"sa", L"", L"Database password is missing."},
      {false, true, L"db", L"user", L"sa", L"a;b", L"Database password can not contain ';', '\"'."},
      {false, true, L"db", L"user", L"sa", L"a\"b", L"Database password can not contain ';', '\"'."},
      {false, true, L"db", L"", L"sa", L";", L"Database password can not contain ';', '\"'."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.message)) + " for " +
                 testing::PrintToString(std::vector<std::wstring>{c.server, c.name, c.user, c.password}));
    Choose(c.allInOne, c.existing);
    Fill(c.server, c.name, c.user, c.password);
    EXPECT_EQ(NextRefused(), c.message);
  }
}

TEST_F(DatabasePage, ForbiddenPasswordCharactersStopBeforeAnyConnection) {
  // A driver that would connect: only the check can keep the page.
  UseDriver(kSqliteDriver);
  ASSERT_NE(StartAtPage(), nullptr);
  Choose(false, true);
  for (const wchar_t* password : {L";", L"pass;word", L"\"", L"pa\"ss", L"x;\"y"}) {
    Fill(L"db01", L"files", L"sa", password);
    EXPECT_EQ(NextRefused(), L"Database password can not contain ';', '\"'.") << testing::PrintToString(password);
  }
  EXPECT_FALSE(kt::Exists(odbcTrace_)) << "the driver manager was never called";
  EXPECT_TRUE(WaitForTraces({"ClusterMode:no existing sql server"})) << Printable(PageTraces());
}

TEST_F(DatabasePage, AllInOneIgnoresTheDatabaseName) {
  ASSERT_NE(StartAtPage(), nullptr);
  Fill(L"", L"", L"", L"");
  kt::PressButton(wizard_, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard_, L"Install now"));
  ASSERT_TRUE(kt::WaitUntil([&] { return !CommitTaskKeys().empty(); }));
  EXPECT_EQ(CommitTaskKeys().front(), L"INSTALLSQL");
}

TEST_F(DatabasePage, ExistingServerThatConnectsLeadsToTheCommitPageWithoutSqlExpress) {
  UseDriver(kSqliteDriver);
  ASSERT_NE(StartAtPage(), nullptr);
  Choose(false, true);
  // The database name may be empty; the server name carries a ';' that
  // must reach the driver as part of the value.
  Fill(L"db01;x={y}", L"", L"sa", L"s3cret");
  kt::PressButton(wizard_, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard_, L"Install now"));
  ASSERT_TRUE(kt::WaitUntil([&] { return !CommitTaskKeys().empty(); }));
  const std::vector<std::wstring> expected = {L"ConfigIIS2012", L"INSTALLQRE", L"INITIIS", L"INITDB", L"FINALIZE"};
  EXPECT_EQ(CommitTaskKeys(), expected);
  EXPECT_TRUE(WaitForTraces({"ClusterMode:no existing sql server"})) << "no failure traced: " << Printable(PageTraces());

  // The driver manager saw the braced server value, the ODBC 3 version
  // and the 30-second login limit, and the connection was closed and both
  // handles freed.
  const std::string trace = kt::ReadFileBytes(odbcTrace_);
  EXPECT_NE(trace.find("Str In = [DRIVER={SQL Server};SERVER={db01;x={y}}};UID=sa;PWD="), std::string::npos) << trace;
  EXPECT_NE(trace.find("Attribute = SQL_ATTR_ODBC_VERSION\n\t\t\tValue = 0x3\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("Attribute = SQL_ATTR_LOGIN_TIMEOUT\n\t\t\tValue = 0x1e\n"), std::string::npos) << trace;
  // (The trace starts with the environment, after its own allocation.)
  EXPECT_EQ(OdbcCalls(trace), (std::vector<std::string>{"SQLSetEnvAttr", "SQLAllocHandle",
                                                         "SQLSetConnectAttrW", "SQLDriverConnectW", "SQLDisconnect",
                                                         "SQLFreeHandle", "SQLFreeHandle"}));
  EXPECT_EQ(trace.find("Exit:[SQL_ERROR]"), std::string::npos) << trace;

  // Back on the page, the all-in-one choice brings SQL Server Express back
  // once its leftover texts are cleared.
  kt::PressButton(wizard_, ID_WIZBACK);
  ASSERT_TRUE(kt::WaitForStage(wizard_, kPageTitle));
  Choose(true, false);
  EXPECT_EQ(NextRefused(),
            L"You supplied database server field. However, the All-in-one installation option is also selected.");
  Fill(L"", L"", L"", L"");
  kt::PressButton(wizard_, ID_WIZNEXT);
  ASSERT_TRUE(kt::WaitForStage(wizard_, L"Install now"));
  ASSERT_TRUE(kt::WaitUntil([&] { return !CommitTaskKeys().empty() && CommitTaskKeys().front() == L"INSTALLSQL"; }));
}

TEST_F(DatabasePage, ConnectionThatFailsKeepsThePage) {
  // FreeTDS towards a port where nothing listens.
  UseDriver(kFreeTdsDriver);
  ASSERT_NE(StartAtPage(), nullptr);
  Choose(false, true);
  Fill(L"127.0.0.1,1", L"files", L"sa", L"s3cret");
  EXPECT_EQ(NextRefused(), L"Failed to verify DB connection");
  EXPECT_TRUE(WaitForTraces({"ClusterMode:no existing sql server", "ClusterMode:failed to test db:-1"}))
      << Printable(PageTraces());
  // The driver itself refused: it was loaded and got the exact string.
  const std::string trace = kt::ReadFileBytes(odbcTrace_);
  EXPECT_EQ(trace.find("Can't open lib"), std::string::npos) << trace;
  EXPECT_NE(trace.find("Str In = [DRIVER={SQL Server};SERVER=127.0.0.1,1;UID=sa;PWD="), std::string::npos) << trace;
  EXPECT_NE(trace.find("Exit:[SQL_ERROR]"), std::string::npos) << trace;

  // The user may try again, with the same result.
  EXPECT_EQ(NextRefused(), L"Failed to verify DB connection");
  EXPECT_TRUE(WaitForTraces({"ClusterMode:no existing sql server", "ClusterMode:failed to test db:-1",
                             "ClusterMode:failed to test db:-1"}))
      << Printable(PageTraces());
}

}  // namespace
