#include "core/builtin_strings.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <vector>

#include "support/test_support.h"
#include "win/handle.h"

namespace {

using namespace kestrel;

// A copy of the real executable, stamped as a test wishes and loaded as
// data so its resources can be read in this process.
class StampedCopy {
 public:
  explicit StampedCopy(const std::wstring& options) {
    folder_ = kt::ScratchFolder(L"branding");
    path_ = kt::CopyInstaller(folder_);
    stamped_ = !path_.empty() && (options.empty() || kt::Stamp(path_, options));
    if (stamped_)
      module_.reset(::LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  }
  ~StampedCopy() {
    module_.reset();
    kt::RemoveTree(folder_);
  }
  bool ok() const { return stamped_ && module_; }
  // Stamps the copy again; false when the stamper refused.
  bool Stamp(const std::wstring& options) {
    module_.reset();
    const bool stamped = kt::Stamp(path_, options);
    module_.reset(::LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    return stamped && module_;
  }
  HMODULE module() const { return module_.get(); }
  const std::wstring& folder() const { return folder_; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring folder_, path_;
  bool stamped_ = false;
  win::UniqueModule module_;
};

TEST(BuiltInStrings, ThisBuildsTextsAndOverrides) {
  StampedCopy copy(L"");
  ASSERT_TRUE(copy.ok());
  HMODULE m = copy.module();
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrVersion), L"6.10.4129") << "BRANDING 139 wins over 2.0.1";
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrDisplayName), L"Marrowfield");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrWizardTitle), L"Marrowfield Installation");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrProductFolder), L"Vantoris Cloud Enterprise");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrId), L"ID");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrLicence), L"") << "144 has no string table entry";
  EXPECT_EQ(LoadBuiltInStringFrom(m, 147), L"");

  struct Link {
    UINT number;
    const wchar_t* scheme;
    const wchar_t* ending;
  } const links[] = {
      {kStrPackageLink, L"https://", L"/QRE/zip/build4129.zip"},
      {kStrDotNetLink, L"http://", L"/thirdparty/NDP451-KB2858728-x86-x64-AllOS-ENU.exe"},
      {kStrSql64Link, L"http://", L"/thirdparty/sql64.zip"},
      {kStrSql86Link, L"http://", L"/thirdparty/sql86.zip"},
      {kStrSql2012Link, L"http://", L"/thirdparty/sql2012.zip"},
      {kStrUpgradeLink, L"https://", L"/QRE/upgrade4129.zip"},
      {kStrSql2012x86Link, L"http://", L"/thirdparty/sql2012_32.zip"},
      {kStrAuditEndpoint, L"https://", L"/namespace/n.svc/partneraudittrace"},
  };
  for (const Link& l : links) {
    std::wstring text = LoadBuiltInStringFrom(m, l.number);
    EXPECT_EQ(text.rfind(l.scheme, 0), 0u) << l.number;
    ASSERT_GE(text.size(), wcslen(l.ending)) << l.number;
    EXPECT_EQ(text.substr(text.size() - wcslen(l.ending)), l.ending) << l.number;
  }

  std::wstring licence = LoadLicenceTextFrom(m);
  EXPECT_EQ(licence.rfind(L"{\\rtf1", 0), 0u);
  EXPECT_EQ(licence.find(L'\0'), std::wstring::npos) << "the terminating zero byte is not part of the text";
  EXPECT_EQ(licence.substr(licence.find_last_not_of(L"\r\n")), L"}\n");
}

TEST(BuiltInStrings, BrandingPrecedenceAndUnterminatedEntry) {
  StampedCopy copy(
      L"--string 138=\"Acme Files\" --string 139=7.0 --string-unterminated 133=Partner --string 146=https://audit.test:8443/x");
  ASSERT_TRUE(copy.ok());
  HMODULE m = copy.module();
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrDisplayName), L"Acme Files");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrVersion), L"7.0") << "a partner replaces the build's own override";
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrPackageLabel), L"Partner") << "the missing terminator is supplied";
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrAuditEndpoint), L"https://audit.test:8443/x");
  EXPECT_EQ(LoadBuiltInStringFrom(m, kStrPublisher), L"Vantoris, Inc.") << "untouched numbers keep their text";
}

