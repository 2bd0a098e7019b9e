#include "core/installer_state.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "win/registry.h"

namespace {

using namespace kestrel;

class InstallerState : public testing::Test {
 protected:
  kt::InstallerKeyScope scope_;
};

TEST_F(InstallerState, IntegersAreRegSzHoldingFourBytesInThe32BitView) {
  WriteInstallState(2);
  DWORD type = 0;
  auto bytes = kt::InstallerValueBytes(kValueInstallState, &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, (std::vector<unsigned char>{2, 0, 0, 0}));
  EXPECT_EQ(ReadInstallState(), 2);

  // Where a 64-bit program looks for the 32-bit view: under WOW6432Node.
  HKEY raw = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Vantoris\\Enterprise", 0,
                            KEY_READ | KEY_WOW64_64KEY, &raw),
            ERROR_SUCCESS);
  ::RegCloseKey(raw);
}

TEST_F(InstallerState, IntegerReadTakesFourBytesWhateverTheType) {
  struct Case {
    const char* name;
    DWORD type;
    std::vector<unsigned char> data;
    int32_t expected;
  } const cases[] = {
      {"REG_SZ 02 00 00 00", REG_SZ, {2, 0, 0, 0}, 2},
      {"REG_SZ 01 00 00 00", REG_SZ, {1, 0, 0, 0}, 1},
      {"REG_DWORD 1", REG_DWORD, {1, 0, 0, 0}, 1},
      {"REG_BINARY two bytes", REG_BINARY, {2, 1}, 0x102},
      {"longer than four bytes", REG_SZ, {'2', 0, 0, 0, 0, 0}, 0},
  };
  for (const auto& c : cases) {
    kt::SetInstallerValue(kValueInstallState, c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    EXPECT_EQ(ReadInstallState(), c.expected) << c.name;
  }
}

TEST_F(InstallerState, MissingKeyReadsAsAbsentAndFirstWriteCreatesIt) {
  EXPECT_EQ(ReadInstallState(), 0);
  std::wstring path = L"x";
  EXPECT_FALSE(ReadLastInstallPath(path));
  EXPECT_TRUE(path.empty());
  EXPECT_FALSE(ReadDbServer());

  EXPECT_TRUE(WriteInstallerValue(kValuePartnerId, L"acme"));
  DWORD type = 0;
  auto bytes = kt::InstallerValueBytes(kValuePartnerId, &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes.size(), 10u) << "text with its terminator";
}

TEST_F(InstallerState, LastInstallPath) {
  struct Case {
    const char* name;
    std::wstring stored;
    bool expected;
  } const cases[] = {
      {"ordinary", L"D:\\Apps", true},
      {"empty value", L"", false},
      {"259 characters", std::wstring(259, L'p'), true},
      {"260 characters do not fit", std::wstring(260, L'p'), false},
  };
  for (const auto& c : cases) {
    kt::SetInstallerText(kValueLastInstallPath, c.stored);
    std::wstring path = L"leftover";
    EXPECT_EQ(ReadLastInstallPath(path), c.expected) << c.name;
    EXPECT_EQ(path, c.expected ? c.stored : L"") << c.name;
  }
}

TEST_F(InstallerState, DbServerPresence) {
  EXPECT_FALSE(ReadDbServer());
  kt::SetInstallerText(kValueDbServer, std::wstring(259, L's'));
  EXPECT_TRUE(ReadDbServer());
  kt::SetInstallerText(kValueDbServer, L"");
  EXPECT_TRUE(ReadDbServer()) << "presence counts, not content";
  kt::SetInstallerText(kValueDbServer, std::wstring(300, L's'));
  EXPECT_FALSE(ReadDbServer()) << "too long for its buffer counts as absent";
}

}  // namespace
