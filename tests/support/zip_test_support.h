// Sources, sinks and a small archive writer for exercising the ZIP reader.
// The writer emits well-formed archives by default; each override produces
// one specific kind of damage so a test can show exactly one fault.
#pragma once

#include "engine/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::ziptest {

// Archive bytes with optional holes of zeros, so an archive can be larger
// than 4 GiB without the memory.
struct ZipImage {
  std::vector<std::pair<uint64_t, std::string>> pieces;
  uint64_t size = 0;

  void Append(std::string_view bytes) {
    if (bytes.empty()) return;
    if (!pieces.empty() && pieces.back().first + pieces.back().second.size() == size)
      pieces.back().second.append(bytes);
    else
      pieces.emplace_back(size, std::string(bytes));
    size += bytes.size();
  }
  void AppendZeros(uint64_t count) { size += count; }

  std::string Flat() const {
    if (size > (uint64_t{1} << 30)) throw std::logic_error("image too large to flatten");
    std::string out(static_cast<size_t>(size), '\0');
    for (const auto& [offset, bytes] : pieces) out.replace(static_cast<size_t>(offset), bytes.size(), bytes);
    return out;
  }
};

class ImageSource : public ZipSource {
 public:
  explicit ImageSource(ZipImage image) : image_(std::move(image)) {}
  explicit ImageSource(std::string_view bytes) { image_.Append(bytes); }

  uint64_t Size() const override { return image_.size; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
    largestRead = std::max(largestRead, count);
    if (offset > image_.size || count > image_.size - offset) return false;
    auto* out = static_cast<char*>(buffer);
    std::memset(out, 0, count);
    for (const auto& [start, bytes] : image_.pieces) {
      uint64_t from = std::max(start, offset);
      uint64_t to = std::min(start + bytes.size(), offset + count);
      if (from < to) std::memcpy(out + (from - offset), bytes.data() + (from - start), to - from);
    }
    return true;
  }

  size_t largestRead = 0;

 private:
  ZipImage image_;
};

// Keeps what the reader writes and records every breach of the sink
// contract (a parent missing, a path component that should never reach a
// sink, calls out of order) in `violations`.
class MemorySink : public ZipSink {
 public:
  bool MakeDirectory(const std::u16string& path) override {
    Check(path, "MakeDirectory");
    if (open_) Violation("MakeDirectory while a file is open");
    if (path == refusePath) return false;
    directories.insert(path);
    return true;
  }
  bool BeginFile(const std::u16string& path) override {
    Check(path, "BeginFile");
    if (open_) Violation("BeginFile while a file is open");
    if (directories.count(path)) Violation("BeginFile on a directory");
    if (path == refusePath) return false;
    open_ = true;
    current_ = path;
    files[path].clear();  // replaces silently
    sizes[path] = 0;
    return true;
  }
  bool WriteChunk(const uint8_t* data, size_t count) override {
    if (!open_) Violation("WriteChunk without an open file");
    if (count == 0) Violation("empty WriteChunk");
    bytesWritten += count;
    if (failWritesAfter && bytesWritten > *failWritesAfter) return false;
    sizes[current_] += count;
    if (keepData) files[current_].append(reinterpret_cast<const char*>(data), count);
    return true;
  }
  bool FinishFile() override {
    if (!open_) Violation("FinishFile without an open file");
    open_ = false;
    return current_ != refuseFinishPath;
  }
  void AbandonFile() override {
    if (!open_) Violation("AbandonFile without an open file");
    open_ = false;
    files.erase(current_);
    sizes.erase(current_);
    ++abandoned;
  }

  bool Empty() const { return files.empty() && directories.empty(); }

  std::map<std::u16string, std::string> files;
  std::map<std::u16string, uint64_t> sizes;  // also kept when the data is not
  std::set<std::u16string> directories;
  std::string violations;
  int abandoned = 0;
  uint64_t bytesWritten = 0;
  bool keepData = true;
  std::u16string refusePath;
  std::u16string refuseFinishPath;  // e.g. the disk filled up on close
  std::optional<uint64_t> failWritesAfter;

 private:
  void Violation(const std::string& what) { violations += what + "\n"; }