TEST(BuiltInStrings, Utf8Links) {
  const std::wstring fits = L"http://h/" + std::wstring(770, L'a');   // 779 bytes
  const std::wstring tooLong = L"http://h/" + std::wstring(771, L'a');  // 780 bytes
  StampedCopy copy(L"--string 130=" + fits + L" --string 134=" + tooLong + L" --string 135=http://h/\x00e9");
  ASSERT_TRUE(copy.ok());
  HMODULE m = copy.module();
  auto link = LoadBuiltInStringUtf8From(m, kStrDotNetLink);
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->size(), 779u);
  EXPECT_FALSE(LoadBuiltInStringUtf8From(m, kStrSql64Link).has_value()) << "never cut into another link";
  EXPECT_EQ(LoadBuiltInStringUtf8From(m, kStrSql86Link).value_or(""), "http://h/\xc3\xa9");
  EXPECT_FALSE(LoadBuiltInStringUtf8From(m, 147).has_value());
}

TEST(BuiltInStrings, OversizedBrandingEntryFallsBackToTheStringTable) {
  StampedCopy copy(L"--string 138=" + std::wstring(4096, L'x'));  // 8194 bytes with terminator
  ASSERT_TRUE(copy.ok());
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrDisplayName), L"Marrowfield");
}

TEST(BuiltInStrings, LicenceSources) {
  std::wstring folder = kt::ScratchFolder(L"licence-src");
  ASSERT_TRUE(kt::WriteFileBytes(folder + L"\\eula.rtf", "{\\rtf1 Caf\xc3\xa9 terms}"));
  ASSERT_TRUE(kt::WriteFileBytes(folder + L"\\partner.rtf", "{\\rtf1 Partner terms}"));
  {
    StampedCopy copy(L"--eula " + folder + L"\\eula.rtf");
    ASSERT_TRUE(copy.ok());
    EXPECT_EQ(LoadLicenceTextFrom(copy.module()), L"{\\rtf1 Caf\x00e9 terms}") << "EULA is UTF-8";
  }
  {
    StampedCopy copy(L"--licence " + folder + L"\\partner.rtf");
    ASSERT_TRUE(copy.ok());
    EXPECT_EQ(LoadLicenceTextFrom(copy.module()), L"{\\rtf1 Partner terms}") << "BRANDING 144 wins";
  }
  kt::RemoveTree(folder);
}

// Pins: from a file, as given, taken away; and a link with a pin moves
// only together with its pin.
TEST(StampPins, PinsAndMovedLinks) {
  StampedCopy copy(L"");
  ASSERT_TRUE(copy.ok());
  for (UINT link : {kStrPackageLink, kStrDotNetLink, kStrSql64Link, kStrSql86Link, kStrSql2012Link, kStrUpgradeLink,
                    kStrSql2012x86Link})
    EXPECT_EQ(LoadLinkPinFrom(copy.module(), link).kind, PayloadPin::Kind::kNone) << "shipped without pins: " << link;

  const std::wstring abc = L"sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const std::wstring file = copy.folder() + L"\\abc.bin";
  ASSERT_TRUE(kt::WriteFileBytes(file, "abc"));
  ASSERT_TRUE(copy.Stamp(L"--pin 129=\"" + file + L"\" --pin 143=SHA256:" +
                         std::wstring(L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD")));
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrPackagePin), abc) << "the file's hash";
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrUpgradePin), abc) << "written in lowercase";
  EXPECT_TRUE(LoadLinkPinFrom(copy.module(), kStrPackageLink).pinned());

  const struct {
    const char* name;
    std::wstring options;
    bool accepted;
  } refused[] = {
      {"moved without its pin", L"--string 129=https://elsewhere.example/p.zip", false},
      {"unterminated, without its pin", L"--string-unterminated 143=https://elsewhere.example/u.zip", false},
      {"override removed, without its pin", L"--remove 129", false},
      {"a pin for no link", L"--pin 138=sha256:" + abc.substr(7), false},
      {"not a pin", L"--pin 130=sha256:ba78", false},
      {"a file that cannot be read", L"--pin 130=\"" + copy.folder() + L"\\missing.bin\"", false},
      {"two pins for one link", L"--pin 130=\"" + file + L"\" --no-pin 130", false},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(copy.Stamp(c.options));
    EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrPackageLink),
              L"https://releases.vantoris.example/QRE/zip/build4129.zip")
        << "nothing changed";
    EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrPackagePin), abc);
    EXPECT_EQ(LoadLinkPinFrom(copy.module(), kStrDotNetLink).kind, PayloadPin::Kind::kNone);
  }

  // Moved with a new pin, and with none.
  const std::wstring other = PinText(Sha256Digest{1, 2, 3});
  ASSERT_TRUE(copy.Stamp(L"--string 129=https://elsewhere.example/p.zip --pin 129=" + other));
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrPackageLink), L"https://elsewhere.example/p.zip");
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrPackagePin), other);
  ASSERT_TRUE(copy.Stamp(L"--string 143=https://elsewhere.example/u.zip --no-pin 143"));
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrUpgradeLink), L"https://elsewhere.example/u.zip");
  EXPECT_EQ(LoadLinkPinFrom(copy.module(), kStrUpgradeLink).kind, PayloadPin::Kind::kNone);
  // A link without a pin moves as ever.
  ASSERT_TRUE(copy.Stamp(L"--string 130=https://elsewhere.example/netfull.exe --no-pin 134"));
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrDotNetLink), L"https://elsewhere.example/netfull.exe");
}

