// One machine for a journey through the real installer: the local package
// and audit server, a copy of the installer stamped with the server's
// links, the Windows version Wine reports to it, and everything the
// journey may leave behind put back afterwards.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/net_fixtures.h"
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
  // windowsVersion: one of the names above.
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

  // Starts the installer as the elevated relaunch would (no relaunch).
  kt::Process Start(const std::wstring& arguments = L"/runas");

  // The text of each audit trace the server received, in order.
  std::vector<std::string> Traces() const;

 private:
  std::wstring work_, installer_;
  std::unique_ptr<kt::TestServer> server_;
  kt::PackageTree release_, upgrade_;
};

// Writes a package tree into a folder, as an installation leaves it.
bool WriteTree(const std::wstring& folder, const kt::PackageTree& tree);
// True when every file of the tree is in folder with the same bytes; the
// first difference goes to *difference.
bool SameTree(const std::wstring& folder, const kt::PackageTree& tree, std::string* difference);

// Rows of the wizard's task list: label and status cell.
struct Row {
  std::wstring label, status;
};
std::vector<Row> TaskRows(HWND wizard);
bool IsDone(const std::wstring& status);
bool IsFailed(const std::wstring& status);

}  // namespace e2e
