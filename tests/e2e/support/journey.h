// One machine for a journey through the real installer: the local package
// and audit server, a copy of the installer stamped with the server's
// links, the Windows version Wine reports to it, and everything the
// journey may leave behind put back afterwards.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/net_fixtures.h"
#include "support/process_fixtures.h"
#include "support/product_package_builder.h"
#include "support/test_support.h"

namespace e2e {

// Wine's version names for the Windows classes. This Wine's "win7" preset
// reports a 6.1 server and "win2008r2" a 6.1 workstation.
inline constexpr wchar_t kServer2008R2[] = L"win7";
inline constexpr wchar_t kWindows7[] = L"win2008r2";
inline constexpr wchar_t kServer2008[] = L"win2008";
inline constexpr wchar_t kWindows10[] = L"win10";
inline constexpr wchar_t kWindowsXp[] = L"winxp";

inline constexpr wchar_t kWizardCaption[] = L"Marrowfield Installation";
inline constexpr wchar_t kProductFolder[] = L"Vantoris Cloud Enterprise";

class Machine {
 public:
  // windowsVersion: one of the names above. The machine carries that
  // Windows' product name and build label as every real one does (in the
  // registry view the installer reads):
  //   kServer2008R2  "Windows Server 2008 R2 Standard" (7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707)
  //   kWindows7      "Windows 7 Professional" (7601.24544.amd64fre.win7sp1_ldr_escrow.200102-1707)
  //   kServer2008    "Windows Server® 2008 Standard" (6002.18005.amd64fre.lh_sp2rtm.090410-1830)
  //   kWindows10     "Windows 10 Pro" (19041.1.amd64fre.vb_release.191206-1406)
  //   kWindowsXp     "Microsoft Windows XP" (2600.5512.x86fre.xpsp.080413-2111)
  explicit Machine(const std::wstring& windowsVersion);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  bool ok() const { return !installer_.empty(); }
  kt::TestServer& server() { return *server_; }
  // The stamped copy of the installer, its file name "KestrelSetup.exe".
  const std::wstring& installer() const { return installer_; }
  // A scratch folder of the journey (C:\ktest\e2e\work).
  const std::wstring& work() const { return work_; }

  // The packages on the server: the release and an upgrade (6.11.0).
  const kt::PackageTree& release() const { return release_; }
  const kt::PackageTree& upgrade() const { return upgrade_; }

  // Points the release link (129) at another path of the server, such as
  // a /fault/... path.
  bool SetReleasePath(const std::string& path);
  // Points the audit endpoint (146) at another service, such as a
  // kt::SilentListener's port.
  bool SetAuditEndpoint(const std::string& url);

  // Starts the installer as the elevated relaunch would (no relaunch).
  kt::Process Start(const std::wstring& arguments = L"/runas");

  // The text of each audit trace the server received, in order.
  std::vector<std::string> Traces() const;
  // Waits until the last trace received is this one (the end of a run is
  // traced after its last row shows its result).
  bool WaitForLastTrace(const std::string& text) const;

 private:
  std::unique_ptr<kt::WindowsNameScope> windowsName_;
  std::wstring work_, installer_;
  std::unique_ptr<kt::TestServer> server_;
  kt::PackageTree release_, upgrade_;
};

// What a fresh installation meets besides the installer: the servicing
// tools (fake Dism, PkgMgr and ServerManagerCmd in the system folder,
// answering from a feature listing in which nothing is enabled yet), the
// web server control, the SQL Server Express packages on the server whose
// Setup.exe creates the instance's service, the framework installer that
// registers a 4.x full framework, and the product's configuration tool and
// launcher. The instance's service and the framework's key are removed
// again at the end.
class FreshMachine : public Machine {
 public:
  explicit FreshMachine(const std::wstring& windowsVersion);
  ~FreshMachine();

  kt::FakeTool& dism() { return *tools_[0]; }
  kt::FakeTool& pkgmgr() { return *tools_[1]; }
  kt::FakeTool& serverManager() { return *tools_[2]; }
  kt::FakeTool& iisreset() { return *tools_[3]; }
  kt::FakeTool& sqlSetup() { return *tools_[4]; }
  kt::FakeTool& netfull() { return *tools_[5]; }
  kt::FakeTool& config() { return *tools_[6]; }
  kt::FakeTool& launcher() { return *tools_[7]; }

  // The installed product's folder when the commit page's default folder
  // is kept.
  std::wstring DefaultProductDir() const;

 private:
  std::vector<std::unique_ptr<kt::FakeTool>> tools_;
  std::wstring listing_;
};

// Walks a new installation from the welcome page to the commit page;
// false when a step did not happen in time. On the database page the
// all-in-one choice is kept unless an existing server is given.
struct ExistingServer {
  std::wstring server, name, user, password;
};
bool WalkToCommitPage(HWND wizard, const ExistingServer* existing = nullptr);

// Registers the SQLite ODBC driver under the name "SQL Server" for the
// installer (ODBCSYSINI, set by ctest for the journeys); a test connection
// through it succeeds.
bool UseSqliteAsSqlServerDriver();
// Presses the commit page's Install button and waits until the run ends:
// the restart question answered with No, or a failure's message box
// answered with OK (after No, until the last row shows its result).
// Returns the text of the message box that ended the run, or "<Retry>"
// when a task failed without a message. whileRunning, when
// given, is called at each look at the run (to show its rows).
std::wstring RunTheTasks(HWND wizard, DWORD pid, const std::function<void()>& whileRunning = {},
                         DWORD timeoutMs = 5 * kt::kPatienceMs);

// Rows of the wizard's task list: label and status cell.
struct Row {
  std::wstring label, status;
};
std::vector<Row> TaskRows(HWND wizard);
bool IsDone(const std::wstring& status);
bool IsFailed(const std::wstring& status);

}  // namespace e2e
