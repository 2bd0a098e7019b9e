// The product's own tasks against the local package server: a stamped copy
// of the task host downloads real packages, installs or patches them and
// runs the configuration tool, on the real file system and registry.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>

#include "core/installer_state.h"
#include "core/payload_pin.h"
#include "core/text_convert.h"
#include "engine/product_package.h"
#include "res/resource_ids.h"
#include "support/installed_product.h"
#include "support/net_fixtures.h"
#include "support/process_fixtures.h"
#include "support/product_package_builder.h"
#include "support/task_host_run.h"
#include "support/test_support.h"
#include "tests/support/zip_test_support.h"
#include "win/folder_walk.h"
#include "win/registry.h"
#include "win/sha256.h"
#include "win/shell.h"

namespace {

using namespace kestrel;

const std::wstring kProduct = L"Vantoris Cloud Enterprise";
const std::wstring kUninstallRoot = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";


std::wstring InstallerText(const wchar_t* name) {
  DWORD type = 0;
  auto bytes = kt::InstallerValueBytes(name, &type);
  if (type != REG_SZ || bytes.size() < 2) return L"<missing or not REG_SZ>";
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2 - 1);
}

// Every entry of a package tree is in folder, files with the same bytes.
void ExpectTree(const std::wstring& folder, const kt::PackageTree& tree) {
  std::string difference;
  EXPECT_TRUE(kt::SameTree(folder, tree, &difference)) << difference << " differs or is missing";
}

// The names in folder that match a wildcard pattern, as listed.
std::vector<std::wstring> EntryNames(const std::wstring& folder, const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  win::UniqueFind find(::FindFirstFileW((folder + L"\\" + pattern).c_str(), &entry));
  if (!find) return names;
  do names.push_back(entry.cFileName);
  while (::FindNextFileW(find.get(), &entry));
  return names;
}

std::vector<std::wstring> AsideNames(const std::wstring& folder, const std::wstring& name) {
  return EntryNames(folder, name + L"_*");
}

// One server for the suite, with the release, an upgrade, an empty archive
// and nothing at /missing.zip.
class PackageServer : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new kt::TestServer(kt::ScratchFolder(L"package-server"));
    ASSERT_TRUE(server_->ok());
    release_ = kt::ProductTree("6.10.4129");
    upgrade_ = kt::ProductTree("6.11.0", {{"VantorisCloudMonitor.exe", kt::ReadFileBytes(kt::kFakeToolExe)},
                                          {"bin/new.dll", "new in 6.11"},
                                          {"root/web.config", "<configuration>6.11</configuration>"}});
    releaseZip_ = kt::PackageArchive(release_);
    ASSERT_TRUE(server_->AddFile("/QRE/zip/build4129.zip", releaseZip_));
    ASSERT_TRUE(server_->AddFile("/QRE/upgrade.zip", kt::PackageArchive(upgrade_)));
    ASSERT_TRUE(server_->AddFile("/QRE/empty.zip", kestrel::ziptest::BuildZipBytes({})));
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    root_ = kt::ScratchFolder(L"package-run");
    // A package left by an earlier test would be taken for a partial one.
    ::DeleteFileW((DownloadFolder() + L"\\qre.zip").c_str());
  }
  void TearDown() override {
    kt::RemoveTree(root_);
    ::DeleteFileW((DownloadFolder() + L"\\qre.zip").c_str());
  }

  // A task host whose package links point at the server.
  std::wstring Host(const std::string& packagePath, const std::wstring& productFolder = kProduct) {
    std::wstring host = kt::StampedTaskHost(
        root_, {{kStrPackageLink, kt::Widen(server_->HttpUrl(packagePath))},
                {kStrUpgradeLink, kt::Widen(server_->HttpUrl("/QRE/upgrade.zip"))},
                {kStrProductFolder, productFolder}});
    EXPECT_FALSE(host.empty());
    return host;
  }

  static kt::TestServer* server_;
  static kt::PackageTree release_, upgrade_;
  static std::string releaseZip_;
  kt::InstallerKeyScope registry_;
  std::wstring root_;
};
kt::TestServer* PackageServer::server_ = nullptr;
kt::PackageTree PackageServer::release_, PackageServer::upgrade_;
std::string PackageServer::releaseZip_;

