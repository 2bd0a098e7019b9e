#include "app/kestrel_setup_app.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <winsock2.h>

#include "app/command_line.h"
#include "app/startup_settings.h"
#include "core/builtin_strings.h"
#include "core/exit_codes.h"
#include "core/installer_state.h"
#include "core/partner_id.h"
#include "core/run_values.h"
#include "core/system_inspection.h"
#include "core/text_convert.h"
#include "engine/database_check.h"
#include "engine/finalization.h"
#include "engine/marker_folder.h"
#include "net/audit_trace.h"
#include "net/payload_source.h"
#include "net/proxy_settings.h"
#include "ui/install_wizard.h"
#include "ui/task_list_window.h"
#include "unattended/quiet_run.h"
#include "uninstall/uninstall_dlg.h"
#include "win/file.h"
#include "win/handle.h"
#include "win/message_box.h"
#include "win/module.h"
#include "win/run_log.h"
#include "win/shell.h"

namespace kestrel {
namespace {

// Machine-wide: one installer at a time, whoever started it.
constexpr wchar_t kRunGuardName[] = L"Global\\KestrelSetup.Run";
// Largest settings file read.
constexpr uint64_t kMaxSettingsFileBytes = 1024 * 1024;

// The licence page's rich text box lives in RICHED20.DLL. An installer
// usually runs from the Downloads folder, where a planted DLL of that name
// would be found first, so the library is named by its full system path.
void LoadRichEditLibrary() {
  std::wstring path = win::SystemFolder() + L"\\RICHED20.DLL";
  // Kept loaded for the life of the process.
  (void)::LoadLibraryW(path.c_str());
}

std::wstring TempFolder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) return {};
  folder.resize(length);
  return folder;
}

// The log of this run: the file /log names (emptied), else a new one in
// the temporary folder. A log that cannot be created leaves the run
// without one.
void OpenLog(const CommandLine& command) {
  if (!command.logFile.empty()) {
    (void)win::OpenRunLog(command.logFile);
    return;
  }
  (void)win::OpenRunLogIn(TempFolder(), L"KestrelSetup");
}

void LogStart(const CommandLine& command, const RunSettings& settings) {
  win::Log(L"KestrelSetup " + LoadBuiltInString(kStrVersion) + L" started: " + win::ModulePath());
  win::Log(L"arguments: " + ArgumentsForLog(command.arguments));
  for (const std::wstring& property : PropertiesForLog(command.properties)) win::Log(L"property " + property);
  std::wstring mode = command.quiet ? L"mode: quiet" : command.passive ? L"mode: passive" : L"mode: interactive";
  if (settings.restartAnswer == RunSettings::RestartAnswer::kNo) mode += L", no restart (/norestart)";
  if (settings.restartAnswer == RunSettings::RestartAnswer::kYes) mode += L", restart (/forcerestart)";
  win::Log(mode);
}

// A refusal or a notice: shown when a window may be shown, else logged.
void Tell(bool quiet, const std::wstring& text) {
  if (quiet)
    win::Log(L"message: " + text);
  else
    win::ShowMessage(text, MB_OK);
}

// The settings file's properties (the command line's win) and the check
// of them all; the refusal goes into command.error.
void CompleteAndCheck(CommandLine& command, UnattendedChoices& choices) {
  if (!command.error.empty()) return;
  if (!command.layoutFolder.empty() && command.uninstall) {
    command.error = L"The switch /layout can not be used with -u.";
    return;
  }
  if (!command.settingsFile.empty()) {
    std::string bytes;
    if (!win::ReadWholeFile(command.settingsFile, bytes, kMaxSettingsFileBytes)) {
      command.error = L"The settings file " + command.settingsFile + L" cannot be read: " +
                      win::ErrorText(::GetLastError());
      return;
    }
    command.error = MergeSettingsFile(bytes, command.properties);
    if (!command.error.empty()) return;
  }
  command.error = CheckProperties(command.properties, choices);
}

