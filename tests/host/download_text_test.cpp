#include "net/download_text.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using kestrel::ProgressText;
using kestrel::SizeText;
using kestrel::SplitUrl;

TEST(SizeText, UnitBoundariesAndWidth) {
  constexpr uint64_t KB = 1024, MB = KB * KB, GB = MB * KB, TB = GB * KB;
  const struct {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "  0.00 KB"},
      {1023, "  1.00 KB"},
      {MB, "1024.00 KB"},  // exactly 1 MB still counts in KB
      {MB + 1, "  1.00 MB"},
      {1572864, "  1.50 MB"},
      {10485760, " 10.00 MB"},
      {GB - 1, "1024.00 MB"},
      {GB, "  1.00 GB"},
      {TB, "1024.00 GB"},  // exactly 1 TB still counts in GB
      {TB + 1, "  1.00 TB"},
      {UINT64_MAX, "16777216.00 TB"},  // an unknown total (-1) shows this
  };
  for (const auto& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

TEST(ProgressText, KnownAndUnknownTotal) {
  EXPECT_EQ(ProgressText(1572864, 10485760), L"#Progress:1572864 10485760@@Download:  1.50 MB of  10.00 MB");
  EXPECT_EQ(ProgressText(65536, -1), L"#Progress:65536 -1@@Download: 64.00 KB of 16777216.00 TB");
}

TEST(RangeValue, OpenEndedFromOffset) {
  EXPECT_EQ(kestrel::RangeValue(0), "bytes=0-");
  EXPECT_EQ(kestrel::RangeValue(5000000000ull), "bytes=5000000000-");
}

TEST(SplitUrl, SchemesHostsPortsAndPaths) {
  const struct {
    const char* url;
    bool secure;
    int port;
    bool explicitPort;
    const char* host;
    const char* path;
  } cases[] = {
      {"http://example.test/a/b.zip?x=1", false, 80, false, "example.test", "/a/b.zip?x=1"},
      {"HTTPS://Example.test/p", true, 443, false, "Example.test", "/p"},
      {"https://example.test", true, 443, false, "example.test", "/"},  // no path asks for "/"
      {"http://example.test", false, 80, false, "example.test", "/"},
      {"http://localhost:8080/x", false, 8080, true, "localhost", "/x"},
      {"https://localhost:4443", true, 4443, true, "localhost", "/"},
      {"http://[::1]:81/x", false, 81, true, "[::1]", "/x"},
      {"http://[::1]/x", false, 80, false, "[::1]", "/x"},
      {"http://host:99999/x", false, 80, false, "host:99999", "/x"},  // not a port: left to the host name
      {"http://host:/x", false, 80, false, "host:", "/x"},
      {"ftp:/x/y", false, 80, false, "y", "/"},  // any other seven characters count as the scheme
      {"http:/", false, 80, false, "", "/"},
  };
  for (const auto& c : cases) {
    auto p = SplitUrl(c.url);
    EXPECT_EQ(p.secure, c.secure) << c.url;
    EXPECT_EQ(p.port, c.port) << c.url;
    EXPECT_EQ(p.explicitPort, c.explicitPort) << c.url;
    EXPECT_EQ(p.host, c.host) << c.url;
    EXPECT_EQ(p.path, c.path) << c.url;
  }
}

}  // namespace

namespace {

TEST(PayloadFileName, TheLastComponentOfTheLinkWithoutQuery) {
  struct Case {
    const char* url;
    const char* name;
  } const cases[] = {
      {"http://dl.example/QRE/zip/build4129.zip", "build4129.zip"},
      {"https://dl.example:8443/a/b/netfull.exe?token=1/2#x", "netfull.exe"},
      {"HTTP://dl.example/sql64.zip#part", "sql64.zip"},
      {"file:upgrade.zip", "upgrade.zip"},
      {"FILE:sub\\pkg.zip", "pkg.zip"},
      {"http://dl.example/", ""},
      {"http://dl.example", ""},
      {"http://dl.example/a/..", ""},
      {"http://dl.example/a/.?x", ""},
      {"file:C:pkg.zip", ""},
      {"http://dl.example/pkg.zip:stream", ""},
      {"not a link", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(kestrel::PayloadFileName(c.url), c.name) << c.url;
}

}  // namespace
