#include "core/os_classify.h"

#include <gtest/gtest.h>

namespace {

using kestrel::ClassifyOsVersion;
using kestrel::OsFlags;
using kestrel::OsVersionData;

constexpr uint8_t kWorkstation = 1, kDomainController = 2, kServer = 3;

enum Flag { kNone, kServer2008, kWin7, kServer2008R2, kServer2012Plus, kClient8Plus };

int FlagCount(const OsFlags& f) {
  return f.isServer2008 + f.isWin7 + f.isServer2008R2 + f.isServer2012Plus + f.isClient8Plus;
}

Flag WhichFlag(const OsFlags& f) {
  if (f.isServer2008) return kServer2008;
  if (f.isWin7) return kWin7;
  if (f.isServer2008R2) return kServer2008R2;
  if (f.isServer2012Plus) return kServer2012Plus;
  if (f.isClient8Plus) return kClient8Plus;
  return kNone;
}

struct Case {
  const char* name;
  OsVersionData version;
  int32_t result;
  Flag flag;
};

TEST(OsClassify, VersionTable) {
  const Case cases[] = {
      {"query failed", {false, 6, 1, 1, kServer}, 1001, kNone},
      {"XP", {true, 5, 1, 3, kWorkstation}, 1002, kNone},
      {"Server 2003", {true, 5, 2, 2, kServer}, 1002, kNone},
      {"Vista SP1", {true, 6, 0, 1, kWorkstation}, 1003, kNone},
      {"Server 2008 SP1", {true, 6, 0, 1, kServer}, 1003, kNone},
      {"Vista SP2", {true, 6, 0, 2, kWorkstation}, 0, kNone},
      {"Server 2008 SP2", {true, 6, 0, 2, kServer}, 0, kServer2008},
      {"Server 2008 SP3", {true, 6, 0, 3, kServer}, 0, kServer2008},
      {"Server 2008 SP2 domain controller", {true, 6, 0, 2, kDomainController}, 0, kServer2008},
      {"Windows 7 (no service pack)", {true, 6, 1, 0, kWorkstation}, 0, kWin7},
      {"Server 2008 R2", {true, 6, 1, 1, kServer}, 0, kServer2008R2},
      {"Server 2008 R2 domain controller", {true, 6, 1, 0, kDomainController}, 0, kServer2008R2},
      {"Windows 8 / 10 as 6.2", {true, 6, 2, 0, kWorkstation}, 0, kClient8Plus},
      {"Windows 8.1 as 6.3", {true, 6, 3, 0, kWorkstation}, 0, kClient8Plus},
      {"Server 2012 R2 / 2016 as 6.2", {true, 6, 2, 0, kServer}, 0, kServer2012Plus},
      {"Server 6.3", {true, 6, 3, 0, kServer}, 0, kServer2012Plus},
      {"Server 6.9 domain controller", {true, 6, 9, 0, kDomainController}, 0, kServer2012Plus},
      {"workstation 7.0", {true, 7, 0, 0, kWorkstation}, 0, kClient8Plus},
      {"Windows 10 as 10.0", {true, 10, 0, 0, kWorkstation}, 0, kClient8Plus},
      {"server 7.0: no flag", {true, 7, 0, 0, kServer}, 0, kNone},
      {"server 9.9: no flag", {true, 9, 9, 0, kServer}, 0, kNone},
      {"server 10.0", {true, 10, 0, 0, kServer}, 0, kServer2012Plus},
      {"server 11.0", {true, 11, 0, 0, kServer}, 0, kServer2012Plus},
  };
  for (const Case& c : cases) {
    OsFlags flags;
    EXPECT_EQ(ClassifyOsVersion(c.version, flags), c.result) << c.name;
    EXPECT_EQ(WhichFlag(flags), c.flag) << c.name;
    EXPECT_LE(FlagCount(flags), 1) << c.name;
  }
}

TEST(OsClassify, TwiceKeepsTheSameSingleFlag) {
  OsFlags flags;
  const OsVersionData r2{true, 6, 1, 1, kServer};
  ASSERT_EQ(ClassifyOsVersion(r2, flags), 0);
  ASSERT_EQ(ClassifyOsVersion(r2, flags), 0);
  EXPECT_EQ(WhichFlag(flags), kServer2008R2);
  EXPECT_EQ(FlagCount(flags), 1);
}

TEST(OsClassify, FlagsAreNeverCleared) {
  OsFlags flags;
  flags.isWin7 = 1;
  EXPECT_EQ(ClassifyOsVersion({true, 5, 1, 3, kWorkstation}, flags), 1002);
  EXPECT_EQ(flags.isWin7, 1);
}

}  // namespace

// Which systems get TLS 1.0 to 1.2 asked for on every session, by their
// real version: those whose defaults lack TLS 1.1 and 1.2, and nothing
// later (8.1 / 2012 R2 and after keep their own, TLS 1.3 included).
TEST(OsClassify, ExplicitTlsProtocolsOnlyWhereTheDefaultsLackThem) {
  const struct {
    const char* name;
    OsVersionData version;
    bool explicitTls;
  } cases[] = {
      {"query failed", {false, 0, 0, 0, kWorkstation}, true},
      {"Vista SP2", {true, 6, 0, 2, kWorkstation}, true},
      {"Server 2008 SP2", {true, 6, 0, 2, kServer}, true},
      {"Windows 7", {true, 6, 1, 1, kWorkstation}, true},
      {"Server 2008 R2", {true, 6, 1, 1, kServer}, true},
      {"Windows 8", {true, 6, 2, 0, kWorkstation}, true},
      {"Server 2012", {true, 6, 2, 0, kServer}, true},
      {"Windows 8.1", {true, 6, 3, 0, kWorkstation}, false},
      {"Server 2012 R2", {true, 6, 3, 0, kServer}, false},
      {"Windows 10 and 11", {true, 10, 0, 0, kWorkstation}, false},
      {"Server 2016 and later", {true, 10, 0, 0, kServer}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(kestrel::NeedsExplicitTlsProtocols(c.version), c.explicitTls) << c.name;
}
