#include "engine/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "core/ascii_text.h"

namespace kestrel {

namespace {

constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr uint32_t kCentralHeaderSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxCommentSize = 0xFFFF;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kFlagMaskedHeaders = 0x2000;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraUnicodePath = 0x7075;

constexpr uint32_t kSentinel32 = 0xFFFFFFFF;
constexpr uint16_t kSentinel16 = 0xFFFF;

constexpr size_t kChunkSize = 64 * 1024;

// Little-endian fields out of a byte range. Reading past the end does not
// touch memory; it marks the view failed and yields zeros, so a parser can
// read a whole record and check ok() once.
class LeView {
 public:
  LeView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
  uint64_t U64() { return Take(8); }
  std::string_view Bytes(size_t count) {
    if (!ok_ || count > size_ - pos_) {
      ok_ = false;
      return {};
    }
    std::string_view out(reinterpret_cast<const char*>(data_ + pos_), count);
    pos_ += count;
    return out;
  }
  size_t Remaining() const { return ok_ ? size_ - pos_ : 0; }
  bool ok() const { return ok_; }

 private:
  uint64_t Take(size_t count) {
    if (!ok_ || count > size_ - pos_) {
      ok_ = false;
      return 0;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= uint64_t{data_[pos_ + i]} << (8 * i);
    pos_ += count;
    return value;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

LeView ViewOf(std::string_view bytes) {
  return LeView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// a + b <= limit without wrapping.
bool FitsWithin(uint64_t a, uint64_t b, uint64_t limit) {
  return a <= limit && b <= limit - a;
}

// Central directory reads are small and sequential; serve them from one
// window so a large directory does not cost a source read per field.
class WindowedSource {
 public:
  explicit WindowedSource(ZipSource& source) : source_(source), size_(source.Size()) {}

  uint64_t Size() const { return size_; }

  bool Read(uint64_t offset, size_t count, std::vector<uint8_t>& out) {
    out.resize(count);
    if (count == 0) return true;
    if (!FitsWithin(offset, count, size_)) return false;
    if (count > kChunkSize) return source_.ReadAt(offset, out.data(), count);
    if (offset < windowStart_ || offset + count > windowStart_ + window_.size()) {
      size_t fill = static_cast<size_t>(std::min<uint64_t>(kChunkSize, size_ - offset));
      window_.resize(fill);
      if (!source_.ReadAt(offset, window_.data(), fill)) {
        window_.clear();
        return false;
      }
      windowStart_ = offset;
    }
    std::memcpy(out.data(), window_.data() + (offset - windowStart_), count);
    return true;
  }

 private:
  ZipSource& source_;
  uint64_t size_;
  uint64_t windowStart_ = 0;
  std::vector<uint8_t> window_;
};

struct Entry {
  std::string rawName;      // as stored, to compare with the local header
  std::string displayName;  // UTF-8, for messages
  std::u16string path;      // validated components joined by u'/'
  bool isDirectory = false;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localOffset = 0;
  uint64_t dataStart = 0;  // found from the local header
};

struct Directory {
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t entries = 0;
};

ZipResult Fail(ZipError error, std::string message) { return ZipResult{error, std::move(message)}; }

ZipResult EntryFail(ZipError error, const Entry& entry, std::string_view what) {
  return Fail(error, "\"" + entry.displayName + "\": " + std::string(what));
}

// Names that failed to decode still have to appear in a message.
std::string Printable(std::string_view raw) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : raw) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t count) {
  return static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(count)));
}

// --- Entry names -----------------------------------------------------------

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

bool IsDeviceName(std::u16string_view component) {
  // The device names stay devices with any extension ("nul.txt").
  std::u16string_view stem = component.substr(0, component.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
  std::string upper;
  for (char16_t c : stem) {
    // Superscript one to three name the same ports as the plain digits.
    if (c == 0xB9) c = u'1';
    if (c == 0xB2) c = u'2';
    if (c == 0xB3) c = u'3';
    if (c >= 0x80) return false;
    upper += static_cast<char>(c >= u'a' && c <= u'z' ? c - 0x20 : c);
  }
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" ||
      upper == "CONIN$" || upper == "CONOUT$")
    return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '0' && upper[3] <= '9';
}

// Returns an empty string when the component is acceptable, else why not.
std::string_view ComponentProblem(std::u16string_view component) {
  if (component.empty()) return "empty path component";
  if (component == u"." || component == u"..") return "\".\" or \"..\" path component";
  if (component.find_first_not_of(u". ") == std::u16string_view::npos)
    return "path component made of dots and spaces";
  // Windows drops them when it opens a path without the long-path prefix:
  // the file would get another name than the archive's, or merge with one.
  if (component.back() == u'.' || component.back() == u' ') return "path component ending in a dot or a space";
  for (char16_t c : component) {
    if (c < 0x20 || c == 0x7F) return "control character in name";
    if (std::u16string_view(u"<>\"|?*").find(c) != std::u16string_view::npos)
      return "character not allowed in a file name";
  }
  if (IsDeviceName(component)) return "reserved device name";
  return {};
}

// Splits on both separators and rebuilds with u'/' only; fails on anything
// that could resolve outside the destination or to something that is not a
// plain file there.
std::string_view NormalizePath(std::u16string_view name, std::u16string& path, bool& isDirectory) {
  if (name.empty()) return "empty name";
  if (IsSeparator(name.front())) return "absolute path";
  if (name.find(u':') != std::u16string_view::npos) return "colon in name (drive or stream)";
  isDirectory = IsSeparator(name.back());
  if (isDirectory) name.remove_suffix(1);
  path.clear();
  size_t start = 0;
  while (true) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::u16string_view component = name.substr(start, end - start);
    std::string_view problem = ComponentProblem(component);
    if (!problem.empty()) return problem;
    if (!path.empty()) path += u'/';
    path += component;
    if (end == name.size()) break;
    start = end + 1;
  }
  return {};
}

// The key under which two paths name one file on Windows. Only ASCII
// letters are folded, as in every comparison of the installer: the
// package names its files in ASCII.
std::u16string FoldCase(std::u16string_view path) {
  std::u16string folded(path);
  for (char16_t& c : folded) c = AsciiLower(c);
  return folded;
}

// A validated path for a message.
std::string Display(std::u16string_view path) {
  std::string out;
  Utf16ToUtf8(path, out);
  return out;
}

// --- Headers ---------------------------------------------------------------

std::optional<std::string_view> FindExtra(std::string_view extra, uint16_t id) {
  LeView view = ViewOf(extra);
  // A trailing fragment shorter than a field header is padding some writers
  // leave; it is never read as data.
  while (view.Remaining() >= 4) {
    uint16_t fieldId = view.U16();
    uint16_t length = view.U16();
    std::string_view data = view.Bytes(length);
    if (!view.ok()) return std::nullopt;
    if (fieldId == id) return data;
  }
  return std::nullopt;
}

// Replaces the 32-bit fields that hold the sentinel by their 64-bit values,
// which appear in this fixed order and only for the fields that need them.
bool ApplyZip64(std::string_view extra, uint64_t* uncompressed, uint64_t* compressed,
                uint64_t* offset, uint32_t* disk, bool diskIsSentinel) {
  bool needed = (uncompressed && *uncompressed == kSentinel32) ||
                (compressed && *compressed == kSentinel32) || (offset && *offset == kSentinel32) ||
                diskIsSentinel;
  if (!needed) return true;
  std::optional<std::string_view> field = FindExtra(extra, kExtraZip64);
  if (!field) return false;
  LeView view = ViewOf(*field);
  if (uncompressed && *uncompressed == kSentinel32) *uncompressed = view.U64();
  if (compressed && *compressed == kSentinel32) *compressed = view.U64();
  if (offset && *offset == kSentinel32) *offset = view.U64();
  if (diskIsSentinel && disk) *disk = view.U32();
  return view.ok();
}

// Decodes the name: UTF-8 when flagged, the Unicode path extra when its CRC
// shows it belongs to this very name, the DOS code page otherwise.
bool DecodeName(std::string_view raw, uint16_t flags, std::string_view extra, std::u16string& name) {
  if (flags & kFlagUtf8) return Utf8ToUtf16(raw, name);
  if (std::optional<std::string_view> field = FindExtra(extra, kExtraUnicodePath)) {
    LeView view = ViewOf(*field);
    std::string_view version = view.Bytes(1);
    uint32_t nameCrc = view.U32();
    if (view.ok() && version[0] == 1 &&
        nameCrc == Crc32(0, reinterpret_cast<const uint8_t*>(raw.data()), raw.size())) {
      return Utf8ToUtf16(field->substr(5), name);
    }
  }
  name = Cp437ToUtf16(raw);
  return true;
}

class Extractor {
 public:
  Extractor(ZipSource& source, ZipSink& sink) : source_(source), sink_(sink) {}

