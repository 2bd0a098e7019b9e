// Hashes a download's pieces on a thread of its own: the next piece is
// read from the network on one core while the last one is hashed on the
// other (CNG's SHA-256 is about as fast as a loopback download, so the
// same thread would nearly double the time). The pieces live in a small
// ring of buffers; a buffer is handed out again only once its piece is
// hashed, so nothing is overwritten while the hash thread reads it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/payload_pin.h"
#include "win/sha256.h"

namespace kestrel {

class PieceHasher {
 public:
  explicit PieceHasher(size_t pieceSize);
  ~PieceHasher();
  PieceHasher(const PieceHasher&) = delete;
  PieceHasher& operator=(const PieceHasher&) = delete;

  // False when CNG could not start a hash.
  bool ok() const { return sha_.ok(); }
  // CNG's status of a failure, for the message.
  long status() const { return sha_.status(); }

  // The buffer for the next piece (pieceSize bytes); waits until the hash
  // thread is done with it.
  char* NextBuffer();
  // The first count bytes of the buffer NextBuffer gave are the next
  // bytes of the stream: hashed in order, after the ones before.
  void Hash(size_t count);
  // Bytes handed over since the stream started.
  uint64_t bytes() const { return bytes_; }
  // Waits for what was handed over and starts a new stream (the file
  // starts over from byte 0).
  void Restart();
  // Waits for what was handed over and gives the stream's hash; nullopt
  // when CNG failed on any piece. A new stream starts.
  std::optional<Sha256Digest> Finish();

 private:
  static constexpr size_t kBuffers = 4;

  void Work();
  void WaitIdle(std::unique_lock<std::mutex>& lock);

  const size_t pieceSize_;
  std::unique_ptr<char[]> buffers_[kBuffers];
  size_t sizes_[kBuffers] = {};
  size_t next_ = 0;     // the buffer NextBuffer hands out (this thread only)
  size_t oldest_ = 0;   // the next buffer to hash (hash thread)
  size_t pending_ = 0;  // handed over and not yet hashed
  bool closing_ = false;
  bool failed_ = false;
  uint64_t bytes_ = 0;
  win::Sha256 sha_;  // touched by the hash thread only while pending_ > 0
  std::mutex mutex_;
  std::condition_variable queued_, done_;
  std::thread worker_;  // last: starts once everything above exists
};

}  // namespace kestrel
