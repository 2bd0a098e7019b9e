// What the installer relies on from the product package: the names and
// places of its programs, their command lines and the exit codes the
// configuration tool reports. Everything else inside the package is the
// product's own business.
#pragma once

namespace kestrel::product {

// The archive's single top-level folder (installation and upgrade package).
inline constexpr wchar_t kPackageTopFolder[] = L"build";

// The folder whose presence marks an installed product directory.
inline constexpr wchar_t kMarkerFolder[] = L"vantdepot";

// Programs and files in the product directory.
inline constexpr wchar_t kConfigToolExe[] = L"DeployCfgCmd.exe";
inline constexpr wchar_t kLauncherExe[] = L"runportal.exe";
inline constexpr wchar_t kBrandIcon[] = L"brand.ico";
inline constexpr wchar_t kUninstallerExe[] = L"KestrelSetup.exe";
inline constexpr wchar_t kWebConfig[] = L"root\\web.config";
inline constexpr wchar_t kMonitorExe[] = L"VantorisCloudMonitor.exe";

// The monitor's Windows service, stopped and started around an upgrade.
inline constexpr wchar_t kMonitorService[] = L"VEVer";

// Command lines: the first token is the bare program name.
inline constexpr wchar_t kConfigAppCommand[] = L"DeployCfgCmd configapp";
inline constexpr wchar_t kInitDbCommand[] = L"DeployCfgCmd initdb";
inline constexpr wchar_t kUninstallCommand[] = L"DeployCfgCmd uninstall";
inline constexpr wchar_t kLauncherCommand[] = L"runportal.exe";

// Pages of the installed product on the local web server.
inline constexpr wchar_t kPortalPage[] = L"/portal/WebAppPage.aspx";
inline constexpr wchar_t kClusterPage[] = L"/management/ClusterMgr.aspx";

// Exit codes of the configuration tool. Any other non-zero code is a failure.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitDatabaseUnreachable = 85;
inline constexpr int kExitWebServerNotReady = 86;
inline constexpr int kExitWebServerNotReadyToo = 87;

}  // namespace kestrel::product