// The file properties as Windows shows them: the version resource read
// back through the system's own reader.
struct FileProperties {
  bool ok = false;
  std::map<std::wstring, std::wstring> strings;
  DWORD fileMs = 0, fileLs = 0, productMs = 0, productLs = 0, fileType = 0;
  DWORD translation = 0;
};

FileProperties ReadFileProperties(const std::wstring& path) {
  FileProperties p;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return p;
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return p;
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return p;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (fixed->dwSignature != 0xFEEF04BD) return p;
  p.fileMs = fixed->dwFileVersionMS;
  p.fileLs = fixed->dwFileVersionLS;
  p.productMs = fixed->dwProductVersionMS;
  p.productLs = fixed->dwProductVersionLS;
  p.fileType = fixed->dwFileType;
  if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && length >= 4)
    std::memcpy(&p.translation, value, 4);
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (::VerQueryValueW(block.data(), query.c_str(), &value, &length) && length > 0)
      p.strings[name] = static_cast<const wchar_t*>(value);
  }
  p.ok = true;
  return p;
}

struct Expected {
  const wchar_t* version;
  DWORD ms, ls;
  const wchar_t* product;
  const wchar_t* company;
};

void ExpectFileProperties(const StampedCopy& copy, const Expected& e) {
  const FileProperties p = ReadFileProperties(copy.path());
  ASSERT_TRUE(p.ok) << "no version resource";
  EXPECT_EQ(p.strings.at(L"FileVersion"), e.version);
  EXPECT_EQ(p.strings.at(L"ProductVersion"), e.version);
  EXPECT_EQ(p.strings.at(L"ProductName"), e.product);
  EXPECT_EQ(p.strings.at(L"CompanyName"), e.company);
  EXPECT_EQ(p.strings.at(L"FileDescription"), std::wstring(e.product) + L" Setup");
  EXPECT_EQ(p.strings.at(L"OriginalFilename"), L"KestrelSetup.exe");
  EXPECT_EQ(p.strings.at(L"InternalName"), L"KestrelSetup");
  EXPECT_EQ(p.fileMs, e.ms);
  EXPECT_EQ(p.fileLs, e.ls);
  EXPECT_EQ(p.productMs, e.ms);
  EXPECT_EQ(p.productLs, e.ls);
  EXPECT_EQ(p.fileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(p.translation, 0x04B00409u) << "US English, code page 1200";
  // What the installer registers is what the file properties show.
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrVersion), e.version);
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrDisplayName), e.product);
  EXPECT_EQ(LoadBuiltInStringFrom(copy.module(), kStrPublisher), e.company);
}

