#include "engine/zip_reader.h"

#include "tests/support/zip_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace {

using kestrel::ZipError;
using namespace kestrel::ziptest;

struct Extracted {
  kestrel::ZipResult result;
  MemorySink sink;
  size_t largestRead = 0;
};

Extracted Extract(ZipImage image, MemorySink sink = {}) {
  ImageSource source(std::move(image));
  Extracted out{kestrel::ExtractZip(source, sink), std::move(sink), 0};
  out.largestRead = source.largestRead;
  return out;
}

Extracted Extract(std::string_view bytes, MemorySink sink = {}) {
  ZipImage image;
  image.Append(bytes);
  return Extract(std::move(image), std::move(sink));
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  kestrel::Utf16ToUtf8(text, out);
  return out;
}

// Poorly compressible, so deflated data spans several 64 KiB reads too.
std::string Noise(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<char>(seed >> 23);
  }
  return out;
}

const char* DescriptorName(Descriptor d) {
  switch (d) {
    case Descriptor::None: return "none";
    case Descriptor::Plain: return "plain";
    case Descriptor::Signed: return "signed";
    case Descriptor::Plain64: return "plain64";
    case Descriptor::Signed64: return "signed64";
  }
  return "?";
}

// The reader's largest request: the end-of-archive scan.
constexpr size_t kLargestExpectedRead = 22 + 0xFFFF;

TEST(ZipReader, ExtractsEveryLayoutOfStoredAndDeflatedEntries) {
  const std::string big = Noise(200 * 1024, 7) + std::string(100 * 1024, 'k');
  for (uint16_t method : {0, 8}) {
    for (Descriptor descriptor : {Descriptor::None, Descriptor::Plain, Descriptor::Signed,
                                  Descriptor::Plain64, Descriptor::Signed64}) {
      for (bool zip64 : {false, true}) {
        SCOPED_TRACE(testing::Message() << "method " << method << ", descriptor "
                                        << DescriptorName(descriptor) << ", zip64 " << zip64);
        auto spec = [&](std::string name, std::string data) {
          ZipEntrySpec e = Entry(std::move(name), std::move(data), method);
          e.descriptor = descriptor;
          e.zip64 = zip64;
          return e;
        };
        Extracted x = Extract(BuildZip(
            {spec("build/", ""), spec("build/readme.txt", "hello\n"), spec("build/bin/big.dat", big),
             spec("build/empty.txt", "")}));
        ASSERT_TRUE(x.result.ok()) << x.result.message;
        EXPECT_EQ(x.sink.violations, "");
        EXPECT_EQ(x.sink.files, (std::map<std::u16string, std::string>{
                                    {u"build/readme.txt", "hello\n"},
                                    {u"build/bin/big.dat", big},
                                    {u"build/empty.txt", ""}}));
        EXPECT_EQ(x.sink.directories, (std::set<std::u16string>{u"build", u"build/bin"}));
        EXPECT_LE(x.largestRead, kLargestExpectedRead);
      }
    }
  }
}

TEST(ZipReader, CreatesMissingParentsAndExplicitEmptyDirectories) {
  Extracted x = Extract(BuildZipBytes({Entry("build/a/b/c.txt", "c"),
                                       Entry("build/empty/deeper/"),
                                       Entry("build\\win\\style.txt", "w"),
                                       Entry("build/a/")}));
  ASSERT_TRUE(x.result.ok()) << x.result.message;
  EXPECT_EQ(x.sink.violations, "");  // every parent came before its children
  EXPECT_EQ(x.sink.directories,
            (std::set<std::u16string>{u"build", u"build/a", u"build/a/b", u"build/empty",
                                      u"build/empty/deeper", u"build/win"}));
  EXPECT_EQ(x.sink.files, (std::map<std::u16string, std::string>{
                              {u"build/a/b/c.txt", "c"}, {u"build/win/style.txt", "w"}}));
}

