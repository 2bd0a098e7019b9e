#include "unattended/quiet_run.h"

#include <shlobj.h>

#include <array>
#include <vector>

#include "core/exit_codes.h"
#include "core/run_outcome.h"
#include "core/run_values.h"
#include "engine/database_check.h"
#include "engine/finalization.h"
#include "engine/payload_layout.h"
#include "engine/task_list.h"
#include "engine/task_runner.h"
#include "engine/uninstall.h"
#include "net/audit_trace.h"
#include "win/message_box.h"
#include "win/module.h"
#include "win/run_log.h"
#include "win/shell.h"

namespace kestrel {
namespace {

// The restart question: No unless /forcerestart said Yes.
int AnswerRestart(const RunSettings& settings, RunOutcome& outcome, const std::wstring& question) {
  const int answer = AbsentRestartAnswer(settings, question);
  if (answer != IDYES) outcome.RestartDeclined();
  return answer;
}

// The task list of a run without a window: rows in memory.
class MemoryRows : public TaskRows {
 public:
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  int AppendRow(const std::wstring& key) override {
    rows_.push_back({key, L"", L"", L""});
    return RowCount() - 1;
  }
  void DeleteAllRows() override { rows_.clear(); }
  std::wstring GetCellText(int row, int column) const override {
    if (!Valid(row, column)) return {};
    return rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
  }
  bool SetItemTextIfChanged(int row, int column, const std::wstring& text) override {
    if (!Valid(row, column)) return false;
    std::wstring& cell = rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
    if (cell == text) return false;
    cell = text;
    return true;
  }

 private:
  bool Valid(int row, int column) const {
    return row >= 0 && row < RowCount() && column >= 0 && column <= kColumnArgument;
  }
  std::vector<std::array<std::wstring, 4>> rows_;
};

// The context and the host of an unattended run: every question gets the
// absent administrator's answer; the tasks run on the calling thread.
class QuietTaskHost : public TaskRunHost, public TaskContext {
 public:
  QuietTaskHost(const RunSettings& settings, const QuietInstallRequest& request, bool installation = true)
      : settings_(settings),
        request_(request),
        installation_(installation),
        rows_(request.display ? *request.display : memory_) {
    installFolder_ = request.installFolder.empty() ? win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true)
                                                   : request.installFolder;
  }

  RunOutcome& outcome() { return outcome_; }

  // TaskRunHost.
  TaskRows& Rows() override { return rows_; }
  TaskContext& ContextForRow(int row) override {
    currentRow_ = row;
    return *this;
  }
  void OnRunFailed(int) override { outcome_.RunFailed(); }
  void OnRunFinished() override { outcome_.RunFinished(); }
  bool IsInstallation() const override { return installation_; }

  // TaskContext.
  void SetStatus(const std::wstring& text) override { rows_.SetItemTextIfChanged(currentRow_, kColumnStatus, text); }
  int Ask(const std::wstring& text, UINT type) override { return AbsentAnswer(text, type); }
  int AskRestart(const std::wstring& question) override { return AnswerRestart(settings_, outcome_, question); }
  void RestartMachine() override { StartRestart(settings_, outcome_); }
  const RunSettings& Settings() override { return settings_; }
  std::wstring Argument() override { return rows_.GetCellText(currentRow_, kColumnArgument); }
  DatabaseChoice Database() override { return request_.database; }
  int EnterpriseEdition() override { return 0; }
  std::wstring InstallFolder() override { return installFolder_; }
  std::wstring InstallDir() override { return installDir_; }
  void SetInstallDir(const std::wstring& dir) override { installDir_ = dir; }
  std::wstring StagingDir() override { return stagingDir_; }
  void SetStagingDir(const std::wstring& dir) override { stagingDir_ = dir; }
  void SetButtonCaption(int, const std::wstring&) override {}

 private:
  const RunSettings& settings_;
  const QuietInstallRequest& request_;
  const bool installation_;
  RunOutcome outcome_;
  MemoryRows memory_;
  TaskRows& rows_;
  int currentRow_ = 0;
  std::wstring installFolder_, installDir_, stagingDir_;
};

class QuietRemovalHost : public UninstallContext {
 public:
  explicit QuietRemovalHost(const RunSettings& settings) : settings_(settings) {}
  RunOutcome& outcome() { return outcome_; }