  void Check(const std::u16string& path, const char* call) {
    std::string why;
    size_t start = 0;
    while (true) {
      size_t slash = path.find(u'/', start);
      std::u16string component = path.substr(start, slash == std::u16string::npos ? std::u16string::npos : slash - start);
      if (component.empty() || component == u"." || component == u"..") why = "bad component";
      if (component.find_first_of(u":\\") != std::u16string::npos) why = "colon or backslash";
      if (slash == std::u16string::npos) break;
      std::u16string parent = path.substr(0, slash);
      if (!directories.count(parent)) why = "parent not created first";
      start = slash + 1;
    }
    if (!why.empty()) Violation(std::string(call) + ": " + why);
  }

  bool open_ = false;
  std::u16string current_;
};

// --- Archive writer ---------------------------------------------------------

enum class Descriptor { None, Plain, Signed, Plain64, Signed64 };

struct ZipEntrySpec {
  std::string name;  // raw bytes as stored
  std::string data;
  uint64_t zeroLength = 0;  // stored content of this many zeros, left as a hole
  uint16_t method = 0;
  uint16_t flags = 0;
  Descriptor descriptor = Descriptor::None;
  bool zip64 = false;  // sizes and offset through ZIP64 extra fields
  bool dropZip64Extra = false;  // sentinels in the headers, no extra field
  std::string centralExtra;
  std::string localExtra;
  // Damage, applied consistently to every header unless noted.
  std::optional<uint32_t> crc;
  std::optional<uint64_t> declaredSize;
  std::optional<uint64_t> declaredCompressedSize;
  std::optional<std::string> payload;  // compressed bytes as written
  std::optional<std::string> localName;
  std::optional<uint32_t> descriptorCrc;  // descriptor only

  template <class Change>
  ZipEntrySpec With(Change change) const {
    ZipEntrySpec copy = *this;
    change(copy);
    return copy;
  }
};

inline ZipEntrySpec Entry(std::string name, std::string data = {}, uint16_t method = 0) {
  ZipEntrySpec e;
  e.name = std::move(name);
  e.data = std::move(data);
  e.method = method;
  return e;
}

struct ZipOptions {
  bool zip64End = false;  // write the ZIP64 end records even if not needed
  std::string comment;
};

