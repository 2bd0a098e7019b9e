// Extraction of the downloaded product package. The archive comes from the
// network, so every byte of it is treated as hostile: nothing is written
// unless the whole central directory is sound and every entry path stays
// inside the destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// Random access to the archive bytes. The Windows side wraps a file handle.
class ZipSource {
 public:
  virtual ~ZipSource() = default;
  virtual uint64_t Size() const = 0;
  // Fills exactly `count` bytes from `offset`; false on any failure or short
  // read. The reader never asks for more than about 64 KiB at once.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

// Where extracted entries go. Paths are relative to the destination, made of
// validated components joined by u'/' (the Windows side swaps in u'\\').
// They never contain "..", ".", empty components, a drive or a colon.
//
// Contract for implementations:
// - MakeDirectory succeeds when the directory already exists. The reader
//   creates every parent before it is needed, root first, so the sink never
//   has to create intermediate directories itself.
// - BeginFile replaces an existing file silently (the package overwrites a
//   previous installation).
// - After BeginFile, either FinishFile or AbandonFile follows. AbandonFile
//   must remove the partial file: a half-written file must not look like an
//   installed one.
// Any false return stops the extraction and the result reports failure.
class ZipSink {
 public:
  virtual ~ZipSink() = default;
  virtual bool MakeDirectory(const std::u16string& relativePath) = 0;
  virtual bool BeginFile(const std::u16string& relativePath) = 0;
  virtual bool WriteChunk(const uint8_t* data, size_t count) = 0;
  virtual bool FinishFile() = 0;
  virtual void AbandonFile() = 0;
};

enum class ZipError {
  None,
  ReadFailed,   // the source could not deliver bytes it claims to have
  Corrupt,      // malformed headers, bad stream, CRC or size mismatch
  Unsupported,  // method, encryption or split archive we do not handle
  UnsafePath,   // an entry would land outside the destination
  Empty,        // no entries at all: never a valid package
  SinkFailed,   // the destination refused a directory, file or write
};

struct ZipResult {
  ZipError error = ZipError::None;
  std::string message;  // UTF-8, names the entry when there is one
  bool ok() const { return error == ZipError::None; }
};

// Extracts every entry. Entry paths and headers are all checked before the
// first write; a failure part-way (bad data in a later entry, a sink
// refusal) leaves the entries already finished in place and abandons the
// current one, and the result is a failure.
ZipResult ExtractZip(ZipSource& source, ZipSink& sink);

// Conversions used for entry names, exposed for the Windows side and tests.
// Both return false on input that is not valid (invalid UTF-8 sequences,
// overlong forms, surrogates, unpaired UTF-16 surrogates).
bool Utf8ToUtf16(std::string_view utf8, std::u16string& out);
bool Utf16ToUtf8(std::u16string_view utf16, std::string& out);
// Names without the UTF-8 flag are in the DOS code page. Bytes below 0x80
// stay ASCII so control bytes are caught by the path checks instead of
// turning into the code page's pictograms.
std::u16string Cp437ToUtf16(std::string_view bytes);

}  // namespace kestrel
