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

}  // namespace kt