TEST(ZipReader, ALaterDuplicateReplacesTheEarlierFile) {
  Extracted x = Extract(BuildZipBytes({Entry("build/a.txt", "old"),
                                       Entry("build/a.txt", "new", 8)}));
  ASSERT_TRUE(x.result.ok()) << x.result.message;
  EXPECT_EQ(x.sink.files.at(u"build/a.txt"), "new");
}

TEST(ZipReader, AFakeEndRecordInsideTheCommentIsNotTaken) {
  std::string fake = "PK\x05\x06" + std::string(18, '\0');
  Extracted x = Extract(BuildZipBytes({Entry("build/a.txt", "a")}, {.zip64End = false, .comment = fake + "tail"}));
  ASSERT_TRUE(x.result.ok()) << x.result.message;
  EXPECT_EQ(x.sink.files.at(u"build/a.txt"), "a");
}

TEST(ZipReader, Zip64ArchiveLargerThan4GiB) {
  // A stored entry of more than 4 GiB of zeros is followed by one that starts
  // beyond 4 GiB, so sizes, the local offset and the directory position all
  // need the 64-bit fields. The zeros are a hole in the source, not memory.
  const uint64_t hugeSize = (uint64_t{1} << 32) + 100;
  ZipImage image = BuildZip({Entry("build/huge.bin").With([&](auto& e) { e.zeroLength = hugeSize; }),
                             Entry("build/after.txt", "after the hole", 8)});
  ASSERT_GT(image.size, hugeSize);
  MemorySink sink;
  sink.keepData = false;
  Extracted x = Extract(std::move(image), std::move(sink));
  ASSERT_TRUE(x.result.ok()) << x.result.message;
  EXPECT_EQ(x.sink.violations, "");
  EXPECT_EQ(x.sink.sizes, (std::map<std::u16string, uint64_t>{{u"build/huge.bin", hugeSize},
                                                              {u"build/after.txt", 14}}));
  EXPECT_LE(x.largestRead, kLargestExpectedRead);
}

TEST(ZipReader, Zip64EndRecordsMustAgreeWithTheClassicOne) {
  std::string bytes = BuildZipBytes({Entry("build/a.txt", "a")}, {.zip64End = true, .comment = ""});
  ASSERT_TRUE(Extract(bytes).result.ok());
  // The classic record normally defers with 0xFFFF; a real count that
  // contradicts the 64-bit record is damage.
  std::string damaged = bytes;
  PatchLe(damaged, damaged.size() - 22 + 10, 2, 2);
  Extracted x = Extract(damaged);
  EXPECT_EQ(x.result.error, ZipError::Corrupt) << x.result.message;
}

// --- Names -------------------------------------------------------------------

TEST(ZipReader, DecodesNamesFromEachEncoding) {
  struct Case {
    const char* what;
    std::string name;
    uint16_t flags;
    std::string extra;
    std::u16string expected;
  };
  const Case cases[] = {
      {"code page 437", "build/\x84\x94\x81\xE1\x9C.txt", 0, "", u"build/äöüß£.txt"},
      {"UTF-8 flag", "build/\xC3\xBC \xE6\x96\x87 \xF0\x9F\x98\x80.txt", 0x0800, "", u"build/ü 文 😀.txt"},
      {"Unicode path extra", "build/x.txt", 0, UnicodePathExtra("build/x.txt", "build/\xC3\xBC.txt"),
       u"build/ü.txt"},
      {"Unicode path extra for another name", "build/x.txt", 0,
       UnicodePathExtra("build/x.txt", "build/\xC3\xBC.txt", 1), u"build/x.txt"},
      {"UTF-8 flag wins over the extra", "build/\xC3\xA9.txt", 0x0800,
       UnicodePathExtra("build/\xC3\xA9.txt", "build/other.txt"), u"build/é.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Extracted x = Extract(BuildZipBytes({Entry(c.name, "d").With([&](auto& e) {
      e.flags = c.flags;
      e.centralExtra = c.extra;
    })}));
    ASSERT_TRUE(x.result.ok()) << x.result.message;
    EXPECT_EQ(x.sink.files.count(c.expected), 1u) << Utf8(x.sink.files.begin()->first);
  }
}

