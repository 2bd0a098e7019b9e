// Extraction of archive files into folders on the real file system.
#include "engine/zip_extract.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_support.h"
#include "tests/support/zip_test_support.h"
#include "win/handle.h"

namespace {

using kestrel::ExtractZip;
namespace zt = kestrel::ziptest;

class ZipExtract : public testing::Test {
 protected:
  void SetUp() override { folder_ = kt::ScratchFolder(L"zip"); }
  void TearDown() override { kt::RemoveTree(folder_); }
  std::wstring Archive(const std::string& bytes) {
    std::wstring path = folder_ + L"\\archive.zip";
    EXPECT_TRUE(kt::WriteFileBytes(path, bytes));
    return path;
  }
  std::wstring folder_;
};

TEST_F(ZipExtract, ArchivesMadeByZipAnd7z) {
  std::string lines;
  for (int i = 1; i <= 3000; ++i) lines += "line " + std::to_string(i) + " of the fixture\n";
  for (const wchar_t* name : {L"zip_default.zip", L"zip_stream.zip", L"zip_zip64.zip", L"7z_deflate.zip",
                              L"7z_stored.zip"}) {
    const std::wstring out = folder_ + L"\\" + name;
    ASSERT_TRUE(kt::CreateFolders(out));
    std::string why;
    ASSERT_TRUE(ExtractZip(kt::kSourceDir + L"\\tests\\fixtures\\zip\\" + name, out, &why)) << why;
    EXPECT_EQ(kt::ReadFileBytes(out + L"\\build\\readme.txt"), "KestrelSetup fixture\n");
    EXPECT_EQ(kt::ReadFileBytes(out + L"\\build\\bin\\lines.txt"), lines);
    EXPECT_EQ(kt::ReadFileBytes(out + L"\\build\\empty.txt"), "");
    EXPECT_TRUE(kt::Exists(out + L"\\build\\data\\deep"));
  }
}

TEST_F(ZipExtract, NonAsciiNames) {
  auto utf8 = zt::Entry("build/caf\xc3\xa9.txt", "utf-8");
  utf8.flags = 0x800;
  const auto cp437 = zt::Entry("build/na\x8bve.txt", "cp437");  // 0x8B is i with diaeresis
  std::string why;
  ASSERT_TRUE(ExtractZip(Archive(zt::BuildZipBytes({utf8, cp437})), folder_, &why)) << why;
  EXPECT_EQ(kt::ReadFileBytes(folder_ + L"\\build\\caf\x00e9.txt"), "utf-8");
  EXPECT_EQ(kt::ReadFileBytes(folder_ + L"\\build\\na\x00efve.txt"), "cp437");
}

TEST_F(ZipExtract, ExistingFilesAreOverwrittenEvenReadOnly) {
  const std::wstring out = folder_ + L"\\out";
  ASSERT_TRUE(kt::CreateFolders(out + L"\\build"));
  ASSERT_TRUE(kt::WriteFileBytes(out + L"\\build\\a.txt", "old and longer content"));
  ASSERT_TRUE(::SetFileAttributesW((out + L"\\build\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  std::string why;
  ASSERT_TRUE(ExtractZip(Archive(zt::BuildZipBytes({zt::Entry("build/a.txt", "new", 8)})), out, &why)) << why;
  EXPECT_EQ(kt::ReadFileBytes(out + L"\\build\\a.txt"), "new");
}

TEST_F(ZipExtract, FailuresWriteNothingOutsideAndReportIt) {
  const std::wstring out = folder_ + L"\\out";
  struct Case {
    const char* name;
    std::string archive;
  } const cases[] = {
      {"parent step", zt::BuildZipBytes({zt::Entry("build/ok.txt", "x"), zt::Entry("build/../../escaped.txt", "x")})},
      {"absolute", zt::BuildZipBytes({zt::Entry("/escaped.txt", "x")})},
      {"drive", zt::BuildZipBytes({zt::Entry("C:escaped.txt", "x")})},
      {"empty archive", zt::BuildZipBytes({})},
      {"bad CRC", zt::BuildZipBytes({zt::Entry("build/a.txt", "data").With([](auto& e) { e.crc = 1234; })})},
      {"truncated", zt::BuildZipBytes({zt::Entry("build/a.txt", std::string(5000, 'a'), 8)}).substr(0, 100)},
  };
  for (const Case& c : cases) {
    kt::RemoveTree(out);
    ASSERT_TRUE(kt::CreateFolders(out));
    std::string why;
    EXPECT_FALSE(ExtractZip(Archive(c.archive), out, &why)) << c.name;
    EXPECT_FALSE(why.empty()) << c.name;
    EXPECT_FALSE(kt::Exists(folder_ + L"\\escaped.txt")) << c.name;
    EXPECT_FALSE(kt::Exists(L"C:\\escaped.txt")) << c.name;
    EXPECT_FALSE(kt::Exists(out + L"\\build\\a.txt")) << c.name << ": a damaged file is not left behind";
  }
  std::string why;
  EXPECT_FALSE(ExtractZip(folder_ + L"\\missing.zip", out, &why));
  EXPECT_NE(why.find("cannot be opened"), std::string::npos);
}

// The files are written on a thread of their own while the next ones are
// inflated: a file that cannot be written still fails the extraction with
// its own name, what came before it stays, and nothing after it is
// written.
TEST_F(ZipExtract, AFileThatCannotBeWrittenStopsTheExtractionAndIsNamed) {
  const std::wstring out = folder_ + L"\\out";
  ASSERT_TRUE(kt::CreateFolders(out + L"\\build"));
  ASSERT_TRUE(kt::WriteFileBytes(out + L"\\build\\b.txt", "held"));
  win::UniqueHandle held(::CreateFileW((out + L"\\build\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
  ASSERT_TRUE(held);
  const std::string archive = zt::BuildZipBytes(
      {zt::Entry("build/a.txt", "first", 8), zt::Entry("build/b.txt", "second", 8), zt::Entry("build/c.txt", "third", 8)});
  std::string why;
  EXPECT_FALSE(ExtractZip(Archive(archive), out, &why));
  EXPECT_NE(why.find("build/b.txt"), std::string::npos) << why;
  EXPECT_NE(why.find("could not create the file"), std::string::npos) << why;
  EXPECT_EQ(kt::ReadFileBytes(out + L"\\build\\a.txt"), "first");
  EXPECT_FALSE(kt::Exists(out + L"\\build\\c.txt")) << "nothing after the failure is written";
}

}  // namespace