// The build's own version resource, then the stamper keeping it in step
// with 138, 139 and 140, one stamp after another on the same copy.
TEST(StampVersion, FilePropertiesFollowTheStrings) {
  StampedCopy copy(L"");
  ASSERT_TRUE(copy.ok());
  {
    SCOPED_TRACE("as built");
    ExpectFileProperties(copy, {L"6.10.4129", 0x0006000A, 0x10210000, L"Marrowfield", L"Vantoris, Inc."});
  }
  const struct {
    const char* name;
    std::wstring options;
    Expected expected;
  } steps[] = {
      {"a version of two parts", L"--string 139=7.2", {L"7.2", 0x00070002, 0, L"Marrowfield", L"Vantoris, Inc."}},
      {"name and publisher with four parts",
       L"--string 138=\"Acme Files\" --string 140=\"Acme, Ltd.\" --string 139=1.2.3.4",
       {L"1.2.3.4", 0x00010002, 0x00030004, L"Acme Files", L"Acme, Ltd."}},
      {"the largest numbers, unterminated", L"--string-unterminated 139=65535.0.65535",
       {L"65535.0.65535", 0xFFFF0000, 0xFFFF0000, L"Acme Files", L"Acme, Ltd."}},
      {"the name alone keeps the version", L"--string 138=Beta",
       {L"65535.0.65535", 0xFFFF0000, 0xFFFF0000, L"Beta", L"Acme, Ltd."}},
      // (--remove is not among the steps: Wine's UpdateResourceW leaves
      // the entry in place.)
      {"an oversized name counts as absent", L"--string 139=3 --string 138=" + std::wstring(4096, L'x'),
       {L"3", 0x00030000, 0, L"Marrowfield", L"Acme, Ltd."}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    ASSERT_TRUE(copy.Stamp(step.options));
    ExpectFileProperties(copy, step.expected);
  }
}

TEST(StampVersion, RefusesWhatCannotBeAFileVersion) {
  StampedCopy copy(L"");
  ASSERT_TRUE(copy.ok());
  for (const wchar_t* version : {L"abc", L"1.2.3.4.5", L"", L"1..2", L"1.2.", L".1", L"65536", L"6.10.4129-rc1",
                                 L"-1", L"\" 1\"", L"1,2"}) {
    SCOPED_TRACE(testing::Message() << "version \"" << version << "\"");
    EXPECT_FALSE(copy.Stamp(std::wstring(L"--string 139=") + version));
    EXPECT_FALSE(copy.Stamp(std::wstring(L"--string 138=Other --string-unterminated 139=") + version));
    ExpectFileProperties(copy, {L"6.10.4129", 0x0006000A, 0x10210000, L"Marrowfield", L"Vantoris, Inc."});
  }
}

// A copy whose security directory names a certificate table, as a signed
// executable's does (the table itself appended at the end of the file).
bool MarkAsSigned(const std::wstring& path) {
  std::string bytes = kt::ReadFileBytes(path);
  if (bytes.size() < 0x200) return false;
  LONG nt = 0;
  std::memcpy(&nt, bytes.data() + offsetof(IMAGE_DOS_HEADER, e_lfanew), sizeof nt);
  const size_t optional = static_cast<size_t>(nt) + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
  const size_t entry = optional + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                       IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
  while (bytes.size() % 8 != 0) bytes.push_back('\0');
  const IMAGE_DATA_DIRECTORY security{static_cast<DWORD>(bytes.size()), 16};
  std::memcpy(bytes.data() + entry, &security, sizeof security);
  const DWORD header[2] = {16, 0x00020200};  // length; WIN_CERT_REVISION_2_0, WIN_CERT_TYPE_PKCS_SIGNED_DATA
  bytes.append(reinterpret_cast<const char*>(header), sizeof header);
  bytes.append(8, '\x30');
  return kt::WriteFileBytes(path, bytes);
}

TEST(StampVersion, RefusesASignedExecutable) {
  const std::wstring folder = kt::ScratchFolder(L"signed");
  const std::wstring exe = kt::CopyInstaller(folder);
  ASSERT_TRUE(MarkAsSigned(exe));
  const std::string before = kt::ReadFileBytes(exe);
  std::string output;
  EXPECT_NE(kt::RunProgram(KESTREL_STAMP_PATH, L"\"" + exe + L"\" --string 139=7.0", &output), 0);
  EXPECT_NE(output.find("is signed: stamping would break its signature"), std::string::npos) << output;
  EXPECT_EQ(kt::ReadFileBytes(exe), before) << "nothing written";
  kt::RemoveTree(folder);
}

}  // namespace
