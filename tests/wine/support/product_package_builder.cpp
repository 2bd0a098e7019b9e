#include "support/product_package_builder.h"

#include "support/process_fixtures.h"
#include "support/test_support.h"
#include "tests/support/zip_test_support.h"

namespace zt = kestrel::ziptest;

namespace kt {

PackageTree ProductTree(const std::string& version, const PackageTree& extra) {
  const std::string fakeTool = ReadFileBytes(kFakeToolExe);
  PackageTree tree = {
      {"DeployCfgCmd.exe", fakeTool},
      {"runportal.exe", fakeTool},
      {"brand.ico", ReadFileBytes(kSourceDir + L"\\res\\app.ico")},
      {"KestrelSetup.exe", ReadFileBytes(kInstallerExe)},
      {"root/", ""},
      {"root/web.config", "<?xml version=\"1.0\"?>\r\n<configuration>\r\n</configuration>\r\n"},
      {"vantdepot/", ""},
      {"vantdepot/version.txt", version},
      {"portal/WebAppPage.aspx", "<html>portal " + version + "</html>"},
  };
  for (const auto& [path, bytes] : extra) tree[path] = bytes;
  return tree;
}

std::string PackageArchive(const PackageTree& tree) {
  std::vector<zt::ZipEntrySpec> entries = {zt::Entry("build/")};
  for (const auto& [path, bytes] : tree)
    entries.push_back(zt::Entry("build/" + path, bytes, path.back() == '/' ? 0 : 8));
  return zt::BuildZipBytes(entries);
}

std::wstring TreePath(const std::wstring& folder, const std::string& path) {
  std::wstring local = folder + L"\\" + Widen(path);
  for (auto& c : local)
    if (c == L'/') c = L'\\';
  if (local.back() == L'\\') local.pop_back();
  return local;
}

bool WriteTree(const std::wstring& folder, const PackageTree& tree) {
  for (const auto& [path, bytes] : tree) {
    const std::wstring local = TreePath(folder, path);
    if (path.back() == '/') {
      if (!CreateFolders(local)) return false;
    } else if (!CreateFolders(local.substr(0, local.rfind(L'\\'))) || !WriteFileBytes(local, bytes)) {
      return false;
    }
  }
  return true;
}

bool SameTree(const std::wstring& folder, const PackageTree& tree, std::string* difference) {
  for (const auto& [path, bytes] : tree) {
    const std::wstring local = TreePath(folder, path);
    const bool same = path.back() == '/' ? Exists(local) : Exists(local) && ReadFileBytes(local) == bytes;
    if (!same) {
      if (difference) *difference = path;
      return false;
    }
  }
  return true;
}

}  // namespace kt