// The pin of these bytes, as a partner stamps it.
std::wstring PinOfBytes(const std::string& bytes) {
  win::Sha256 sha;
  auto digest = sha.Add(bytes.data(), bytes.size()) ? sha.Finish() : std::nullopt;
  return digest ? PinText(*digest) : L"<no hash>";
}

class PackageInstall : public PackageServer {
 protected:
  void SetUp() override {
    PackageServer::SetUp();
    folder_ = root_ + L"\\Chosen Folder";
    installDir_ = folder_ + L"\\" + kProduct;
    ASSERT_TRUE(kt::CreateFolders(folder_));
  }
  void TearDown() override {
    kt::RemoveProductRegistration();
    PackageServer::TearDown();
  }
  kt::TaskHostRun Install(const std::wstring& host, const std::wstring& keys = L"INSTALLQRE") {
    return kt::RunTaskHost(host, L"--folder \"" + folder_ + L"\" " + keys);
  }

  std::wstring folder_, installDir_;
};

TEST_F(PackageInstall, InstallsConfiguresAndRegistersTheProductInTheChosenFolder) {
  // What an earlier installation left: the product folder and the staging
  // folder of a run killed while it extracted. Beside them, a "build"
  // folder of the customer's own.
  const std::wstring staging = folder_ + L"\\" + kStagingFolderName;
  ASSERT_TRUE(kt::CreateFolders(installDir_) && kt::CreateFolders(staging + L"\\build"));
  ASSERT_TRUE(kt::WriteFileBytes(installDir_ + L"\\stale.txt", "old"));
  ASSERT_TRUE(kt::WriteFileBytes(staging + L"\\build\\half.txt", "half"));
  ASSERT_TRUE(kt::CreateFolders(folder_ + L"\\build\\src"));
  ASSERT_TRUE(kt::WriteFileBytes(folder_ + L"\\build\\src\\main.c", "the customer's own"));
  kt::FakeTool config(root_ + L"\\tools", L"DeployCfgCmd.exe");  // scripts the packaged copies
  kt::FakeTool launcher(root_ + L"\\tools", L"runportal.exe");

  const kt::TaskHostRun run = Install(Host("/QRE/zip/build4129.zip"), L"INSTALLQRE INITIIS INITDB FINALIZE");
  ASSERT_EQ(run.results.size(), 4u) << run.output;
  for (const auto& [key, result] : run.results) EXPECT_EQ(result, 1) << testing::PrintToString(key);
  EXPECT_EQ(run.installDir, installDir_) << "handed on to the tasks after INSTALLQRE";

  ExpectTree(installDir_, release_);
  EXPECT_FALSE(kt::Exists(installDir_ + L"\\stale.txt")) << "the old product folder is removed first";
  EXPECT_FALSE(kt::Exists(staging)) << "the staging folder is the installer's own: removed";
  EXPECT_EQ(kt::ReadFileBytes(folder_ + L"\\build\\src\\main.c"), "the customer's own");
  EXPECT_EQ(EntryNames(folder_ + L"\\build", L"*"), (std::vector<std::wstring>{L".", L"..", L"src"}))
      << "the customer's build folder gets nothing";
  EXPECT_EQ(InstallerText(kValueLastInstallPath), folder_);
  EXPECT_EQ(InstallerText(kValueInstallDir), installDir_);
  EXPECT_NE(std::find(run.statuses.begin(), run.statuses.end(), L"Preparing for installation..."), run.statuses.end());
  EXPECT_NE(std::find(run.statuses.begin(), run.statuses.end(), L"Extracting files..."), run.statuses.end());

  EXPECT_EQ(config.LogLines(), (std::vector<std::wstring>{L"DeployCfgCmd configapp",
                                                          L"DeployCfgCmd initdb true localhost\\MARROWFIELD # default"}));
  EXPECT_EQ(launcher.LogLines(), (std::vector<std::wstring>{L"runportal.exe"}));
  win::UniqueHkey entry = win::OpenKey(HKEY_LOCAL_MACHINE, kUninstallRoot + L"\\Marrowfield");
  ASSERT_TRUE(entry);
  EXPECT_EQ(win::QueryText(entry.get(), L"UninstallString", 1024).value_or(L""),
            L"\"" + installDir_ + L"\\KestrelSetup.exe\" -u");
  EXPECT_EQ(win::QueryText(entry.get(), L"DisplayIcon", 1024).value_or(L""), installDir_ + L"\\brand.ico,0");
  ASSERT_FALSE(run.questions.empty());
  EXPECT_EQ(run.questions.back().caption, L"Reboot");
  EXPECT_EQ(run.questions.back().text, L"Reboot is needed to complete the installation, reboot now?");
  EXPECT_EQ(run.questions.back().type, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(run.restarts, 0) << "No to the restart question";
  EXPECT_TRUE(run.traces.empty()) << testing::PrintToString(run.traces);
}

TEST_F(PackageInstall, TheInstalledCopyUninstallsThroughItsRegisteredCommand) {
  kt::FakeTool config(root_ + L"\\tools", L"DeployCfgCmd.exe");
  kt::FakeTool launcher(root_ + L"\\tools", L"runportal.exe");
  const kt::TaskHostRun run = Install(Host("/QRE/zip/build4129.zip"), L"INSTALLQRE INITIIS INITDB FINALIZE");
  ASSERT_EQ(run.result(), 1) << run.output;
  // What the configured product adds: its service and the database value.
  kt::TestService service(L"VEVer", L"");
  ASSERT_TRUE(service.StartAndWaitRunning());
  kt::SetInstallerText(kValueDbServer, L"localhost\\MARROWFIELD");
  {
    win::UniqueHkey other = win::CreateKey(HKEY_LOCAL_MACHINE, kUninstallRoot + L"\\Other Product");
    win::SetString(other.get(), L"DisplayName", L"Other Product");
  }
  // The registered command relaunches itself elevated, then shows its dialog.
  const std::wstring record = root_ + L"\\restart.txt";
  std::string failure;
  EXPECT_EQ(kt::RunRegisteredUninstall(record, IDNO, &failure), 3010) << failure;

  EXPECT_TRUE(kt::TestService::Remove(L"VEVer")) << "the service is gone";
  auto calls = config.LogLines();
  EXPECT_EQ(calls.empty() ? L"" : calls.back(), L"DeployCfgCmd uninstall");
  for (const auto& [path, bytes] : release_) {
    if (path == "KestrelSetup.exe" || path.back() == '/') continue;  // the running uninstaller goes at the restart
    const std::wstring local = kt::TreePath(installDir_, path);
    EXPECT_FALSE(kt::Exists(local)) << path;
  }
  const std::wstring desktop = win::SpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY, true);
  EXPECT_FALSE(kt::Exists(desktop + L"\\Marrowfield Portal.URL"));
  EXPECT_FALSE(kt::Exists(desktop + L"\\Marrowfield Cluster Manager.URL"));
  EXPECT_FALSE(kt::Exists(win::SpecialFolderPath(CSIDL_COMMON_PROGRAMS, true) + L"\\Marrowfield"));
  EXPECT_FALSE(win::OpenKey(HKEY_LOCAL_MACHINE, kUninstallRoot + L"\\Marrowfield"));
  EXPECT_TRUE(win::OpenKey(HKEY_LOCAL_MACHINE, kUninstallRoot + L"\\Other Product"));
  EXPECT_TRUE(kt::InstallerValueBytes(kValueDbServer).empty());
  EXPECT_EQ(InstallerText(kValueLastInstallPath), folder_);
  EXPECT_EQ(kt::InstallerValueBytes(kValueInstallState), (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_FALSE(kt::Exists(record)) << "No does not restart";
  win::UniqueHkey uninstall = win::OpenKey(HKEY_LOCAL_MACHINE, kUninstallRoot, KEY_ALL_ACCESS);
  ::RegDeleteTreeW(uninstall.get(), L"Other Product");
}

TEST_F(PackageInstall, FailuresShowTheirMessageAndSendTheirTrace) {
  struct Case {
    const char* name;
    std::string package;
    std::wstring productFolder;
    std::wstring message;
    std::string trace;
    bool productFolderRemoved;
  } const cases[] = {
      {"empty archive", "/QRE/empty.zip", kProduct, L"Failed to extract product installation package",
       "Failed to extract product installation package", true},
      {"no package on the server", "/missing.zip", kProduct, L"Failed to download product installation package",
       "Failed to download product installation package", false},
      {"path-like product folder", "/QRE/zip/build4129.zip", L"..\\" + kProduct,
       L"The product folder name of this installer is not valid.",
       "The product folder name of this installer is not valid.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(kt::CreateFolders(installDir_));
    ASSERT_TRUE(kt::WriteFileBytes(installDir_ + L"\\keep.txt", "old"));
    const kt::TaskHostRun run = Install(Host(c.package, c.productFolder));
    EXPECT_EQ(run.result(), 0) << run.output;
    EXPECT_EQ(run.questionTexts(), std::vector<std::wstring>{c.message});
    EXPECT_EQ(run.traces, std::vector<std::string>{c.trace});
    EXPECT_EQ(kt::Exists(installDir_ + L"\\keep.txt"), !c.productFolderRemoved);
    EXPECT_TRUE(kt::Exists(folder_)) << "the chosen folder itself is never deleted";
    EXPECT_EQ(InstallerText(kValueInstallDir), L"<missing or not REG_SZ>");
    ::DeleteFileW((DownloadFolder() + L"\\qre.zip").c_str());
  }
}

// The local HTTPS server accepts TLS 1.2 only. A 6.1 system's sessions ask
// for TLS 1.0 to 1.2 themselves, a 10.0 system's keep the system's
// defaults: both download the package over it.
TEST_F(PackageInstall, DownloadsOverTlsTwelveWithAndWithoutProtocolsAskedFor) {
  ASSERT_TRUE(kt::CreateFolders(root_ + L"\\tls-server"));
  kt::TestServer tls(root_ + L"\\tls-server", /*https=*/true);
  ASSERT_TRUE(tls.ok());
  ASSERT_TRUE(tls.AddFile("/QRE/release.zip", kt::PackageArchive(release_)));
  for (const wchar_t* windows : {L"win7", L"win10"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(windows)));
    const std::wstring host = kt::StampedTaskHost(
        root_, {{kStrPackageLink, kt::Widen(tls.HttpsUrl("/QRE/release.zip"))}, {kStrProductFolder, kProduct}});
    ASSERT_FALSE(host.empty());
    kt::SetWineVersionFor(L"task_host.exe", windows);
    const kt::TaskHostRun run = Install(host);
    kt::ClearWineVersionFor(L"task_host.exe");
    EXPECT_EQ(run.result(), 1) << run.output << testing::PrintToString(run.questionTexts());
    ExpectTree(installDir_, release_);
    kt::RemoveTree(installDir_);
    ::DeleteFileW((DownloadFolder() + L"\\qre.zip").c_str());
  }
  EXPECT_EQ(kt::LinesContaining(tls.Log(), "status=200").size(), 2u) << tls.Log();
}

TEST_F(PackageInstall, ARenameThatFailsNamesItsErrorAndBothFolders) {
  // A file held without delete sharing keeps the old product folder alive,
  // so the extracted tree cannot take its name.
  ASSERT_TRUE(kt::CreateFolders(installDir_));
  ASSERT_TRUE(kt::WriteFileBytes(installDir_ + L"\\in-use.dll", "in use"));
  win::UniqueHandle held(::CreateFileW((installDir_ + L"\\in-use.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  const kt::TaskHostRun run = Install(Host("/QRE/zip/build4129.zip"));
  EXPECT_EQ(run.result(), 0) << run.output;
  ASSERT_EQ(run.questions.size(), 1u);
  const std::wstring pattern = L"Failed to commit product installation package:-1, [0-9]+, " +
                               std::regex_replace(folder_ + L"\\" + kStagingFolderName + L"\\build, " + installDir_,
                                                  std::wregex(LR"([\\^$.|?*+()\[\]{}])"), L"\\$&");
  EXPECT_TRUE(std::regex_match(run.questions[0].text, std::wregex(pattern))) << testing::PrintToString(run.questions[0].text);
  EXPECT_EQ(run.questions[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(run.traces, std::vector<std::string>{"Failed to commit installation package"});
  EXPECT_EQ(InstallerText(kValueLastInstallPath), folder_);
  EXPECT_EQ(InstallerText(kValueInstallDir), L"<missing or not REG_SZ>");
}

// The package is checked against the pin stamped beside its link before
// anything is extracted, and the configuration tool runs only from a
// package that matched.
TEST_F(PackageInstall, APinnedPackageIsInstalledOnlyWhenItMatches) {
  const std::wstring right = PinOfBytes(releaseZip_), wrong = PinOfBytes("another package");
  const struct {
    const char* name;
    std::string path;
    std::wstring pin;  // empty: none stamped
    bool installed;
    const char* logged;
  } cases[] = {
      {"matches", "/QRE/zip/build4129.zip", right, true, "verified sha256:"},
      {"matches, served without a length", "/fault/no-length/QRE/zip/build4129.zip", right, true,
       "verified sha256:"},
      {"no pin", "/QRE/zip/build4129.zip", L"", true, "unverified (no pin)"},
      {"does not match", "/QRE/zip/build4129.zip", wrong, false, "sha256 mismatch"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kt::InstallerKeyScope registry;  // each case starts without the values of the one before
    kt::FakeTool config(root_ + L"\\tools", L"DeployCfgCmd.exe");
    std::map<unsigned, std::wstring> strings = {{kStrPackageLink, kt::Widen(server_->HttpUrl(c.path))},
                                                {kStrProductFolder, kProduct}};
    if (!c.pin.empty()) strings[kStrPackagePin] = c.pin;
    const std::wstring host = kt::StampedTaskHost(root_, strings);
    ASSERT_FALSE(host.empty());
    const std::wstring log = root_ + L"\\run.log";
    const kt::TaskHostRun run = Install(host, L"--log \"" + log + L"\" INSTALLQRE INITIIS");
    EXPECT_FALSE(kt::LinesContaining(kt::ReadFileBytes(log), c.logged).empty()) << kt::ReadFileBytes(log);
    if (c.installed) {
      ASSERT_EQ(run.results.size(), 2u) << run.output << testing::PrintToString(run.questionTexts());
      EXPECT_EQ(run.result(), 1);
      ExpectTree(installDir_, release_);
      EXPECT_EQ(config.LogLines(), std::vector<std::wstring>{L"DeployCfgCmd configapp"});
      EXPECT_TRUE(run.questions.empty()) << testing::PrintToString(run.questionTexts());
    } else {
      ASSERT_EQ(run.results.size(), 1u) << "nothing runs after the failed task";
      EXPECT_EQ(run.result(), 0);
      EXPECT_EQ(run.questionTexts(),
                (std::vector<std::wstring>{L"Verification of qre.zip failed: the file is not the one this installer "
                                           L"expects, so it was deleted and nothing was started.\nExpected " +
                                               wrong + L"\nReceived " + right,
                                           L"Failed to download product installation package"}));
      EXPECT_EQ(run.traces, (std::vector<std::string>{"payload mismatch:qre.zip expected " + WideToUtf8(wrong).value_or("") +
                                                          " received " + WideToUtf8(right).value_or(""),
                                                      "Failed to download product installation package"}));
      EXPECT_FALSE(kt::Exists(DownloadFolder() + L"\\qre.zip")) << "the package is gone";
      EXPECT_FALSE(kt::Exists(installDir_)) << "nothing extracted";
      EXPECT_FALSE(kt::Exists(folder_ + L"\\" + kStagingFolderName));
      EXPECT_TRUE(config.LogLines().empty()) << "the configuration tool never ran";
      EXPECT_EQ(InstallerText(kValueInstallDir), L"<missing or not REG_SZ>");
    }
    kt::RemoveTree(installDir_);
    kt::RemoveProductRegistration();
    ::DeleteFileW((DownloadFolder() + L"\\qre.zip").c_str());
  }
}

// An installed copy of the release, patched with the upgrade.
class PackageUpgrade : public PackageServer {
 protected:
  void InstallReleaseAt(const std::wstring& dir) {
    installDir_ = dir;
    ASSERT_TRUE(kt::WriteTree(dir, release_));
    ASSERT_TRUE(kt::WriteFileBytes(dir + L"\\root\\uploads.txt", "the user's data"));
    ASSERT_TRUE(::CopyFileW(kt::kFakeToolExe.c_str(), (dir + L"\\VantorisCloudMonitor.exe").c_str(), FALSE));
  }
  kt::TaskHostRun Upgrade() { return kt::RunTaskHost(Host("/QRE/zip/build4129.zip"), L"DOWNLOADPACKAGE UPGRADEPACKAGE"); }

  std::wstring installDir_;
};

TEST_F(PackageUpgrade, PatchesTheMarkedFolderAndMovesRunningProgramsAside) {
  kt::SetInstallerText(kValueLastInstallPath, root_);
  // Found by its marker, whatever its name.
  InstallReleaseAt(root_ + L"\\Renamed Product");
  // A folder of the customer's beside it, named like the package's top folder.
  ASSERT_TRUE(kt::CreateFolders(root_ + L"\\build"));
  ASSERT_TRUE(kt::WriteFileBytes(root_ + L"\\build\\notes.txt", "the customer's own"));
  kt::FakeTool monitorScript(root_ + L"\\tools", L"VantorisCloudMonitor.exe");
  kt::NamedEvent never(L"monitor");
  monitorScript.WaitFor(never);
  const std::wstring monitor = installDir_ + L"\\VantorisCloudMonitor.exe";
  kt::Process first = kt::Launch(monitor, L"");
  kt::Process second = kt::Launch(monitor, L"");
  ASSERT_TRUE(kt::WaitUntil([&] { return first.running() && second.running(); }));
  win::UniqueHandle tool(::CreateFileW((installDir_ + L"\\DeployCfgCmd.exe").c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(tool);

  const kt::TaskHostRun run = Upgrade();
  ASSERT_EQ(run.result(), 1) << run.output << testing::PrintToString(run.questionTexts());
  EXPECT_EQ(run.installDir, installDir_);
  EXPECT_TRUE(run.questions.empty());
  ExpectTree(installDir_, upgrade_);
  EXPECT_EQ(kt::ReadFileBytes(installDir_ + L"\\root\\uploads.txt"), "the user's data");
  EXPECT_FALSE(kt::Exists(root_ + L"\\" + kStagingFolderName)) << "the extracted tree is used up";
  EXPECT_EQ(kt::ReadFileBytes(root_ + L"\\build\\notes.txt"), "the customer's own");
  EXPECT_FALSE(kt::Exists(installDir_ + L"\\notes.txt")) << "nothing of the customer's moves into the product";
  EXPECT_FALSE(kt::Exists(root_ + L"\\" + kProduct));

  ASSERT_TRUE(kt::WaitUntil([&] { return !first.running() || !second.running(); }));
  EXPECT_NE(first.running(), second.running()) << "only the first monitor is ended";
  // The two files in use were renamed aside, each with its own suffix.
  const auto toolAside = AsideNames(installDir_, L"DeployCfgCmd.exe");
  const auto monitorAside = AsideNames(installDir_, L"VantorisCloudMonitor.exe");
  ASSERT_EQ(toolAside.size(), 1u);
  ASSERT_EQ(monitorAside.size(), 1u);
  EXPECT_TRUE(std::regex_match(toolAside[0], std::wregex(LR"(DeployCfgCmd\.exe_[0-9]+)"))) << toolAside[0];
  EXPECT_TRUE(std::regex_match(monitorAside[0], std::wregex(LR"(VantorisCloudMonitor\.exe_[0-9]+)"))) << monitorAside[0];
}

TEST_F(PackageUpgrade, WithoutLastInstallPathTheProductIsUnderProgramFiles) {
  const std::wstring programFiles = win::SpecialFolderPath(CSIDL_PROGRAM_FILES, true);
  const std::wstring dir = programFiles + L"\\" + kProduct;
  kt::RemoveTree(dir);
  kt::RemoveTree(programFiles + L"\\" + kStagingFolderName);
  InstallReleaseAt(dir);
  kt::RemoveTree(dir + L"\\vantdepot");  // no marker: the product folder name decides
  const kt::TaskHostRun run = Upgrade();
  EXPECT_EQ(run.result(), 1) << run.output << testing::PrintToString(run.questionTexts());
  EXPECT_EQ(run.installDir, dir);
  ExpectTree(dir, upgrade_);
  EXPECT_FALSE(kt::Exists(programFiles + L"\\" + kStagingFolderName));
  kt::RemoveTree(dir);
}

TEST_F(PackageUpgrade, AFileThatCannotBeRenamedStopsWithBothMessages) {
  kt::SetInstallerText(kValueLastInstallPath, root_);
  InstallReleaseAt(root_ + L"\\" + kProduct);
  // Held without delete sharing: neither replaced nor renamed. Files
  // patched before it stay patched.
  win::UniqueHandle held(::CreateFileW((installDir_ + L"\\root\\web.config").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  // The two halves one after the other, so that the order in which the
  // patch walks the extracted tree can be read in between: the walk lists
  // the entries of that tree as the file system does.
  const std::wstring host = Host("/QRE/zip/build4129.zip");
  ASSERT_EQ(kt::RunTaskHost(host, L"DOWNLOADPACKAGE").result(), 1);
  struct Order : win::FolderVisitor {
    win::WalkStep Visit(const win::FolderEntry& entry) override {
      if (!entry.IsFolder()) paths.push_back(entry.relativePath);
      return win::WalkStep::kContinue;
    }
    std::vector<std::wstring> paths;
  } order;
  win::WalkFolder(root_ + L"\\" + kStagingFolderName + L"\\build", order);
  const auto failed = std::find(order.paths.begin(), order.paths.end(), L"root\\web.config");
  ASSERT_NE(failed, order.paths.end());

  const kt::TaskHostRun run = kt::RunTaskHost(host, L"UPGRADEPACKAGE");
  EXPECT_EQ(run.result(), 0) << run.output;
  ASSERT_EQ(run.questions.size(), 2u) << testing::PrintToString(run.questionTexts());
  EXPECT_EQ(run.questions[0].text.rfind(L"Patching:web.config\n" + installDir_ + L"\\root\\web.config, Failed:", 0), 0u)
      << testing::PrintToString(run.questions[0].text);
  EXPECT_TRUE(std::regex_match(run.questions[1].text,
                               std::wregex(L"Failed to commit product installation package:-?[0-9]+")))
      << testing::PrintToString(run.questions[1].text);
  EXPECT_EQ(run.statuses.back(), L"Patching:web.config") << "the row names the file of the messages";
  EXPECT_EQ(kt::ReadFileBytes(installDir_ + L"\\root\\web.config"), release_.at("root/web.config"));
  // What came before the failure in the walk is replaced, what came after
  // is untouched.
  for (auto it = order.paths.begin(); it != order.paths.end(); ++it) {
    if (it == failed) continue;
    std::string path = WideToUtf8(*it).value_or(std::string());
    std::replace(path.begin(), path.end(), '\\', '/');
    if (release_.count(path) == 0) continue;
    const bool before = it < failed;
    const std::string& expected = before ? upgrade_.at(path) : release_.at(path);
    EXPECT_TRUE(kt::ReadFileBytes(kt::TreePath(installDir_, path)) == expected)
        << path << (before ? " was patched before" : " came after");
  }
}

}  // namespace