void StoreProxyChoice(const UnattendedChoices& choices) {
  if (!choices.proxyGiven && choices.proxyUser.empty() && choices.proxyPassword.empty()) return;
  ProxySettings proxy = ProxySnapshot();
  if (choices.proxyGiven) {
    proxy.mode = ProxyMode::kCustom;
    proxy.server = choices.proxyServer;
    proxy.bypassList = choices.proxyBypass;
  }
  // Without PROXY the credentials answer whatever proxy the system names.
  proxy.userName = choices.proxyUser;
  proxy.password = choices.proxyPassword;
  StoreProxySettings(proxy);
  if (choices.proxyGiven) win::Log(L"proxy: " + proxy.server + L", bypass " + proxy.bypassList);
}

// The folder as a full path: relative to the folder the run started in.
std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) return {};
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}


}  // namespace

std::optional<int> RelaunchElevatedAndWait(const std::wstring& arguments) {
  win::UniqueHandle process;
  if (!win::ShellExecuteVerb(L"runas", win::ModulePath(), RelaunchParameters(arguments), SW_SHOW, &process))
    return std::nullopt;
  // The shell started it but handed back no process to wait for: what it
  // does is its own business.
  if (!process) return kExitSuccess;
  DWORD code = 0;
  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.get(), &code))
    return kExitSuccess;
  return static_cast<int>(code);
}

CKestrelSetupApp::CKestrelSetupApp() = default;
CKestrelSetupApp::~CKestrelSetupApp() = default;

int CKestrelSetupApp::InitInstance(const std::wstring& arguments) {
  settings_ = StartupRunSettings();
  // Nothing happens before the arguments are read: a refused one changes
  // nothing on the machine.
  CommandLine command = ParseCommandLine(arguments);
  UnattendedChoices choices;
  CompleteAndCheck(command, choices);
  for (const wchar_t* name : {kPropDbPassword, kPropProxyPassword}) {
    auto given = command.properties.find(name);
    if (given != command.properties.end()) AddPasswordToLogSecrets(given->second);
  }
  if (command.noRestart) settings_.restartAnswer = RunSettings::RestartAnswer::kNo;
  if (command.forceRestart) settings_.restartAnswer = RunSettings::RestartAnswer::kYes;
  // Nobody at the screen: no question, no relaunch, refusals to the log.
  const bool quiet = command.quiet || command.passive;

  // An interactive start hands over to an elevated instance and ends with
  // its exit code, so whoever started it reads the real result; the
  // elevated instance writes the log. A quiet run never relaunches: the
  // manifest already asks for the rights, and a consent prompt is a window.
  if (!quiet && !command.runas && command.error.empty() && !command.help) {
    ::OutputDebugStringW(L"[KestrelSetup]InitInstance, re-launch with admin rights\n");
    if (auto code = RelaunchElevatedAndWait(arguments)) return *code;
    // Refused or failed: carry on in this process with the rights it has.
  }

  OpenLog(command);
  LogStart(command, settings_);
  if (!command.error.empty()) {
    Tell(quiet, command.error);
    return kExitBadCommandLine;
  }
  if (command.help) {
    if (quiet)
      win::Log(L"usage: " + UsageText());
    else
      win::ShowMessage(UsageText(), MB_OK | MB_ICONINFORMATION);
    return kExitSuccess;
  }

  // Held until the process ends; the first instance above, which only
  // waits, never takes it.
  runGuard_.reset(::CreateMutexW(nullptr, FALSE, kRunGuardName));
  if (runGuard_ && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    Tell(quiet, L"Another installer is running on this machine. Start this one again when it has ended.");
    return kExitAnotherInstallRuns;
  }

  WSADATA wsa;
  (void)::WSAStartup(MAKEWORD(2, 0), &wsa);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);

  partnerId_ = ParsePartnerId(win::ModulePath());
  AuditTraceConfig audit;
  if (partnerId_) audit.partnerId = WideToUtf8(*partnerId_).value_or(std::string());
  audit.endpoint = settings_.auditEndpoint ? *settings_.auditEndpoint
                                           : LoadBuiltInStringUtf8(kStrAuditEndpoint).value_or(std::string());
  ConfigureAuditTrace(std::move(audit));
  // An interactive run stores the identifier at once; a quiet one once its
  // checks passed, so that a refused run leaves the machine as it was.
  if (!quiet) StorePartnerId();
  StoreProxyChoice(choices);

  // COM for the shell's folder picker; released when start-up returns.
  win::ComInit com;

  passive_ = command.passive;
  PayloadSources sources;
  sources.named = FullPath(command.sourceFolder);
  sources.beside = win::ExecutableFolder();
  if (!sources.named.empty()) win::Log(L"payload source: " + sources.named);
  ConfigurePayloadSources(std::move(sources));
  if (!command.layoutFolder.empty()) return RunLayoutMode(FullPath(command.layoutFolder), command.quiet);
  if (command.uninstall) return RunRemoval(quiet);
  return RunInstallOrUpgrade(choices, quiet);
}