TEST(ZipReader, NameThatIsNotUtf8DespiteTheFlagFails) {
  Extracted x = Extract(BuildZipBytes({Entry("build/\xC3(.txt", "d").With([](auto& e) { e.flags = 0x0800; })}));
  EXPECT_EQ(x.result.error, ZipError::Corrupt);
  EXPECT_NE(x.result.message.find("\\xc3"), std::string::npos) << x.result.message;
}

TEST(ZipReader, RejectsEveryUnsafePathBeforeWritingAnything) {
  const std::string unsafe[] = {
      "/etc/passwd",       "\\Windows\\x.dll",   "//server/share/x", "\\\\server\\share\\x",
      "C:x.txt",           "C:\\x.txt",          "c:/x.txt",         "build/a.txt:stream",
      "../x.txt",          "..\\x.txt",          "build/../../x",    "build\\..\\..\\x",
      "build/..",          "..",                 "build/./x",        "./build/x",
      "build//x",          "build/...",          "build/. .",        "build/ ",
      "build/CON",         "build/nul.txt",      "build/Com1.log",   "build/LPT9",
      "build/a\x01" "b",   "build/a*b",          "build/a?b",        std::string("build/a\0b", 9),
      "",                  "/",                  "build/com\xC2\xB9"};
  for (const std::string& name : unsafe) {
    SCOPED_TRACE(testing::PrintToString(name));
    Extracted x = Extract(BuildZipBytes({Entry("build/ok.txt", "fine"),
                                         Entry(name, "evil").With([](auto& e) { e.flags = 0x0800; })}));
    EXPECT_EQ(x.result.error, ZipError::UnsafePath) << x.result.message;
    EXPECT_NE(x.result.message.find("unsafe path"), std::string::npos) << x.result.message;
    EXPECT_TRUE(x.sink.Empty());
  }
}

// Windows strips trailing dots and blanks and ignores letter case: such
// names would land on another file than the archive says, or on one file.
TEST(ZipReader, RefusesNamesThatWindowsWouldChangeOrMerge) {
  struct Case {
    std::vector<std::string> names;  // "x/" is a folder entry
    std::string message;             // empty: extracted
  };
  const Case cases[] = {
      {{"build/x."}, "\"build/x.\": unsafe path: path component ending in a dot or a space"},
      {{"build/y "}, "\"build/y \": unsafe path: path component ending in a dot or a space"},
      {{"build./a.txt"}, "\"build./a.txt\": unsafe path: path component ending in a dot or a space"},
      {{"build /a.txt"}, "\"build /a.txt\": unsafe path: path component ending in a dot or a space"},
      {{"build/x./"}, "\"build/x./\": unsafe path: path component ending in a dot or a space"},
      {{"build/a.txt", "build/A.TXT"}, "\"build/A.TXT\": unsafe path: differs only in letter case from \"build/a.txt\""},
      {{"build/a/x", "build/A/X"}, "\"build/A/X\": unsafe path: differs only in letter case from \"build/a/x\""},
      {{"build/a", "build/A/x"},
       "\"build/a\": unsafe path: differs only in letter case from the folder \"build/A\""},
      {{"build/A/", "build/a"},
       "\"build/a\": unsafe path: differs only in letter case from the folder \"build/A\""},
      // One folder however it is spelt, and names Windows keeps as they are.
      {{"build/A/x", "build/a/y", "Build/z"}, ""},
      {{"build/.hidden", "build/ lead", "build/a.b.c", "build/a..b"}, ""},
      {{"build/a.txt", "build/a.txt"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.names));
    std::vector<ZipEntrySpec> entries;
    for (const std::string& name : c.names) entries.push_back(name.back() == '/' ? Entry(name) : Entry(name, "d"));
    Extracted x = Extract(BuildZipBytes(entries));
    if (c.message.empty()) {
      EXPECT_TRUE(x.result.ok()) << x.result.message;
      continue;
    }
    EXPECT_EQ(x.result.error, ZipError::UnsafePath);
    EXPECT_EQ(x.result.message, c.message);
    EXPECT_TRUE(x.sink.Empty());
  }
}

