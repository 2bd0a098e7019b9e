#include "engine/zip_extract.h"

#include <windows.h>

#include "engine/zip_reader.h"
#include "win/handle.h"
#include "win/module.h"

namespace kestrel {
namespace {

class FileSource : public ZipSource {
 public:
  explicit FileSource(const std::wstring& path)
      : file_(::CreateFileW(win::LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    LARGE_INTEGER size = {};
    if (file_ && ::GetFileSizeEx(file_.get(), &size)) size_ = static_cast<uint64_t>(size.QuadPart);
  }
  bool ok() const { return static_cast<bool>(file_); }
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
    auto* out = static_cast<char*>(buffer);
    while (count > 0) {
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD want = count > (1u << 20) ? (1u << 20) : static_cast<DWORD>(count);
      DWORD got = 0;
      if (!::ReadFile(file_.get(), out, want, &got, &at) || got == 0) return false;
      out += got;
      offset += got;
      count -= got;
    }
    return true;
  }

 private:
  win::UniqueHandle file_;
  uint64_t size_ = 0;
};

class FolderSink : public ZipSink {
 public:
  explicit FolderSink(std::wstring destination) : destination_(std::move(destination)) {}

  bool MakeDirectory(const std::u16string& relativePath) override {
    const std::wstring path = win::LongPath(PathOf(relativePath));
    if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  bool BeginFile(const std::u16string& relativePath) override {
    path_ = win::LongPath(PathOf(relativePath));
    // A read-only file of an earlier installation is replaced all the same.
    const DWORD attributes = ::GetFileAttributesW(path_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
      ::SetFileAttributesW(path_.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    file_.reset(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file_);
  }

  bool WriteChunk(const uint8_t* data, size_t count) override {
    while (count > 0) {
      const DWORD want = count > (1u << 20) ? (1u << 20) : static_cast<DWORD>(count);
      DWORD written = 0;
      if (!::WriteFile(file_.get(), data, want, &written, nullptr) || written == 0) return false;
      data += written;
      count -= written;
    }
    return true;
  }

  bool FinishFile() override {
    // Closing can report a failed write-back (a full disk on a network share).
    HANDLE file = file_.release();
    return ::CloseHandle(file) != FALSE;
  }

  void AbandonFile() override {
    file_.reset();
    ::DeleteFileW(path_.c_str());
  }

 private:
  std::wstring PathOf(const std::u16string& relativePath) const {
    std::wstring path = destination_;
    path.push_back(L'\\');
    for (char16_t c : relativePath) path.push_back(c == u'/' ? L'\\' : static_cast<wchar_t>(c));
    return path;
  }

  std::wstring destination_;
  std::wstring path_;
  win::UniqueHandle file_;
};

}  // namespace

bool ExtractZip(const std::wstring& archivePath, const std::wstring& destination, std::string* why) {
  FileSource source(archivePath);
  if (!source.ok()) {
    if (why != nullptr) *why = "the archive cannot be opened (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  FolderSink sink(destination);
  ZipResult result = ExtractZip(source, sink);
  if (!result.ok() && why != nullptr) *why = result.message;
  return result.ok();
}

}  // namespace kestrel