void CKestrelSetupApp::StorePartnerId() {
  if (partnerId_) WriteInstallerValue(kValuePartnerId, *partnerId_);
}

int CKestrelSetupApp::RunLayoutMode(const std::wstring& folder, bool noWindow) {
  if (noWindow) return RunLayout(settings_, folder, nullptr);
  // Shown (interactive or passive): one row a payload in the task list.
  taskListWindow_ = std::make_unique<TaskListWindow>(
      [this, folder](TaskRows& rows) { return RunLayout(settings_, folder, &rows); });
  return taskListWindow_->Run();
}

int CKestrelSetupApp::RunRemoval(bool quiet) {
  if (quiet && !passive_) return RunQuietRemoval(settings_, [this] { StorePartnerId(); });
  if (passive_) {
    // The window shows the removal at once; with nothing installed there
    // is nothing to show.
    if (!IsProductRegistered()) {
      win::Log(L"refused: Nothing to remove: the product is not installed.");
      return kExitNothingInstalled;
    }
    StorePartnerId();
  }
  // The window lives as long as the process: its worker thread ends the
  // process itself when the removal is done.
  uninstallDialog_ = std::make_unique<UninstallDlg>(settings_, passive_);
  uninstallDialog_->DoModal(nullptr);
  win::SetMainWindow(nullptr);
  return kExitUserCancelled;  // closed before the removal started
}

int CKestrelSetupApp::RunInstallOrUpgrade(const UnattendedChoices& choices, bool quiet) {
  const bool upgrade = DetectUpgradeNeeded();
  if (quiet && !upgrade && !choices.acceptLicense) {
    // Refused before anything goes out or changes.
    win::Log(L"refused: A new installation without a window needs ACCEPTLICENSE=1: the licence cannot be shown.");
    return kExitBadCommandLine;
  }
  SendAuditTrace(ReadOsDescription());
  if (upgrade) {
    SendAuditTrace("Start: needs upgrade");
    std::wstring question =
        L"You already have " + LoadBuiltInString(kStrDisplayName) + L" installed, Do you want to upgrade?";
    if (quiet) {
      const std::wstring version = LoadBuiltInString(kStrVersion);
      if (RegisteredVersion() == version) {
        win::Log(L"The installed copy already has version " + version + L": nothing to do.");
        return kExitSuccess;
      }
      win::Log(L"question: " + question);
      win::Log(L"answer: Yes (implied by a quiet run)");
    } else if (win::ShowMessage(nullptr, question, MB_YESNO) != IDYES) {
      return kExitSuccess;
    }
    g_upgradeMode = 1;
  }

  QuietInstallRequest request;
  request.database.allInOne = choices.allInOne ? 1 : 0;
  request.database.server = choices.dbServer;
  request.database.user = choices.dbUser;
  request.database.password = choices.dbPassword;
  request.database.name = choices.dbName;
  if (quiet) {
    request.installFolder = choices.installFolder;
    request.beforeChanges = [this] { StorePartnerId(); };
    if (!passive_) return RunQuietInstall(settings_, request);
    // The task list shows the run, then closes by itself.
    taskListWindow_ = std::make_unique<TaskListWindow>([this, request](TaskRows& rows) mutable {
      request.display = &rows;
      return RunQuietInstall(settings_, request);
    });
    return taskListWindow_->Run();
  }

  LoadRichEditLibrary();
  // The wizard lives as long as the process: a worker thread may still use
  // it when the window closes.
  WizardPresets presets;
  presets.installFolder = choices.installFolder;
  if (!choices.allInOne) presets.database = request.database;
  wizard_ = std::make_unique<CInstallWizard>(settings_, presets);
  wizard_->DoModal(nullptr);
  win::SetMainWindow(nullptr);
  return wizard_->outcome().ExitCode();
}

}  // namespace kestrel
