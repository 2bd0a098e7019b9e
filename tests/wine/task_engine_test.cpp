// The task list builders and the runner, without any window.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>

#include "core/installer_state.h"
#include "core/run_values.h"
#include "core/system_inspection.h"
#include "engine/task_list.h"
#include "engine/task_runner.h"
#include "net/audit_trace.h"
#include "support/recording_context.h"
#include "support/test_support.h"

namespace {

using namespace kestrel;

// The task list as a plain table; every cell write is recorded.
class TableRows : public TaskRows {
 public:
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  int AppendRow(const std::wstring& key) override {
    rows_.push_back({key, L"", L"", L""});
    return RowCount() - 1;
  }
  void DeleteAllRows() override { rows_.clear(); }
  std::wstring GetCellText(int row, int column) const override { return rows_.at(row).at(column); }
  bool SetItemTextIfChanged(int row, int column, const std::wstring& text) override {
    std::wstring& cell = rows_.at(row).at(column);
    if (cell != text) {
      cell = text;
      writes.push_back({row, text});
    }
    return true;
  }
  std::vector<std::wstring> Keys() const {
    std::vector<std::wstring> keys;
    for (const auto& r : rows_) keys.push_back(r[0]);
    return keys;
  }
  std::vector<std::pair<int, std::wstring>> writes;

 private:
  std::vector<std::array<std::wstring, 4>> rows_;
};

class FakeRunHost : public TaskRunHost {
 public:
  // Status writes of a task land in its row, as on the commit page.
  class RowContext : public kt::RecordingContext {
   public:
    explicit RowContext(FakeRunHost& host) : host_(host) {}
    void SetStatus(const std::wstring& text) override {
      host_.rows.SetItemTextIfChanged(host_.rowsRun.back(), kColumnStatus, text);
    }

   private:
    FakeRunHost& host_;
  };

  TaskRows& Rows() override { return rows; }
  TaskContext& ContextForRow(int row) override {
    rowsRun.push_back(row);
    return context;
  }
  void OnRunStarted() override { events.push_back(L"started"); }
  void OnRunFailed(int row) override { events.push_back(L"failed:" + std::to_wstring(row)); }
  void OnRunFinished() override { events.push_back(L"finished"); }