  ZipResult Run() {
    Directory directory;
    if (ZipResult r = FindDirectory(directory); !r.ok()) return r;
    std::vector<Entry> entries;
    if (ZipResult r = ReadDirectory(directory, entries); !r.ok()) return r;
    dataLimit_ = directory.offset;
    // Every header is checked before the first write, so a malformed archive
    // leaves nothing behind; only the data itself is checked as it streams.
    for (Entry& entry : entries) {
      if (ZipResult r = ReadLocalHeader(entry); !r.ok()) return r;
      if (entry.flags & kFlagDescriptor) {
        if (ZipResult r = CheckDescriptor(entry); !r.ok()) return r;
      }
    }
    for (const Entry& entry : entries) {
      if (ZipResult r = ExtractEntry(entry); !r.ok()) return r;
    }
    return {};
  }

 private:
  ZipResult ReadFailed() { return Fail(ZipError::ReadFailed, "the archive could not be read"); }

  // The end record sits in the last 64 KiB + 22 bytes; its comment must
  // reach exactly to the end of the file, which rules out a signature that
  // merely happens to occur inside the comment.
  ZipResult FindDirectory(Directory& directory) {
    uint64_t size = source_.Size();
    if (size < kEndSize) return Fail(ZipError::Corrupt, "too small to be a ZIP archive");
    size_t tailSize = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + kMaxCommentSize));
    uint64_t tailStart = size - tailSize;
    std::vector<uint8_t> tail;
    if (!source_.Read(tailStart, tailSize, tail)) return ReadFailed();