inline void PutLe(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void PatchLe(std::string& bytes, size_t offset, uint64_t value, int count) {
  for (int i = 0; i < count; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline uint64_t GetLe(std::string_view bytes, size_t offset, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value |= uint64_t{static_cast<uint8_t>(bytes[offset + i])} << (8 * i);
  return value;
}

inline std::string RawDeflate(std::string_view data) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (status != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

inline uint32_t CrcOf(std::string_view data) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

inline uint32_t CrcOfZeros(uint64_t count) {
  std::string zeros(1 << 20, '\0');
  uLong crc = 0;
  while (count > 0) {
    uInt n = static_cast<uInt>(std::min<uint64_t>(count, zeros.size()));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), n);
    count -= n;
  }
  return static_cast<uint32_t>(crc);
}

inline std::string ExtraField(uint16_t id, std::string_view data) {
  std::string out;
  PutLe(out, id, 2);
  PutLe(out, data.size(), 2);
  out.append(data);
  return out;
}

// The Info-ZIP style Unicode path: version 1, CRC of the stored name, UTF-8.
inline std::string UnicodePathExtra(std::string_view storedName, std::string_view utf8, uint32_t crcDelta = 0) {
  std::string data(1, '\1');
  PutLe(data, CrcOf(storedName) ^ crcDelta, 4);
  data.append(utf8);
  return ExtraField(0x7075, data);
}

inline ZipImage BuildZip(const std::vector<ZipEntrySpec>& entries, const ZipOptions& options = {}) {
  constexpr uint64_t k32 = 0xFFFFFFFF;
  ZipImage image;
  std::string central;
  bool needZip64End = options.zip64End || entries.size() >= 0xFFFF;
  for (const ZipEntrySpec& e : entries) {
    uint64_t offset = image.size;
    bool hole = e.zeroLength > 0;
    std::string payload = e.payload ? *e.payload : e.method == 8 ? RawDeflate(e.data) : e.data;
    uint64_t size = e.declaredSize.value_or(hole ? e.zeroLength : e.data.size());
    uint64_t compressed = e.declaredCompressedSize.value_or(hole ? e.zeroLength : payload.size());
    uint32_t crc = e.crc.value_or(hole ? CrcOfZeros(e.zeroLength) : CrcOf(e.data));
    bool zip64 = e.zip64 || size >= k32 || compressed >= k32 || offset >= k32;
    needZip64End = needZip64End || zip64;
    bool descriptor = e.descriptor != Descriptor::None;
    uint16_t flags = static_cast<uint16_t>(e.flags | (descriptor ? 0x0008 : 0));

    std::string local;
    PutLe(local, 0x04034b50, 4);
    PutLe(local, zip64 ? 45 : 20, 2);
    PutLe(local, flags, 2);
    PutLe(local, e.method, 2);
    PutLe(local, 0x5A210000, 4);  // a fixed date and time
    std::string localExtra = e.localExtra;
    if (descriptor) {
      PutLe(local, 0, 4);  // CRC and sizes follow the data
      PutLe(local, 0, 8);
    } else {
      PutLe(local, crc, 4);
      PutLe(local, zip64 ? k32 : compressed, 4);
      PutLe(local, zip64 ? k32 : size, 4);
      if (zip64 && !e.dropZip64Extra) {
        std::string data;
        PutLe(data, size, 8);
        PutLe(data, compressed, 8);
        localExtra = ExtraField(0x0001, data) + localExtra;
      }
    }
    std::string localName = e.localName.value_or(e.name);
    PutLe(local, localName.size(), 2);
    PutLe(local, localExtra.size(), 2);
    local += localName + localExtra;
    image.Append(local);
    if (hole)
      image.AppendZeros(e.zeroLength);
    else
      image.Append(payload);

    if (descriptor) {
      std::string d;
      bool wide = e.descriptor == Descriptor::Plain64 || e.descriptor == Descriptor::Signed64;
      if (e.descriptor == Descriptor::Signed || e.descriptor == Descriptor::Signed64) PutLe(d, 0x08074b50, 4);
      PutLe(d, e.descriptorCrc.value_or(crc), 4);
      PutLe(d, compressed, wide ? 8 : 4);
      PutLe(d, size, wide ? 8 : 4);
      image.Append(d);
    }

    std::string centralExtra;
    if (zip64 && !e.dropZip64Extra) {
      std::string data;
      PutLe(data, size, 8);
      PutLe(data, compressed, 8);
      PutLe(data, offset, 8);
      centralExtra = ExtraField(0x0001, data);
    }
    centralExtra += e.centralExtra;
    PutLe(central, 0x02014b50, 4);
    PutLe(central, 0x031E, 2);  // made on Unix
    PutLe(central, zip64 ? 45 : 20, 2);
    PutLe(central, flags, 2);
    PutLe(central, e.method, 2);
    PutLe(central, 0x5A210000, 4);
    PutLe(central, crc, 4);
    PutLe(central, zip64 ? k32 : compressed, 4);
    PutLe(central, zip64 ? k32 : size, 4);
    PutLe(central, e.name.size(), 2);
    PutLe(central, centralExtra.size(), 2);
    PutLe(central, 0, 2);  // comment
    PutLe(central, 0, 2);  // disk
    PutLe(central, 0, 2);  // internal attributes
    PutLe(central, 0, 4);  // external attributes
    PutLe(central, zip64 ? k32 : offset, 4);
    central += e.name + centralExtra;
  }

  uint64_t centralOffset = image.size;
  image.Append(central);
  needZip64End = needZip64End || centralOffset >= k32;
  std::string end;
  if (needZip64End) {
    uint64_t recordOffset = image.size;
    PutLe(end, 0x06064b50, 4);
    PutLe(end, 44, 8);
    PutLe(end, 45, 2);
    PutLe(end, 45, 2);
    PutLe(end, 0, 4);  // this disk
    PutLe(end, 0, 4);  // directory disk
    PutLe(end, entries.size(), 8);
    PutLe(end, entries.size(), 8);
    PutLe(end, central.size(), 8);
    PutLe(end, centralOffset, 8);
    PutLe(end, 0x07064b50, 4);
    PutLe(end, 0, 4);
    PutLe(end, recordOffset, 8);
    PutLe(end, 1, 4);
  }
  PutLe(end, 0x06054b50, 4);
  PutLe(end, 0, 4);
  PutLe(end, needZip64End ? 0xFFFF : entries.size(), 2);
  PutLe(end, needZip64End ? 0xFFFF : entries.size(), 2);
  PutLe(end, needZip64End ? k32 : central.size(), 4);
  PutLe(end, needZip64End ? k32 : centralOffset, 4);
  PutLe(end, options.comment.size(), 2);
  end += options.comment;
  image.Append(end);
  return image;
}

inline std::string BuildZipBytes(const std::vector<ZipEntrySpec>& entries, const ZipOptions& options = {}) {
  return BuildZip(entries, options).Flat();
}

}  // namespace kestrel::ziptest
