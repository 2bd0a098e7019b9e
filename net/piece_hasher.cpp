#include "net/piece_hasher.h"

namespace kestrel {

PieceHasher::PieceHasher(size_t pieceSize) : pieceSize_(pieceSize) {
  for (auto& buffer : buffers_) buffer.reset(new char[pieceSize_]);
  try {
    worker_ = std::thread([this] { Work(); });
  } catch (...) {
    // No second thread: Hash does the work on the caller's.
  }
}

PieceHasher::~PieceHasher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  queued_.notify_all();
  if (worker_.joinable()) worker_.join();
}

char* PieceHasher::NextBuffer() {
  std::unique_lock<std::mutex> lock(mutex_);
  // The ring hands buffers out in order: with fewer than all of them
  // pending, the next one is free.
  done_.wait(lock, [&] { return pending_ < kBuffers; });
  return buffers_[next_].get();
}

void PieceHasher::Hash(size_t count) {
  bytes_ += count;
  if (!worker_.joinable()) {
    if (!sha_.Add(buffers_[next_].get(), count)) failed_ = true;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sizes_[next_] = count;
    next_ = (next_ + 1) % kBuffers;
    ++pending_;
  }
  queued_.notify_one();
}

void PieceHasher::WaitIdle(std::unique_lock<std::mutex>& lock) {
  done_.wait(lock, [&] { return pending_ == 0; });
}

void PieceHasher::Restart() {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
  failed_ = !sha_.Restart();
  bytes_ = 0;
}

std::optional<Sha256Digest> PieceHasher::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
  const bool failed = failed_;
  auto digest = sha_.Finish();  // starts a new stream either way
  failed_ = !sha_.ok();
  bytes_ = 0;
  if (failed || !digest) return std::nullopt;
  return *digest;
}

void PieceHasher::Work() {
  for (;;) {
    size_t index = 0, count = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      queued_.wait(lock, [&] { return closing_ || pending_ > 0; });
      if (pending_ == 0) return;
      index = oldest_;
      count = sizes_[index];
    }
    const bool added = sha_.Add(buffers_[index].get(), count);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!added) failed_ = true;
      oldest_ = (oldest_ + 1) % kBuffers;
      --pending_;
    }
    done_.notify_all();
  }
}

}  // namespace kestrel