    std::optional<size_t> found;
    for (size_t i = tailSize - kEndSize + 1; i-- > 0;) {
      LeView view(tail.data() + i, tailSize - i);
      if (view.U32() != kEndSig) continue;
      view.Bytes(16);
      if (view.U16() == tailSize - i - kEndSize) {
        found = i;
        break;
      }
    }
    if (!found) return Fail(ZipError::Corrupt, "end of central directory not found (not a ZIP archive?)");

    uint64_t endPos = tailStart + *found;
    LeView end(tail.data() + *found, kEndSize);
    end.U32();
    uint32_t disk = end.U16();
    uint32_t directoryDisk = end.U16();
    uint64_t entriesOnDisk = end.U16();
    directory.entries = end.U16();
    directory.size = end.U32();
    directory.offset = end.U32();
    uint64_t directoryLimit = endPos;

    std::vector<uint8_t> locator;
    if (endPos >= kZip64LocatorSize) {
      uint64_t locatorPos = endPos - kZip64LocatorSize;
      if (!source_.Read(locatorPos, kZip64LocatorSize, locator)) return ReadFailed();
      LeView loc(locator.data(), locator.size());
      if (loc.U32() == kZip64LocatorSig) {
        uint32_t recordDisk = loc.U32();
        uint64_t recordPos = loc.U64();
        uint32_t totalDisks = loc.U32();
        if (recordDisk != 0 || totalDisks > 1)
          return Fail(ZipError::Unsupported, "split (multi-part) archives are not supported");
        if (!FitsWithin(recordPos, kZip64EndSize, locatorPos))
          return Fail(ZipError::Corrupt, "ZIP64 end of central directory is out of bounds");
        std::vector<uint8_t> record;
        if (!source_.Read(recordPos, kZip64EndSize, record)) return ReadFailed();
        LeView z(record.data(), record.size());
        uint32_t sig = z.U32();
        uint64_t recordSize = z.U64();
        z.U16();  // made by
        z.U16();  // needed
        uint32_t disk64 = z.U32();
        uint32_t directoryDisk64 = z.U32();
        uint64_t entriesOnDisk64 = z.U64();
        uint64_t entries64 = z.U64();
        uint64_t size64 = z.U64();
        uint64_t offset64 = z.U64();
        if (sig != kZip64EndSig || recordSize < kZip64EndSize - 12 ||
            !FitsWithin(recordPos + 12, recordSize, locatorPos))
          return Fail(ZipError::Corrupt, "bad ZIP64 end of central directory record");
        // Where the classic record does hold a value, both must agree.
        if ((disk != kSentinel16 && disk != disk64) ||
            (directory.entries != kSentinel16 && directory.entries != entries64) ||
            (directory.size != kSentinel32 && directory.size != size64) ||
            (directory.offset != kSentinel32 && directory.offset != offset64))
          return Fail(ZipError::Corrupt, "end of central directory records disagree");
        disk = disk64;
        directoryDisk = directoryDisk64;
        entriesOnDisk = entriesOnDisk64;
        directory.entries = entries64;
        directory.size = size64;
        directory.offset = offset64;
        directoryLimit = recordPos;
      }
    }