  void SetStatus(const std::wstring&) override {}  // the sequence logs it
  void ProgressStep(int) override {}
  int Ask(const std::wstring& text, UINT type) override { return AbsentAnswer(text, type); }
  int AskRestart(const std::wstring& question) override { return AnswerRestart(settings_, outcome_, question); }
  void RestartMachine() override { StartRestart(settings_, outcome_); }
  const RunSettings& Settings() override { return settings_; }

 private:
  const RunSettings& settings_;
  RunOutcome outcome_;
};

int Refuse(const std::wstring& reason, int code) {
  win::Log(L"refused: " + reason);
  return code;
}


}  // namespace

int RunQuietInstall(const RunSettings& settings, const QuietInstallRequest& request) {
  QuietTaskHost host(settings, request);
  if (!g_upgradeMode) {
    // What the database page does when it opens and when Next is pressed.
    if (const wchar_t* refusal = DatabaseChoiceRefusal(request.database)) return Refuse(refusal, kExitBadCommandLine);
    if (InspectOwnSqlInstance() == OwnSqlInstance::kForeign && request.database.allInOne)
      return Refuse(L"An SQL Server instance of the installer's name exists that this installer did not install: "
                    L"the all-in-one installation cannot be chosen. Name an existing server with DBSERVER, DBUSER "
                    L"and DBPASSWORD.",
                    kExitBadCommandLine);
    if (!request.database.allInOne) {
      std::wstring reason;
      if (!TestDatabaseConnection(request.database, [&](const std::wstring& text) { reason = text; }))
        return Refuse(reason, kExitBadCommandLine);
      win::Log(L"database: the test connection to " + request.database.server + L" succeeded");
    }
    win::Log(request.database.allInOne ? std::wstring(L"database: all-in-one")
                                       : L"database: existing server " + request.database.server + L", database " +
                                             request.database.name + L", user " + request.database.user);
  }
  if (request.beforeChanges) request.beforeChanges();

  // What the commit page does when it opens.
  if (!g_upgradeMode) win::Log(L"install folder: " + host.InstallFolder());
  SendAuditTrace("commit page");
  TaskListHost lists;
  lists.database = [&] { return request.database; };
  lists.enterpriseEdition = [] { return 0; };
  bool unsupported = false;
  lists.reportUnsupportedOs = [&] { unsupported = true; };
  BuildInstallTaskList(host.Rows(), lists, settings);
  if (unsupported) return Refuse(L"Failed to check os type", kExitUnsupportedPlatform);

  RunTasks(host);
  return host.outcome().ExitCode();
}

int RunLayout(const RunSettings& settings, const std::wstring& folder, TaskRows* display) {
  std::vector<LayoutPayload> payloads;
  if (std::wstring refusal = ListLayoutPayloads(payloads); !refusal.empty())
    return Refuse(refusal, kExitBadCommandLine);
  const int created = ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS)
    return Refuse(L"The layout folder " + folder + L" cannot be created: " +
                      win::ErrorText(static_cast<DWORD>(created)),
                  kExitFailed);
  win::Log(L"layout into " + folder);
  QuietInstallRequest request;
  request.display = display;
  QuietTaskHost host(settings, request, /*installation=*/false);
  BuildLayoutTaskList(host.Rows(), payloads);
  RunTasks(host, LayoutTaskTable(folder));
  if (!host.outcome().Finished()) return kExitFailed;
  // The installer beside its payloads, under its own name (a partner
  // copy keeps its identifier).
  const std::wstring self = win::ModulePath();
  const std::wstring copy = folder + L"\\" + win::FileNamePart(self);
  if (!::CopyFileW(self.c_str(), copy.c_str(), FALSE))
    return Refuse(L"The installer cannot be copied to " + copy + L": " + win::ErrorText(::GetLastError()), kExitFailed);
  win::Log(L"layout complete: " + std::to_wstring(payloads.size()) + L" payloads and " + copy);
  return kExitSuccess;
}

int RunQuietRemoval(const RunSettings& settings, const std::function<void()>& beforeChanges) {
  if (!IsProductRegistered()) return Refuse(L"Nothing to remove: the product is not installed.", kExitNothingInstalled);
  if (beforeChanges) beforeChanges();
  QuietRemovalHost host(settings);
  RunUninstall(host);
  host.outcome().RunFinished();
  return host.outcome().ExitCode();
}

}  // namespace kestrel