  TableRows rows;
  RowContext context{*this};
  std::vector<int> rowsRun;
  std::vector<std::wstring> events;
};

void ResetOsFlags() {
  g_isServer2008 = g_isWin7 = g_isServer2008R2 = g_isServer2012Plus = g_isClient8Plus = 0;
}

class TaskEngine : public testing::Test {
 protected:
  void SetUp() override {
    ResetOsFlags();
    g_upgradeMode = 0;
  }
  void TearDown() override {
    ResetOsFlags();
    g_upgradeMode = 0;
  }
  // Feeds the classification a chosen Windows version.
  static RunSettings RunningOn(OsVersionData version) {
    RunSettings settings;
    settings.osVersion = [version] { return version; };
    return settings;
  }
  kt::InstallerKeyScope registry_;
};

std::vector<std::string> TracesSince(size_t before) {
  auto all = SentAuditTraces();
  return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
}

TEST_F(TaskEngine, InstallListPerWindowsClass) {
  const std::vector<std::wstring> tail = {L"INSTALLQRE", L"INITIIS", L"INITDB", L"FINALIZE"};
  auto with = [&](std::vector<std::wstring> head) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  struct Case {
    const char* name;
    OsVersionData version;
    bool allInOne;
    std::vector<std::wstring> keys;
  } const cases[] = {
      {"Server 2012+", {true, 6, 2, 0, 3}, true,
       with({L"StartDismCmdProcessEx", L"INSTALLNET", L"INSTALLSQL", L"ConfigIIS2012"})},
      {"Server 2012+, existing SQL Server", {true, 6, 3, 0, 3}, false,
       with({L"StartDismCmdProcessEx", L"INSTALLNET", L"ConfigIIS2012"})},
      {"Windows 8+ workstation", {true, 6, 2, 0, 1}, true, with({L"INSTALLSQL", L"ConfigIIS2012"})},
      {"Windows 10 as 10.0", {true, 10, 0, 0, 1}, false, with({L"ConfigIIS2012"})},
      {"Windows 7", {true, 6, 1, 1, 1}, true, with({L"INSTALLNET", L"INSTALLSQL", L"ConfigIISWin7"})},
      {"Server 2008 R2", {true, 6, 1, 1, 3}, true, with({L"INSTALLNET", L"INSTALLSQL", L"ConfigIIS2008R2"})},
      {"Server 2008 SP2", {true, 6, 0, 2, 3}, false, with({L"INSTALLNET", L"ConfigIIS2008"})},
      {"Vista SP2: no web server row", {true, 6, 0, 2, 1}, true, with({L"INSTALLNET", L"INSTALLSQL"})},
      {"server 8.0: no flag, no web server row", {true, 8, 0, 0, 3}, false, with({L"INSTALLNET"})},
  };
  for (const Case& c : cases) {
    ResetOsFlags();
    TableRows rows;
    rows.AppendRow(L"LEFTOVER");
    bool reported = false;
    TaskListHost host{[&] {
                        DatabaseChoice d;
                        d.allInOne = c.allInOne;
                        return d;
                      },
                      [] { return 0; }, [&] { reported = true; }};
    BuildInstallTaskList(rows, host, RunningOn(c.version));
    EXPECT_EQ(rows.Keys(), c.keys) << c.name;
    EXPECT_FALSE(reported) << c.name;
  }
}

TEST_F(TaskEngine, InstallListLabelsAndArguments) {
  TableRows rows;
  BuildInstallTaskList(rows, TaskListHost{[] { return DatabaseChoice{}; }, [] { return 0; }, nullptr},
                       RunningOn({true, 6, 2, 0, 3}));
  const std::vector<std::array<std::wstring, 3>> expected = {
      {L"StartDismCmdProcessEx", L"Install .Net 4.5", L"NETFx4"},
      {L"INSTALLNET", L"Install .Net 4.0", L""},
      {L"INSTALLSQL", L"Install SQL Express", L""},
      {L"ConfigIIS2012", L"Check and install IIS Web Server", L""},
      // Test binaries carry no string table: built-in string 133 is empty
      // here; the real executable's label is checked through its window.
      {L"INSTALLQRE", L"", L""},
      {L"INITIIS", L"Configure Web Applications", L""},
      {L"INITDB", L"Initialize Database", L""},
      {L"FINALIZE", L"Finalize the installation", L""},
  };
  ASSERT_EQ(rows.RowCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < rows.RowCount(); ++i) {
    EXPECT_EQ(rows.GetCellText(i, kColumnKey), expected[i][0]);
    EXPECT_EQ(rows.GetCellText(i, kColumnLabel), expected[i][1]);
    EXPECT_EQ(rows.GetCellText(i, kColumnStatus), L"");
    EXPECT_EQ(rows.GetCellText(i, kColumnArgument), expected[i][2]);
  }
}

TEST_F(TaskEngine, UnsupportedWindowsLeavesAnEmptyList) {
  for (OsVersionData v : {OsVersionData{true, 5, 1, 3, 1}, OsVersionData{true, 6, 0, 1, 3}, OsVersionData{false}}) {
    TableRows rows;
    rows.AppendRow(L"LEFTOVER");
    int reported = 0;
    BuildInstallTaskList(rows, TaskListHost{[] { return DatabaseChoice{}; }, [] { return 0; }, [&] { ++reported; }},
                         RunningOn(v));
    EXPECT_EQ(rows.RowCount(), 0);
    EXPECT_EQ(reported, 1);
  }
}

TEST_F(TaskEngine, UpgradeListIgnoresTheWindowsVersion) {
  g_upgradeMode = 1;
  TableRows rows;
  BuildInstallTaskList(rows, TaskListHost{nullptr, nullptr, [] { FAIL() << "no OS check in upgrade mode"; }},
                       RunningOn({true, 5, 1, 3, 1}));  // would be unsupported
  const std::vector<std::array<std::wstring, 3>> expected = {
      {L"STOPSVC", L"Stop Cloud Monitor", L"VEVer"},
      {L"DOWNLOADPACKAGE", L"Download and extract upgrade package", L""},
      {L"STOPIIS", L"Stop Web Server", L""},
      {L"UPGRADEPACKAGE", L"Patch the installation", L""},
      {L"STARTIIS", L"Start Web Server", L""},
      {L"STARTSVC", L"Start Cloud Monitor", L"VEVer"},
      {L"FINALIZEUPGRADE", L"Finalize the upgrade", L""},
  };
  ASSERT_EQ(rows.RowCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < rows.RowCount(); ++i) {
    EXPECT_EQ(rows.GetCellText(i, kColumnKey), expected[i][0]);
    EXPECT_EQ(rows.GetCellText(i, kColumnLabel), expected[i][1]);
    EXPECT_EQ(rows.GetCellText(i, kColumnArgument), expected[i][2]);
  }
}

// A dispatch table of scripted tasks: each writes a progress text and
// succeeds or fails as the test says.
std::vector<TaskEntry> ScriptedTable(std::map<std::wstring, int>* results) {
  auto task = [results](const wchar_t* key) {
    return TaskEntry{key, [results, key](TaskContext& ctx) {
                       ctx.SetStatus(std::wstring(L"#Progress:1 2@@") + key);
                       return (*results)[key];
                     }};
  };
  return {task(L"ONE"), task(L"TWO"), task(L"THREE"), task(L"FOUR"), task(L"FIVE")};
}

TEST_F(TaskEngine, RunStopsAtTheFirstFailureAndRetryStartsAgain) {
  std::map<std::wstring, int> results = {{L"ONE", 1}, {L"TWO", 1}, {L"THREE", 1}, {L"FOUR", 0}, {L"FIVE", 1}};
  auto table = ScriptedTable(&results);
  FakeRunHost host;
  for (const wchar_t* key : {L"one", L"TWO", L"Three", L"FOUR", L"FIVE"}) host.rows.AppendRow(key);
  host.rows.SetItemTextIfChanged(4, kColumnStatus, L"earlier text");
  host.rows.writes.clear();
  const size_t traces = SentAuditTraces().size();

  RunTasks(host, table);

  const std::vector<std::pair<int, std::wstring>> expected = {
      {0, L"Processing..."}, {0, L"#Progress:1 2@@ONE"},   {0, DoneStatus()},
      {1, L"Processing..."}, {1, L"#Progress:1 2@@TWO"},   {1, DoneStatus()},
      {2, L"Processing..."}, {2, L"#Progress:1 2@@THREE"}, {2, DoneStatus()},
      {3, L"Processing..."}, {3, L"#Progress:1 2@@FOUR"},  {3, FailedStatus()},
  };
  EXPECT_EQ(host.rows.writes, expected);
  EXPECT_EQ(host.rows.GetCellText(4, kColumnStatus), L"earlier text") << "rows below keep their text";
  EXPECT_EQ(host.events, (std::vector<std::wstring>{L"started", L"failed:3"}));
  EXPECT_EQ(TracesSince(traces), (std::vector<std::string>{"commit:failed task:FOUR"}));
  EXPECT_NE(DoneStatus().find(L"#ICON:"), std::wstring::npos);
  EXPECT_EQ(DoneStatus().substr(DoneStatus().size() - 7), L"#@@Done");

  // Retry: the whole list again from the first row.
  results[L"FOUR"] = 1;
  host.rows.writes.clear();
  RunTasks(host, table);
  ASSERT_FALSE(host.rows.writes.empty());
  EXPECT_EQ(host.rows.writes.front(), (std::pair<int, std::wstring>{0, L"Processing..."}));
  EXPECT_EQ(host.rows.GetCellText(4, kColumnStatus), DoneStatus());
  EXPECT_EQ(TracesSince(traces).back(), "commit:task completed");
  EXPECT_EQ(host.events, (std::vector<std::wstring>{L"started", L"failed:3", L"started", L"finished"}));
}

TEST_F(TaskEngine, UnknownKeyFails) {
  std::map<std::wstring, int> results;
  FakeRunHost host;
  host.rows.AppendRow(L"NOSUCHTASK");
  const size_t traces = SentAuditTraces().size();
  RunTasks(host, ScriptedTable(&results));
  EXPECT_EQ(host.rows.GetCellText(0, kColumnStatus), FailedStatus());
  EXPECT_EQ(TracesSince(traces), (std::vector<std::string>{"commit:failed task:NOSUCHTASK"}));
}

TEST_F(TaskEngine, InstallStateTwoIsWrittenInInstallModeOnly) {
  std::map<std::wstring, int> results;
  {
    FakeRunHost host;
    RunTasks(host, ScriptedTable(&results));
    DWORD type = 0;
    EXPECT_EQ(kt::InstallerValueBytes(kValueInstallState, &type), (std::vector<unsigned char>{2, 0, 0, 0}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  }
  kt::DeleteInstallerKey();
  g_upgradeMode = 1;
  {
    FakeRunHost host;
    RunTasks(host, ScriptedTable(&results));
    EXPECT_TRUE(kt::InstallerValueBytes(kValueInstallState).empty());
  }
}

TEST_F(TaskEngine, EveryKeyOfBothListsIsDispatched) {
  const wchar_t* keys[] = {L"INSTALLNET", L"INSTALLQRE", L"INSTALLSQL", L"StartDismCmdProcessEx", L"INITDB",
                           L"INITIIS", L"FINALIZE", L"ConfigIIS2008R2", L"ConfigIIS2008", L"ConfigIIS2012",
                           L"ConfigIISWin7", L"STOPSVC", L"STARTSVC", L"FINALIZEUPGRADE", L"DOWNLOADPACKAGE",
                           L"UPGRADEPACKAGE", L"STOPIIS", L"STARTIIS"};
  for (const wchar_t* key : keys) {
    EXPECT_TRUE(static_cast<bool>(FindTask(TaskDispatchTable(), key))) << testing::PrintToString(std::wstring(key));
    std::wstring lower(key);
    for (auto& ch : lower) ch = static_cast<wchar_t>(towlower(ch));
    EXPECT_TRUE(static_cast<bool>(FindTask(TaskDispatchTable(), lower))) << "keys compare without case";
  }
  EXPECT_FALSE(static_cast<bool>(FindTask(TaskDispatchTable(), L"INSTALL")));
}

}  // namespace