    if (disk != 0 || directoryDisk != 0)
      return Fail(ZipError::Unsupported, "split (multi-part) archives are not supported");
    if (entriesOnDisk != directory.entries)
      return Fail(ZipError::Corrupt, "end of central directory counts disagree");
    if (directory.entries == 0) return Fail(ZipError::Empty, "the archive has no entries");
    if (!FitsWithin(directory.offset, directory.size, directoryLimit))
      return Fail(ZipError::Corrupt, "central directory is out of bounds");
    if (directory.entries > directory.size / kCentralHeaderSize)
      return Fail(ZipError::Corrupt, "entry count does not fit the central directory");
    return {};
  }

  ZipResult ReadDirectory(const Directory& directory, std::vector<Entry>& entries) {
    const uint64_t end = directory.offset + directory.size;
    uint64_t pos = directory.offset;
    std::vector<uint8_t> fixed;
    std::vector<uint8_t> variable;
    entries.reserve(static_cast<size_t>(std::min<uint64_t>(directory.entries, 4096)));
    for (uint64_t index = 0; index < directory.entries; ++index) {
      std::string where = "central directory entry " + std::to_string(index + 1);
      if (!FitsWithin(pos, kCentralHeaderSize, end))
        return Fail(ZipError::Corrupt, where + " runs past the central directory");
      if (!source_.Read(pos, kCentralHeaderSize, fixed)) return ReadFailed();
      LeView h(fixed.data(), fixed.size());
      uint32_t sig = h.U32();
      h.U16();  // made by
      h.U16();  // needed
      Entry entry;
      entry.flags = h.U16();
      entry.method = h.U16();
      h.U32();  // time and date
      entry.crc = h.U32();
      entry.compressedSize = h.U32();
      entry.uncompressedSize = h.U32();
      uint16_t nameLength = h.U16();
      uint16_t extraLength = h.U16();
      uint16_t commentLength = h.U16();
      uint32_t disk = h.U16();
      h.U16();  // internal attributes
      h.U32();  // external attributes
      entry.localOffset = h.U32();
      if (sig != kCentralHeaderSig) return Fail(ZipError::Corrupt, where + " has a bad signature");

      size_t variableSize = size_t{nameLength} + extraLength + commentLength;
      if (!FitsWithin(pos + kCentralHeaderSize, variableSize, end))
        return Fail(ZipError::Corrupt, where + " runs past the central directory");
      if (!source_.Read(pos + kCentralHeaderSize, variableSize, variable)) return ReadFailed();
      pos += kCentralHeaderSize + variableSize;
      LeView v(variable.data(), variable.size());
      entry.rawName = std::string(v.Bytes(nameLength));
      std::string_view extra = v.Bytes(extraLength);

      std::u16string name;
      if (!DecodeName(entry.rawName, entry.flags, extra, name))
        return Fail(ZipError::Corrupt, where + " has a name that is not valid UTF-8: \"" +
                                           Printable(entry.rawName) + "\"");
      if (!Utf16ToUtf8(name, entry.displayName)) entry.displayName = Printable(entry.rawName);

      if (!ApplyZip64(extra, &entry.uncompressedSize, &entry.compressedSize, &entry.localOffset,
                      &disk, disk == kSentinel16))
        return EntryFail(ZipError::Corrupt, entry, "missing or short ZIP64 extra field");
      if (disk != 0) return EntryFail(ZipError::Unsupported, entry, "lies in another part of a split archive");
      if (entry.flags & (kFlagEncrypted | kFlagStrongEncryption | kFlagMaskedHeaders))
        return EntryFail(ZipError::Unsupported, entry, "is encrypted");
      if (entry.method != kMethodStored && entry.method != kMethodDeflated)
        return EntryFail(ZipError::Unsupported, entry,
                         "uses compression method " + std::to_string(entry.method) +
                             " (only stored and deflated are supported)");
      if (entry.method == kMethodStored && entry.compressedSize != entry.uncompressedSize)
        return EntryFail(ZipError::Corrupt, entry, "stored entry with differing sizes");
      if (!FitsWithin(entry.localOffset, kLocalHeaderSize, directory.offset) ||
          !FitsWithin(entry.localOffset + kLocalHeaderSize, entry.compressedSize, directory.offset))
        return EntryFail(ZipError::Corrupt, entry, "data lies outside the archive");

      if (std::string_view problem = NormalizePath(name, entry.path, entry.isDirectory); !problem.empty())
        return EntryFail(ZipError::UnsafePath, entry, "unsafe path: " + std::string(problem));
      if (entry.isDirectory && entry.uncompressedSize != 0)
        return EntryFail(ZipError::Corrupt, entry, "directory entry with contents");
      entries.push_back(std::move(entry));
    }
    if (pos != end) return Fail(ZipError::Corrupt, "central directory size does not match its entries");
    return CheckTreeShape(entries);
  }

  // A file that is also used as a directory cannot be extracted. Windows
  // compares names without letter case, so two files, or a file and a
  // folder, whose paths differ only in case would land on one; folders that
  // differ only in case are simply one folder there. Finding all this now
  // keeps the failure before the first write.
  static ZipResult CheckTreeShape(const std::vector<Entry>& entries) {
    std::set<std::u16string> directories;
    // Folded path -> the first spelling met.
    std::map<std::u16string, std::u16string> fileSpellings, directorySpellings;
    for (const Entry& entry : entries) {
      if (entry.isDirectory) {
        directories.insert(entry.path);
        directorySpellings.emplace(FoldCase(entry.path), entry.path);
      } else {
        fileSpellings.emplace(FoldCase(entry.path), entry.path);
      }
      for (size_t slash = entry.path.find(u'/'); slash != std::u16string::npos;
           slash = entry.path.find(u'/', slash + 1)) {
        std::u16string parent = entry.path.substr(0, slash);
        directorySpellings.emplace(FoldCase(parent), parent);
        directories.insert(std::move(parent));
      }
    }
    for (const Entry& entry : entries) {
      if (entry.isDirectory) continue;
      if (directories.count(entry.path)) return EntryFail(ZipError::Corrupt, entry, "is both a file and a directory");
      const std::u16string folded = FoldCase(entry.path);
      if (const std::u16string& first = fileSpellings.at(folded); first != entry.path)
        return EntryFail(ZipError::UnsafePath, entry, "unsafe path: differs only in letter case from \"" + Display(first) + "\"");
      if (auto folder = directorySpellings.find(folded); folder != directorySpellings.end())
        return EntryFail(ZipError::UnsafePath, entry,
                         "unsafe path: differs only in letter case from the folder \"" + Display(folder->second) + "\"");
    }
    return {};
  }

  ZipResult MakeParents(const Entry& entry, bool includingSelf) {
    size_t limit = includingSelf ? entry.path.size() : entry.path.rfind(u'/');
    if (limit == std::u16string::npos) return {};
    for (size_t slash = entry.path.find(u'/');; slash = entry.path.find(u'/', slash + 1)) {
      size_t cut = std::min(slash, limit);
      std::u16string dir = entry.path.substr(0, cut);
      if (!made_.count(dir)) {
        if (!sink_.MakeDirectory(dir)) {
          std::string display;
          Utf16ToUtf8(dir, display);
          return Fail(ZipError::SinkFailed, "could not create the folder \"" + display + "\"");
        }
        made_.insert(std::move(dir));
      }
      if (cut == limit) return {};
    }
  }

  // Checks the local header against the central directory and finds where
  // the entry's data starts.
  ZipResult ReadLocalHeader(Entry& entry) {
    std::vector<uint8_t> fixed;
    if (!source_.Read(entry.localOffset, kLocalHeaderSize, fixed)) return ReadFailed();
    LeView h(fixed.data(), fixed.size());
    uint32_t sig = h.U32();
    h.U16();  // needed
    uint16_t flags = h.U16();
    uint16_t method = h.U16();
    h.U32();  // time and date
    uint32_t crc = h.U32();
    uint64_t compressed = h.U32();
    uint64_t uncompressed = h.U32();
    uint16_t nameLength = h.U16();
    uint16_t extraLength = h.U16();
    if (sig != kLocalHeaderSig) return EntryFail(ZipError::Corrupt, entry, "bad local header signature");
    if (method != entry.method || (flags & kFlagDescriptor) != (entry.flags & kFlagDescriptor))
      return EntryFail(ZipError::Corrupt, entry, "local header disagrees with the central directory");

    uint64_t variableStart = entry.localOffset + kLocalHeaderSize;
    size_t variableSize = size_t{nameLength} + extraLength;
    if (!FitsWithin(variableStart, variableSize, dataLimit_))
      return EntryFail(ZipError::Corrupt, entry, "local header runs past its bounds");
    std::vector<uint8_t> variable;
    if (!source_.Read(variableStart, variableSize, variable)) return ReadFailed();
    LeView v(variable.data(), variable.size());
    std::string_view name = v.Bytes(nameLength);
    std::string_view extra = v.Bytes(extraLength);
    if (name != entry.rawName)
      return EntryFail(ZipError::Corrupt, entry, "local header names a different entry");

    if (!(flags & kFlagDescriptor)) {
      if (!ApplyZip64(extra, &uncompressed, &compressed, nullptr, nullptr, false))
        return EntryFail(ZipError::Corrupt, entry, "missing or short ZIP64 extra field in local header");
      if (crc != entry.crc || compressed != entry.compressedSize || uncompressed != entry.uncompressedSize)
        return EntryFail(ZipError::Corrupt, entry, "local header disagrees with the central directory");
    }

    entry.dataStart = variableStart + variableSize;
    if (!FitsWithin(entry.dataStart, entry.compressedSize, dataLimit_))
      return EntryFail(ZipError::Corrupt, entry, "data runs past its bounds");
    return {};
  }

  // The descriptor may or may not carry its signature and holds 32- or
  // 64-bit sizes; the layout that repeats the central values is the one.
  ZipResult CheckDescriptor(const Entry& entry) {
    uint64_t position = entry.dataStart + entry.compressedSize;
    size_t available = static_cast<size_t>(std::min<uint64_t>(24, dataLimit_ - position));
    std::vector<uint8_t> bytes;
    if (!source_.Read(position, available, bytes)) return ReadFailed();
    for (bool signature : {true, false}) {
      for (bool wide : {false, true}) {
        LeView d(bytes.data(), bytes.size());
        if (signature && d.U32() != kDescriptorSig) continue;
        uint32_t crc = d.U32();
        uint64_t compressed = wide ? d.U64() : d.U32();
        uint64_t uncompressed = wide ? d.U64() : d.U32();
        if (d.ok() && crc == entry.crc && compressed == entry.compressedSize &&
            uncompressed == entry.uncompressedSize)
          return {};
      }
    }
    return EntryFail(ZipError::Corrupt, entry, "data descriptor missing or disagrees with the central directory");
  }

  ZipResult ExtractEntry(const Entry& entry) {
    if (entry.isDirectory) return MakeParents(entry, true);

    if (ZipResult r = MakeParents(entry, false); !r.ok()) return r;
    if (!sink_.BeginFile(entry.path)) return EntryFail(ZipError::SinkFailed, entry, "could not create the file");
    uint32_t crc = 0;
    ZipResult r = entry.method == kMethodStored ? CopyStored(entry, entry.dataStart, crc)
                                                : Inflate(entry, entry.dataStart, crc);
    if (r.ok() && crc != entry.crc) r = EntryFail(ZipError::Corrupt, entry, "CRC-32 mismatch");
    if (!r.ok()) {
      sink_.AbandonFile();
      return r;
    }
    if (!sink_.FinishFile()) return EntryFail(ZipError::SinkFailed, entry, "could not complete the file");
    return {};
  }

  ZipResult Write(const Entry& entry, const uint8_t* data, size_t count, uint32_t& crc) {
    crc = Crc32(crc, data, count);
    if (!sink_.WriteChunk(data, count)) return EntryFail(ZipError::SinkFailed, entry, "could not write the file");
    return {};
  }

  ZipResult CopyStored(const Entry& entry, uint64_t position, uint32_t& crc) {
    std::vector<uint8_t> buffer(kChunkSize);
    for (uint64_t left = entry.compressedSize; left > 0;) {
      size_t count = static_cast<size_t>(std::min<uint64_t>(left, kChunkSize));
      if (!source_.Read(position, count, buffer)) return ReadFailed();
      if (ZipResult r = Write(entry, buffer.data(), count, crc); !r.ok()) return r;
      position += count;
      left -= count;
    }
    return {};
  }

  ZipResult Inflate(const Entry& entry, uint64_t position, uint32_t& crc) {
    struct Stream {
      z_stream z{};
      bool ready = false;
      ~Stream() {
        if (ready) inflateEnd(&z);
      }
    } stream;
    // Raw deflate: the archive has no zlib wrapper around entry data.
    if (inflateInit2(&stream.z, -MAX_WBITS) != Z_OK)
      return EntryFail(ZipError::Corrupt, entry, "could not start decompression");
    stream.ready = true;

    std::vector<uint8_t> input(kChunkSize);
    std::vector<uint8_t> output(kChunkSize);
    uint64_t inputLeft = entry.compressedSize;
    uint64_t produced = 0;  // z_stream counters are 32-bit on Windows
    bool finished = false;
    while (!finished) {
      if (stream.z.avail_in == 0) {
        if (inputLeft == 0) return EntryFail(ZipError::Corrupt, entry, "compressed data is truncated");
        size_t count = static_cast<size_t>(std::min<uint64_t>(inputLeft, kChunkSize));
        if (!source_.Read(position, count, input)) return ReadFailed();
        position += count;
        inputLeft -= count;
        stream.z.next_in = input.data();
        stream.z.avail_in = static_cast<uInt>(count);
      }
      stream.z.next_out = output.data();
      stream.z.avail_out = static_cast<uInt>(output.size());
      int status = inflate(&stream.z, Z_NO_FLUSH);
      if (status == Z_STREAM_END) {
        finished = true;
      } else if (status != Z_OK && status != Z_BUF_ERROR) {
        return EntryFail(ZipError::Corrupt, entry, "compressed data is invalid");
      }
      size_t count = output.size() - stream.z.avail_out;
      if (count > entry.uncompressedSize - produced)
        return EntryFail(ZipError::Corrupt, entry, "expands beyond its declared size");
      produced += count;
      if (count > 0) {
        if (ZipResult r = Write(entry, output.data(), count, crc); !r.ok()) return r;
      } else if (status == Z_BUF_ERROR && stream.z.avail_in != 0) {
        return EntryFail(ZipError::Corrupt, entry, "compressed data is invalid");
      }
    }
    if (stream.z.avail_in != 0 || inputLeft != 0)
      return EntryFail(ZipError::Corrupt, entry, "compressed data ends before its declared size");
    if (produced != entry.uncompressedSize)
      return EntryFail(ZipError::Corrupt, entry, "expands to less than its declared size");
    return {};
  }

  WindowedSource source_;
  ZipSink& sink_;
  uint64_t dataLimit_ = 0;  // local headers and data lie before the central directory
  std::set<std::u16string> made_;
};

constexpr std::array<char16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

}  // namespace

ZipResult ExtractZip(ZipSource& source, ZipSink& sink) { return Extractor(source, sink).Run(); }

bool Utf8ToUtf16(std::string_view utf8, std::u16string& out) {
  out.clear();
  size_t i = 0;
  while (i < utf8.size()) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(utf8[k]); };
    unsigned char lead = byte(i);
    size_t length;
    char32_t cp;
    char32_t minimum;
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (length > utf8.size() - i) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += length;
  }
  return true;
}

bool Utf16ToUtf8(std::u16string_view utf16, std::string& out) {
  out.clear();
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 == utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return false;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return true;
}

std::u16string Cp437ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) out += c < 0x80 ? static_cast<char16_t>(c) : kCp437High[c - 0x80];
  return out;
}

}  // namespace kestrel