TEST(ZipReader, UnicodePathExtraIsCheckedLikeTheName) {
  Extracted x = Extract(BuildZipBytes(
      {Entry("build/x.txt", "d").With([](auto& e) { e.centralExtra = UnicodePathExtra("build/x.txt", "../x.txt"); })}));
  EXPECT_EQ(x.result.error, ZipError::UnsafePath) << x.result.message;
  EXPECT_TRUE(x.sink.Empty());
}

// --- Damage ------------------------------------------------------------------

std::vector<ZipEntrySpec> SoundEntries() {
  return {Entry("build/"),
          Entry("build/a.txt", Noise(100 * 1024, 3), 8),
          Entry("build/b.txt", "bravo bravo bravo")};
}

TEST(ZipReader, DamagedEntriesFail) {
  struct Case {
    const char* what;
    std::function<void(std::vector<ZipEntrySpec>&)> damage;
    ZipError error;
    // Empty: found before anything is written; else the file left abandoned.
    std::u16string damagedFile;
  };
  const std::string deflated = RawDeflate(SoundEntries()[1].data);
  const Case cases[] = {
      {"CRC mismatch", [](auto& e) { e[1].crc = 0x12345678; }, ZipError::Corrupt, u"build/a.txt"},
      {"CRC mismatch, stored", [](auto& e) { e[2].crc = 1; }, ZipError::Corrupt, u"build/b.txt"},
      {"declared size too large", [](auto& e) { e[1].declaredSize = e[1].data.size() + 1; },
       ZipError::Corrupt, u"build/a.txt"},
      {"declared size too small", [](auto& e) { e[1].declaredSize = e[1].data.size() - 1; },
       ZipError::Corrupt, u"build/a.txt"},
      {"stored sizes differ", [](auto& e) { e[2].declaredSize = 3; }, ZipError::Corrupt, u""},
      {"garbage stream", [](auto& e) { e[1].payload = std::string(500, '\xFF'); }, ZipError::Corrupt, u"build/a.txt"},
      {"stream cut short", [&](auto& e) { e[1].payload = deflated.substr(0, deflated.size() - 20); },
       ZipError::Corrupt, u"build/a.txt"},
      {"bytes after the stream", [&](auto& e) { e[1].payload = deflated + "tail"; }, ZipError::Corrupt, u"build/a.txt"},
      {"local name differs", [](auto& e) { e[2].localName = "build/c.txt"; }, ZipError::Corrupt, u""},
      {"descriptor disagrees",
       [](auto& e) {
         e[1].descriptor = Descriptor::Signed;
         e[1].descriptorCrc = 9;
       },
       ZipError::Corrupt, u""},
      {"ZIP64 extra missing",
       [](auto& e) {
         e[2].zip64 = true;
         e[2].dropZip64Extra = true;
       },
       ZipError::Corrupt, u""},
      {"compressed size beyond the archive",
       [](auto& e) {
         e[2].zip64 = true;
         e[2].declaredCompressedSize = uint64_t{1} << 40;
         e[2].declaredSize = uint64_t{1} << 40;
       },
       ZipError::Corrupt, u""},
      {"directory with contents", [](auto& e) { e[0].data = "x"; }, ZipError::Corrupt, u""},
      {"file also used as a directory", [](auto& e) { e.push_back(Entry("build/b.txt/x", "x")); },
       ZipError::Corrupt, u""},
      {"encrypted", [](auto& e) { e[2].flags = 1; }, ZipError::Unsupported, u""},
      {"bzip2", [](auto& e) { e[2].method = 12; }, ZipError::Unsupported, u""},
      {"deflate64", [](auto& e) { e[2].method = 9; }, ZipError::Unsupported, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ZipEntrySpec> entries = SoundEntries();
    c.damage(entries);
    Extracted x = Extract(BuildZipBytes(entries));
    EXPECT_EQ(x.result.error, c.error) << x.result.message;
    EXPECT_FALSE(x.result.message.empty());
    EXPECT_EQ(x.sink.violations, "");
    if (c.damagedFile.empty()) {
      EXPECT_TRUE(x.sink.Empty());
    } else {
      EXPECT_EQ(x.sink.abandoned, 1);
      EXPECT_EQ(x.sink.files.count(c.damagedFile), 0u);
    }
  }
}

TEST(ZipReader, InflationStopsAtTheDeclaredSize) {
  // 8 MiB of zeros squeezed into a few KiB, declared as 1000 bytes.
  ZipEntrySpec bomb = Entry("build/bomb.bin", std::string(8 << 20, '\0'), 8);
  bomb.declaredSize = 1000;
  MemorySink sink;
  sink.keepData = false;
  Extracted x = Extract(BuildZipBytes({bomb}), sink);
  EXPECT_EQ(x.result.error, ZipError::Corrupt);
  EXPECT_LE(x.sink.bytesWritten, 1000u);
  EXPECT_EQ(x.sink.files.count(u"build/bomb.bin"), 0u);
}

TEST(ZipReader, UnsupportedMethodIsNamed) {
  Extracted x = Extract(BuildZipBytes({Entry("build/a.txt", "a", 14)}));
  EXPECT_EQ(x.result.error, ZipError::Unsupported);
  EXPECT_NE(x.result.message.find("build/a.txt"), std::string::npos) << x.result.message;
  EXPECT_NE(x.result.message.find("method 14"), std::string::npos) << x.result.message;
}

TEST(ZipReader, DamagedHeaderBytesFailBeforeWriting) {
  const std::string sound = BuildZipBytes(SoundEntries());
  const size_t end = sound.size() - 22;
  const size_t directory = GetLe(sound, end + 16, 4);
  const size_t secondCentral = directory + 46 + 6;  // after "build/"
  const size_t secondLocal = GetLe(sound, secondCentral + 42, 4);
  struct Case {
    const char* what;
    size_t offset;
    uint64_t value;
    int bytes;
    ZipError error;
  };
  const Case cases[] = {
      {"local signature", secondLocal, 0x04034b51, 4, ZipError::Corrupt},
      {"local method", secondLocal + 8, 0, 2, ZipError::Corrupt},
      {"local name length", secondLocal + 26, 0xFFFF, 2, ZipError::Corrupt},
      {"central signature", secondCentral, 0, 4, ZipError::Corrupt},
      {"central name length", secondCentral + 28, 0xFFFF, 2, ZipError::Corrupt},
      {"central extra length", secondCentral + 30, 0x4000, 2, ZipError::Corrupt},
      {"local offset past the directory", secondCentral + 42, directory + 1, 4, ZipError::Corrupt},
      {"local offset inside other data", secondCentral + 42, 3, 4, ZipError::Corrupt},
      {"entry count", end + 8, 0x00040004, 4, ZipError::Corrupt},
      {"entry counts disagree", end + 10, 4, 2, ZipError::Corrupt},
      {"entry count zero", end + 8, 0, 4, ZipError::Empty},
      {"directory size short", end + 12, sound.size() - 22 - directory - 1, 4, ZipError::Corrupt},
      {"directory offset", end + 16, directory + 1, 4, ZipError::Corrupt},
      {"directory offset wraps", end + 16, 0xFFFFFFF0, 4, ZipError::Corrupt},
      {"comment length", end + 20, 1, 2, ZipError::Corrupt},
      {"split archive", end + 4, 1, 2, ZipError::Unsupported},
      {"entry on another disk", secondCentral + 34, 2, 2, ZipError::Unsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = sound;
    PatchLe(damaged, c.offset, c.value, c.bytes);
    Extracted x = Extract(damaged);
    EXPECT_EQ(x.result.error, c.error) << x.result.message;
    EXPECT_TRUE(x.sink.Empty());
  }
}

TEST(ZipReader, EveryTruncationFails) {
  for (Descriptor descriptor : {Descriptor::None, Descriptor::Plain}) {
    std::vector<ZipEntrySpec> entries = {Entry("build/a.txt", "alpha alpha alpha", 8),
                                         Entry("build/b.txt", "bravo")};
    for (auto& e : entries) e.descriptor = descriptor;
    const std::string sound = BuildZipBytes(entries, {.zip64End = true, .comment = ""});
    ASSERT_TRUE(Extract(sound).result.ok());
    for (size_t length = 0; length < sound.size(); ++length) {
      Extracted x = Extract(std::string_view(sound).substr(0, length));
      EXPECT_FALSE(x.result.ok()) << "length " << length;
      EXPECT_EQ(x.sink.violations, "");
    }
  }
}

TEST(ZipReader, ArchivesWithoutEntriesFail) {
  EXPECT_EQ(Extract(BuildZipBytes({})).result.error, ZipError::Empty);
  EXPECT_EQ(Extract(BuildZipBytes({}, {.zip64End = true, .comment = ""})).result.error, ZipError::Empty);
  EXPECT_EQ(Extract(std::string_view()).result.error, ZipError::Corrupt);
  EXPECT_EQ(Extract(std::string(100, 'x')).result.error, ZipError::Corrupt);
}

TEST(ZipReader, UnreadableSourceFails) {
  class FailingSource : public kestrel::ZipSource {
   public:
    uint64_t Size() const override { return 1000; }
    bool ReadAt(uint64_t, void*, size_t) override { return false; }
  } source;
  MemorySink sink;
  kestrel::ZipResult result = kestrel::ExtractZip(source, sink);
  EXPECT_EQ(result.error, ZipError::ReadFailed);
}

TEST(ZipReader, SinkRefusalsFail) {
  const std::string bytes = BuildZipBytes(SoundEntries());
  {
    MemorySink sink;
    sink.refusePath = u"build";
    Extracted x = Extract(bytes, sink);
    EXPECT_EQ(x.result.error, ZipError::SinkFailed);
    EXPECT_NE(x.result.message.find("build"), std::string::npos);
  }
  {
    MemorySink sink;
    sink.refusePath = u"build/b.txt";
    Extracted x = Extract(bytes, sink);
    EXPECT_EQ(x.result.error, ZipError::SinkFailed);
    EXPECT_NE(x.result.message.find("build/b.txt"), std::string::npos) << x.result.message;
  }
  {
    MemorySink sink;
    sink.refuseFinishPath = u"build/b.txt";
    Extracted x = Extract(bytes, sink);
    EXPECT_EQ(x.result.error, ZipError::SinkFailed);
    EXPECT_NE(x.result.message.find("build/b.txt"), std::string::npos) << x.result.message;
  }
  {
    MemorySink sink;
    sink.failWritesAfter = 70 * 1024;  // part-way through build/a.txt
    Extracted x = Extract(bytes, sink);
    EXPECT_EQ(x.result.error, ZipError::SinkFailed);
    EXPECT_EQ(x.sink.abandoned, 1);
    EXPECT_EQ(x.sink.files.count(u"build/a.txt"), 0u);
    EXPECT_EQ(x.sink.violations, "");
  }
}

// --- Archives written by other tools --------------------------------------------

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(KESTREL_FIXTURE_DIR) + "/zip/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ZipReader, ExtractsArchivesFromCommonTools) {
  // Mirrors tests/fixtures/zip/make_fixtures.sh.
  std::string lines;
  for (int i = 1; i <= 3000; ++i) lines += "line " + std::to_string(i) + " of the fixture\n";
  struct Case {
    const char* file;
    bool unicodeFile;
  };
  for (const Case& c : {Case{"zip_default.zip", false}, Case{"zip_stream.zip", false},
                        Case{"zip_zip64.zip", false}, Case{"7z_deflate.zip", true}, Case{"7z_stored.zip", true}}) {
    SCOPED_TRACE(c.file);
    std::string bytes = ReadFixture(c.file);
    ASSERT_FALSE(bytes.empty());
    Extracted x = Extract(bytes);
    ASSERT_TRUE(x.result.ok()) << x.result.message;
    EXPECT_EQ(x.sink.violations, "");
    std::map<std::u16string, std::string> expected = {{u"build/readme.txt", "KestrelSetup fixture\n"},
                                                      {u"build/empty.txt", ""},
                                                      {u"build/bin/lines.txt", lines}};
    if (c.unicodeFile) expected[u"build/ünïcødé.txt"] = "unicode\n";
    EXPECT_EQ(x.sink.files, expected);
    EXPECT_EQ(x.sink.directories,
              (std::set<std::u16string>{u"build", u"build/bin", u"build/data", u"build/data/deep"}));
  }
}

// --- Text conversion ---------------------------------------------------------------

TEST(ZipText, Utf8ToUtf16RejectsMalformedInput) {
  const std::string bad[] = {
      "\x80",              // stray continuation
      "\xC3",              // cut short
      "\xE6\x96",          // cut short
      "\xC0\xAF",          // overlong "/"
      "\xE0\x80\xAF",      // overlong "/"
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\xF8\x88\x80\x80\x80",
      "a\xC3(",
  };
  for (const std::string& s : bad) {
    std::u16string out;
    EXPECT_FALSE(kestrel::Utf8ToUtf16(s, out)) << testing::PrintToString(s);
  }
}

TEST(ZipText, RoundTripsAcrossAllPlanes) {
  const std::string text = "a\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
  std::u16string wide;
  ASSERT_TRUE(kestrel::Utf8ToUtf16(text, wide));
  EXPECT_EQ(wide, u"a\u007F\u0080\u07FF\u0800\uFFFD\U00010000\U0010FFFF");
  std::string back;
  ASSERT_TRUE(kestrel::Utf16ToUtf8(wide, back));
  EXPECT_EQ(back, text);
  EXPECT_FALSE(kestrel::Utf16ToUtf8(u"a\xD800", back));
  EXPECT_FALSE(kestrel::Utf16ToUtf8(std::u16string(1, char16_t(0xDC00)), back));
}

TEST(ZipText, Cp437UpperHalf) {
  EXPECT_EQ(kestrel::Cp437ToUtf16("plain\x7F"), u"plain\x7F");
  EXPECT_EQ(kestrel::Cp437ToUtf16("\x80\x9E\x9F\xA9\xB0\xC5\xDB\xE0\xE6\xEE\xF9\xFA\xFE\xFF"),
            u"Ç₧ƒ⌐░┼█αµε∙·■\u00A0");
  // The table is a one-to-one mapping onto non-ASCII characters.
  std::set<char16_t> seen;
  for (int b = 0x80; b <= 0xFF; ++b) {
    std::u16string c = kestrel::Cp437ToUtf16(std::string(1, static_cast<char>(b)));
    ASSERT_EQ(c.size(), 1u);
    EXPECT_GE(c[0], 0x80);
    seen.insert(c[0]);
  }
  EXPECT_EQ(seen.size(), 128u);
}

}  // namespace
