// Counts how often each feature-enabling handler starts the feature listing
// ("Dism.exe /online /get-features /English") in one run, with the fake tool
// standing in for Dism.exe, PkgMgr.exe and ServerManagerCmd.exe in the
// prefix's system folder. Two starting points per handler:
//   fresh     - none of the handler's features is on; each enable run turns
//               its feature on;
//   installed - every feature is already on (a repeated run, Retry).
// Beside the measured count it prints the count the handler's description
// implies (one listing before each item and, for Dism, one after each run)
// and the least any handler needs (one listing, plus one after each run).
// A real listing takes seconds on Windows; here each one is a start of the
// fake tool, so the times show the cost of the process starts under Wine.
//   dism_listing_bench.exe
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/windows_features.h"
#include "net/audit_trace.h"
#include "support/process_fixtures.h"
#include "support/recording_context.h"
#include "support/test_support.h"

namespace {

const std::wstring kQuery = L"Dism.exe /online /get-features /English";

enum class Family { kDism, kPkgMgr, kServerManager };

struct Handler {
  const char* key;
  Family family;
  std::vector<std::string> features;  // plain names as the listing shows them
  std::function<int(kestrel::TaskContext&)> run;
};

std::vector<Handler> Handlers() {
  return {
      {"ConfigIIS2008R2", Family::kDism,
       {"IIS-WebServerRole", "IIS-WebServer", "IIS-ManagementConsole", "IIS-ISAPIFilter", "IIS-ISAPIExtensions",
        "IIS-NetFxExtensibility", "IIS-DefaultDocument", "IIS-ASPNET", "NetFx3", "WAS-WindowsActivationService",
        "WAS-ProcessModel", "WAS-NetFxEnvironment", "WAS-ConfigurationAPI", "WCF-HTTP-Activation",
        "IIS-StaticContent", "IIS-HttpRedirect"},
       [](kestrel::TaskContext& ctx) { return kestrel::ConfigIIS2008R2(ctx); }},
      {"ConfigIIS2012", Family::kDism,
       {"IIS-WebServerRole", "IIS-WebServer", "IIS-ManagementConsole", "IIS-ASPNET45", "WCF-HTTP-Activation45",
        "IIS-StaticContent", "IIS-HttpRedirect"},
       [](kestrel::TaskContext& ctx) { return kestrel::ConfigIIS2012(ctx); }},
      {"StartDismCmdProcessEx", Family::kDism, {"NETFx4"},
       [](kestrel::TaskContext& ctx) { return kestrel::EnableFeatureDismAll(ctx, L"NETFx4", 240); }},
      // The Windows 7 items are paths; only the first can ever be found in a
      // listing, so PkgMgr runs for the others whatever the listing says.
      {"ConfigIISWin7", Family::kPkgMgr,
       {"IIS-WebServerRole", "IIS-WebServer", "IIS-ApplicationDevelopment", "IIS-ASPNET", "IIS-ISAPIFilter",
        "IIS-ISAPIExtensions", "IIS-NetFxExtensibility", "WCF-HTTP-Activation", "IIS-CommonHttpFeatures",
        "IIS-DefaultDocument", "IIS-HttpErrors", "IIS-HttpRedirect", "IIS-StaticContent",
        "IIS-WebServerManagementTools", "IIS-ManagementConsole", "IIS-ManagementScriptingTools",
        "IIS-ManagementService"},
       [](kestrel::TaskContext& ctx) { return kestrel::ConfigIISWin7(ctx); }},
      {"ConfigIIS2008", Family::kServerManager, {"Web-Server", "Web-Mgmt-Console", "Web-Asp-Net", "NET-HTTP-Activation"},
       [](kestrel::TaskContext& ctx) { return kestrel::ConfigIIS2008(ctx); }},
  };
}

// Item counts of the handlers (the Windows 7 list has 18 items for 17 names).
size_t Items(const Handler& h) { return std::string(h.key) == "ConfigIISWin7" ? 18 : h.features.size(); }

// The count the handler's description implies.
size_t DescribedListings(const Handler& h, bool fresh, size_t runs) {
  switch (h.family) {
    case Family::kDism:
      return Items(h) + (fresh ? runs : 0);
    case Family::kPkgMgr:
      return Items(h);
    case Family::kServerManager:
      return 0;
  }
  return 0;
}

// The least a handler can do: one listing for the already-enabled tests
// while nothing runs, and one after each waited-for run. PkgMgr runs are
// not waited for, so each item after one needs its own listing.
size_t LeastListings(const Handler& h, bool fresh, size_t runs) {
  switch (h.family) {
    case Family::kDism:
      return 1 + (fresh ? runs : 0);
    case Family::kPkgMgr:
      return Items(h);
    case Family::kServerManager:
      return 0;
  }
  return 0;
}

// A listing of the handler's features plus the usual crowd of others.
std::vector<std::pair<std::string, std::string>> ListingFor(const Handler& h, bool enabled) {
  std::vector<std::pair<std::string, std::string>> listing;
  for (int i = 0; i < 150; ++i) listing.emplace_back("Other-Feature-" + std::to_string(i), "Disabled");
  for (const std::string& f : h.features) listing.emplace_back(f, enabled ? "Enabled" : "Disabled");
  return listing;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain() {
  // The audit trace is not configured here: traces are only recorded.
  const std::wstring listing = kt::ScratchFolder(L"dism-listing-bench") + L"\\listing.txt";
  std::printf("%-22s %-9s %5s %8s %9s %9s %6s %6s %8s\n", "handler", "start", "items", "listings", "described",
              "least", "runs", "result", "seconds");
  int status = 0;
  for (const Handler& h : Handlers()) {
    for (bool fresh : {true, false}) {
      kt::FakeTool dism(kt::SystemFolder(), L"Dism.exe");
      kt::FakeTool pkgmgr(kt::SystemFolder(), L"PkgMgr.exe");
      kt::FakeTool serverManager(kt::SystemFolder(), L"ServerManagerCmd.exe");
      if (!kt::WriteListing(listing, ListingFor(h, !fresh))) {
        std::fprintf(stderr, "cannot write %ls\n", listing.c_str());
        return 1;
      }
      dism.SetListing(listing, true);
      dism.SetExitCodes(L"0");
      pkgmgr.SetExitCodes(L"0");
      serverManager.SetExitCodes(L"0");
      kt::RecordingContext ctx;

      LARGE_INTEGER start, end;
      ::QueryPerformanceCounter(&start);
      const int result = h.run(ctx);
      ::QueryPerformanceCounter(&end);

      size_t listings = 0, runs = 0;
      for (const std::wstring& line : dism.LogLines()) (line == kQuery ? listings : runs)++;
      // PkgMgr is not waited for: count its starts once they have all
      // logged (every item but an already-enabled first one starts it).
      if (h.family == Family::kPkgMgr) pkgmgr.WaitForLogLines(Items(h) - (fresh ? 0 : 1));
      runs += pkgmgr.LogLines().size() + serverManager.LogLines().size();
      std::printf("%-22s %-9s %5zu %8zu %9zu %9zu %6zu %6d %8.2f\n", h.key, fresh ? "fresh" : "installed", Items(h),
                  listings, DescribedListings(h, fresh, runs), LeastListings(h, fresh, runs), runs, result,
                  Seconds(start, end));
      std::printf("RESULT dism-%s-%s listings=%zu described=%zu least=%zu runs=%zu\n", h.key,
                  fresh ? "fresh" : "installed", listings, DescribedListings(h, fresh, runs),
                  LeastListings(h, fresh, runs), runs);
      if (result != 1) status = 1;
    }
  }
  return status;
}
