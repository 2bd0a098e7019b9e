#include "engine/sql_express.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/builtin_strings.h"
#include "core/run_values.h"
#include "engine/child_process.h"
#include "engine/product_package.h"
#include "engine/zip_extract.h"
#include "net/download.h"
#include "win/handle.h"
#include "win/shell.h"

namespace kestrel {
namespace {

// Room for a looked-up "<domain>\<account>".
constexpr DWORD kAccountNameCapacity = 4096;

// Which package suits this Windows, where its setup lies inside it, and
// whether that setup wants the licence accepted on its command line.
struct SqlPackage {
  UINT link;
  const wchar_t* setupSubPath;
  bool licenceSwitch;
};

SqlPackage ChooseSqlPackage() {
  const bool wide = Is64BitWindows();
  if (g_isServer2012Plus || g_isClient8Plus)
    return {wide ? UINT{kStrSql2012Link} : UINT{kStrSql2012x86Link}, L"\\sql2012\\Setup.exe", true};
  if (wide) return {kStrSql64Link, L"\\sql64\\Setup.exe", false};
  return {kStrSql86Link, L"\\sql32\\Setup.exe", false};
}

// The setup needs the names of the service account and of the group that
// administers the instance as the running Windows spells them. These are
// the English, German, French, Italian and Spanish spellings; the names
// looked up on this machine come last.
struct AccountNames {
  const wchar_t* serviceAccount;
  const wchar_t* sysadminGroup;
};
constexpr AccountNames kSpelledAccountNames[] = {
    {L"NT AUTHORITY\\Network Service", L"Builtin\\Administrators"},
    {L"NT-AUTORIT\u00C4T\\NETZWERKDIENST", L"VORDEFINIERT\\Administratoren"},
    {L"AUTORITE NT\\SERVICE R\u00C9SEAU", L"BUILTIN\\Administrators"},
    {L"NT AUTHORITY\\SERVIZIO DI RETE", L"BUILTIN\\Administrators"},
    {L"NT AUTHORITY\\SERVICIO DE RED", L"BUILTIN\\Administradores"},
};

std::wstring SetupCommandLine(bool licenceSwitch, const std::wstring& serviceAccount, const std::wstring& sysadminGroup) {
  return std::wstring(L"Setup.exe  /q ") + (licenceSwitch ? L"/IACCEPTSQLSERVERLICENSETERMS " : L"") +
         L"/Action=Install /SQLSVCACCOUNT=\"" + serviceAccount +
         L"\" /Hideconsole /Features=SQL,Tools /InstanceName=Marrowfield /SQLSYSADMINACCOUNTS=\"" + sysadminGroup +
         L"\"";
}

std::wstring LookedUpName(WELL_KNOWN_SID_TYPE type, bool& ok) {
  std::vector<wchar_t> name(kAccountNameCapacity);
  DWORD capacity = kAccountNameCapacity;
  ok = GetWellKnownAccountName(type, name.data(), capacity);
  return ok ? std::wstring(name.data()) : std::wstring();
}

}  // namespace

bool GetWellKnownAccountName(WELL_KNOWN_SID_TYPE type, wchar_t* name, DWORD& capacity) {
  BYTE sid[2048];
  DWORD sidSize = sizeof sid;
  if (!::CreateWellKnownSid(type, nullptr, sid, &sidSize)) return false;

  std::wstring account(1024, L'\0'), domain(1024, L'\0');
  SID_NAME_USE use;
  for (;;) {
    DWORD accountSize = static_cast<DWORD>(account.size()), domainSize = static_cast<DWORD>(domain.size());
    if (::LookupAccountSidW(nullptr, sid, account.data(), &accountSize, domain.data(), &domainSize, &use)) break;
    // A name longer than the buffers: the sizes now say what is needed.
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || (accountSize <= account.size() && domainSize <= domain.size()))
      return false;
    account.resize(std::max<size_t>(accountSize, account.size()));
    domain.resize(std::max<size_t>(domainSize, domain.size()));
  }
  account.resize(std::wcslen(account.c_str()));
  domain.resize(std::wcslen(domain.c_str()));

  const std::wstring composed = domain + L"\\" + account;
  const DWORD given = capacity;
  capacity = static_cast<DWORD>(composed.size());
  if (composed.size() >= given) return false;
  std::memcpy(name, composed.c_str(), (composed.size() + 1) * sizeof(wchar_t));
  return true;
}

bool IsSqlInstancePresent() {
  win::UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  win::UniqueService service(::OpenServiceW(manager.get(), kSqlInstanceService, SERVICE_QUERY_STATUS));
  return static_cast<bool>(service);
}

int InstallSqlExpress(TaskContext& ctx) {
  if (IsSqlInstancePresent()) return 1;

  const std::wstring package = DownloadFolder() + L"\\sqlsvr.zip";
  const SqlPackage choice = ChooseSqlPackage();
  const auto link = LoadBuiltInStringUtf8(choice.link);
  if (!link) {
    ctx.Ask(L"Download link for the specified product is missing.", MB_OK);
    return 0;
  }
  if (!DownloadToFile(ctx, package, *link, LoadLinkPin(choice.link))) {
    ctx.Ask(L"Failed to download SQL Server Express package", MB_OK);
    return 0;
  }

  const std::wstring extracted = win::SpecialFolderPath(CSIDL_LOCAL_APPDATA, true) + L"\\sqltemp";
  ::CreateDirectoryW(extracted.c_str(), nullptr);
  ctx.SetStatus(L"Extracting files...");
  // A damaged package shows up as setup runs that cannot start.
  ExtractZip(package, extracted);
  const std::wstring setup = extracted + choice.setupSubPath;

  // A run that ends in time, whatever its exit code, ends the attempts; a
  // run still going after its budget is left to itself while the next
  // spelling is tried.
  for (const AccountNames& names : kSpelledAccountNames) {
    if (RunAndWait(ctx, setup, SetupCommandLine(choice.licenceSwitch, names.serviceAccount, names.sysadminGroup),
                   ctx.Settings().setupBudget))
      return IsSqlInstancePresent() ? 1 : 0;
  }

  bool accountOk = false, groupOk = false;
  const std::wstring account = LookedUpName(WinNetworkServiceSid, accountOk);
  const std::wstring group = LookedUpName(WinBuiltinAdministratorsSid, groupOk);
  if (!accountOk || !groupOk) return 0;
  if (!RunAndWait(ctx, setup, SetupCommandLine(choice.licenceSwitch, account, group), ctx.Settings().setupBudget)) return 0;
  return IsSqlInstancePresent() ? 1 : 0;
}

}  // namespace kestrel
