// The task keys of the install and upgrade lists (compared without regard
// to case).
#pragma once

namespace kestrel {

inline constexpr wchar_t kTaskDismNetFx4[] = L"StartDismCmdProcessEx";
inline constexpr wchar_t kTaskInstallNet[] = L"INSTALLNET";
inline constexpr wchar_t kTaskInstallSql[] = L"INSTALLSQL";
inline constexpr wchar_t kTaskConfigIis2008[] = L"ConfigIIS2008";
inline constexpr wchar_t kTaskConfigIis2008R2[] = L"ConfigIIS2008R2";
inline constexpr wchar_t kTaskConfigIis2012[] = L"ConfigIIS2012";
inline constexpr wchar_t kTaskConfigIisWin7[] = L"ConfigIISWin7";
inline constexpr wchar_t kTaskInstallPackage[] = L"INSTALLQRE";
inline constexpr wchar_t kTaskInitIis[] = L"INITIIS";
inline constexpr wchar_t kTaskInitDb[] = L"INITDB";
inline constexpr wchar_t kTaskFinalize[] = L"FINALIZE";

inline constexpr wchar_t kTaskStopService[] = L"STOPSVC";
inline constexpr wchar_t kTaskDownloadPackage[] = L"DOWNLOADPACKAGE";
inline constexpr wchar_t kTaskStopIis[] = L"STOPIIS";
inline constexpr wchar_t kTaskUpgradePackage[] = L"UPGRADEPACKAGE";
inline constexpr wchar_t kTaskStartIis[] = L"STARTIIS";
inline constexpr wchar_t kTaskStartService[] = L"STARTSVC";
inline constexpr wchar_t kTaskFinalizeUpgrade[] = L"FINALIZEUPGRADE";

}  // namespace kestrel
