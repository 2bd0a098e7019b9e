#include "win/sha256.h"

#include <climits>

#include "win/module.h"

namespace win {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

Sha256::Sha256() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (!Succeeded(status)) {
    status_ = status;
    return;
  }
  algorithm_.reset(algorithm);
  ULONG got = 0;
  status = ::BCryptGetProperty(algorithm_.get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectSize_),
                               sizeof objectSize_, &got, 0);
  if (!Succeeded(status)) {
    status_ = status;
    return;
  }
  object_.reset(new UCHAR[objectSize_]);
  Create();
}

bool Sha256::Create() {
  hash_.reset();
  if (!algorithm_ || !object_) return false;
  BCRYPT_HASH_HANDLE handle = nullptr;
  const NTSTATUS status = ::BCryptCreateHash(algorithm_.get(), &handle, object_.get(), objectSize_, nullptr, 0, 0);
  if (!Succeeded(status)) {
    status_ = status;
    return false;
  }
  hash_.reset(handle);
  return true;
}

bool Sha256::Add(const void* data, size_t count) {
  if (!hash_) return false;
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (count > 0) {
    const ULONG piece = count > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(count);
    const NTSTATUS status = ::BCryptHashData(hash_.get(), bytes, piece, 0);
    if (!Succeeded(status)) {
      status_ = status;
      hash_.reset();
      return false;
    }
    bytes += piece;
    count -= piece;
  }
  return true;
}

std::optional<Sha256Bytes> Sha256::Finish() {
  if (!hash_) return std::nullopt;
  Sha256Bytes digest{};
  const NTSTATUS status = ::BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
  // A finished hash object cannot take more data: a new one takes its place.
  Create();
  if (!Succeeded(status)) {
    status_ = status;
    return std::nullopt;
  }
  return digest;
}

bool Sha256::Restart() { return Create(); }

std::optional<Sha256Bytes> HashFile(const std::wstring& path) {
  UniqueHandle file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return std::nullopt;
  Sha256 sha;
  if (!sha.ok()) return std::nullopt;
  constexpr DWORD kPiece = 1u << 20;
  std::unique_ptr<char[]> buffer(new char[kPiece]);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.get(), kPiece, &got, nullptr)) return std::nullopt;
    if (got == 0) return sha.Finish();
    if (!sha.Add(buffer.get(), got)) return std::nullopt;
  }
}

}  // namespace win
