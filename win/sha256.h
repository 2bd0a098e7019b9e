// SHA-256 through the platform's CNG (bcrypt.dll, present from Windows 6.0
// on). One object hashes one stream of bytes at a time.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "win/handle.h"

namespace win {

using Sha256Bytes = std::array<uint8_t, 32>;

class Sha256 {
 public:
  // Opens the provider and starts a hash; ok() tells whether that worked.
  Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool ok() const { return static_cast<bool>(hash_); }
  // The CNG status of the last call that failed (0 when none did).
  long status() const { return status_; }

  // Adds bytes to the hash; false when CNG refused them (the hash is then
  // of no use until Restart).
  bool Add(const void* data, size_t count);
  // The hash of everything added since the start; the object then starts
  // over, as after Restart. nullopt when CNG failed.
  std::optional<Sha256Bytes> Finish();
  // Forgets what was added: the next byte is the first of a new stream.
  bool Restart();

 private:
  bool Create();

  UniqueCngAlgorithm algorithm_;
  // The hash object's memory: Windows 6.0 wants it from the caller.
  std::unique_ptr<UCHAR[]> object_;
  ULONG objectSize_ = 0;
  UniqueCngHash hash_;
  long status_ = 0;
};

// The SHA-256 of a whole file, read in pieces; nullopt when it cannot be
// opened, read or hashed (GetLastError tells why for a file error).
std::optional<Sha256Bytes> HashFile(const std::wstring& path);

}  // namespace win
