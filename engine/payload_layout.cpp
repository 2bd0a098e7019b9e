#include "engine/payload_layout.h"

#include "core/builtin_strings.h"
#include "core/text_convert.h"
#include "net/audit_trace.h"
#include "net/download.h"
#include "net/download_text.h"
#include "res/resource_ids.h"
#include "win/run_log.h"

namespace kestrel {
namespace {

// Every download link: the product package and its upgrade, the .NET
// installer, and the SQL Server Express packages of each Windows class
// and bitness.
constexpr unsigned kLayoutLinks[] = {kStrPackageLink, kStrUpgradeLink, kStrDotNetLink,    kStrSql64Link,
                                     kStrSql86Link,   kStrSql2012Link, kStrSql2012x86Link};

int FetchPayload(TaskContext& ctx, const std::wstring& folder) {
  const unsigned link = static_cast<unsigned>(std::wcstoul(ctx.Argument().c_str(), nullptr, 10));
  const auto url = LoadBuiltInStringUtf8(link);
  const std::wstring name = url ? Utf8ToWide(PayloadFileName(*url)).value_or(std::wstring()) : std::wstring();
  if (name.empty()) return 0;
  if (!DownloadToFile(ctx, folder + L"\\" + name, *url, LoadLinkPin(link))) {
    ctx.Ask(L"Failed to download " + name, MB_OK);
    return 0;
  }
  return 1;
}

}  // namespace

std::wstring ListLayoutPayloads(std::vector<LayoutPayload>& payloads) {
  payloads.clear();
  for (unsigned link : kLayoutLinks) {
    const auto url = LoadBuiltInStringUtf8(link);
    if (!url) continue;
    const std::wstring name = Utf8ToWide(PayloadFileName(*url)).value_or(std::wstring());
    if (name.empty())
      return L"The link " + std::to_wstring(link) + L" names no file: " + Utf8ToWide(*url).value_or(L"?");
    for (const LayoutPayload& other : payloads) {
      if (_wcsicmp(other.name.c_str(), name.c_str()) == 0)
        return L"The links " + std::to_wstring(other.link) + L" and " + std::to_wstring(link) +
               L" have the same file name " + name + L": a layout folder can hold only one of them.";
    }
    payloads.push_back({link, *url, name});
  }
  return {};
}

void BuildLayoutTaskList(TaskRows& rows, const std::vector<LayoutPayload>& payloads) {
  rows.DeleteAllRows();
  for (const LayoutPayload& payload : payloads) {
    const int row = rows.AppendRow(kTaskLayout);
    if (row < 0) continue;
    rows.SetItemTextIfChanged(row, kColumnLabel, L"Download " + payload.name);
    rows.SetItemTextIfChanged(row, kColumnArgument, std::to_wstring(payload.link));
  }
}

std::vector<TaskEntry> LayoutTaskTable(const std::wstring& folder) {
  return {{kTaskLayout, [folder](TaskContext& ctx) { return FetchPayload(ctx, folder); }}};
}

}  // namespace kestrel
