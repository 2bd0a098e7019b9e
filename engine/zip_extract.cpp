#include "engine/zip_extract.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/text_convert.h"
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

// Hands the file work to a thread of its own, so that the next piece is
// inflated on one core while the last one is written on the other. The
// work keeps its order; the first failure stops it (the file it failed on
// is abandoned, nothing after it is written) and shows at the reader's
// next call, or when the extraction ends.
class PipelinedSink : public ZipSink {
 public:
  explicit PipelinedSink(FolderSink& folder) : folder_(folder), writer_([this] { Work(); }) {}
  ~PipelinedSink() override { Finish(); }

  bool MakeDirectory(const std::u16string& relativePath) override { return Push({Kind::kDirectory, relativePath, {}}); }
  bool BeginFile(const std::u16string& relativePath) override { return Push({Kind::kBegin, relativePath, {}}); }
  bool WriteChunk(const uint8_t* data, size_t count) override {
    return Push({Kind::kChunk, {}, std::vector<uint8_t>(data, data + count)});
  }
  bool FinishFile() override { return Push({Kind::kFinish, {}, {}}); }
  void AbandonFile() override { Push({Kind::kAbandon, {}, {}}); }

  // Waits until everything handed over is done; true when all of it was.
  // why receives the failure, naming the path.
  bool Finish(std::string* why = nullptr) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    queued_.notify_all();
    if (writer_.joinable()) writer_.join();
    if (failed_ && why != nullptr) *why = failure_;
    return !failed_;
  }

 private:
  enum class Kind { kDirectory, kBegin, kChunk, kFinish, kAbandon };
  struct Command {
    Kind kind;
    std::u16string path;
    std::vector<uint8_t> data;
  };
  // Enough to keep the writer busy, little enough to stay small.
  static constexpr size_t kMaxQueuedBytes = 16u << 20;

  bool Push(Command command) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return failed_ || queuedBytes_ < kMaxQueuedBytes; });
    if (failed_) return false;
    queuedBytes_ += command.data.size();
    commands_.push_back(std::move(command));
    queued_.notify_one();
    return true;
  }

  void Work() {
    std::u16string current;  // the file being written
    for (;;) {
      Command command;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        queued_.wait(lock, [&] { return closing_ || !commands_.empty(); });
        if (commands_.empty()) return;
        command = std::move(commands_.front());
        commands_.pop_front();
        queuedBytes_ -= command.data.size();
        room_.notify_one();
        if (failed_) continue;  // nothing after a failure is written
      }
      bool ok = true;
      DWORD error = ERROR_SUCCESS;
      const char* what = "";
      switch (command.kind) {
        case Kind::kDirectory:
          ok = folder_.MakeDirectory(command.path);
          what = "could not create the folder";
          current = command.path;
          break;
        case Kind::kBegin:
          current = command.path;
          ok = folder_.BeginFile(command.path);
          what = "could not create the file";
          break;
        case Kind::kChunk:
          ok = folder_.WriteChunk(command.data.data(), command.data.size());
          what = "could not write the file";
          if (!ok) {
            error = ::GetLastError();
            folder_.AbandonFile();  // no partial file stays
          }
          break;
        case Kind::kFinish:
          ok = folder_.FinishFile();
          what = "could not complete the file";
          break;
        case Kind::kAbandon:
          folder_.AbandonFile();
          break;
      }
      if (ok) continue;
      if (error == ERROR_SUCCESS) error = ::GetLastError();
      const std::string name = WideToUtf8(std::wstring(current.begin(), current.end())).value_or("?");
      std::lock_guard<std::mutex> lock(mutex_);
      failed_ = true;
      failure_ = "\"" + name + "\": " + what + " (error " + std::to_string(error) + ")";
      room_.notify_all();
    }
  }

  FolderSink& folder_;
  std::mutex mutex_;
  std::condition_variable queued_, room_;
  std::deque<Command> commands_;
  size_t queuedBytes_ = 0;
  bool closing_ = false;
  bool failed_ = false;
  std::string failure_;
  std::thread writer_;  // last: starts once everything above exists
};

}  // namespace

bool ExtractZip(const std::wstring& archivePath, const std::wstring& destination, std::string* why) {
  FileSource source(archivePath);
  if (!source.ok()) {
    if (why != nullptr) *why = "the archive cannot be opened (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  FolderSink folder(destination);
  std::unique_ptr<PipelinedSink> pipeline;
  try {
    pipeline = std::make_unique<PipelinedSink>(folder);
  } catch (...) {
    // No second thread: the same work on this one.
  }
  ZipSink& sink = pipeline ? static_cast<ZipSink&>(*pipeline) : folder;
  ZipResult result = ExtractZip(source, sink);
  std::string writeFailure;
  const bool written = !pipeline || pipeline->Finish(&writeFailure);
  // A failure of the writing names the file it met, which the reader
  // (already further on) cannot.
  if (!written && (result.ok() || result.error == ZipError::SinkFailed)) {
    if (why != nullptr) *why = writeFailure;
    return false;
  }
  if (!result.ok() && why != nullptr) *why = result.message;
  return result.ok();
}

}  // namespace kestrel
