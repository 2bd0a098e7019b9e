// SHA-256 through the platform's CNG, and the hashing of a download's
// pieces on a second thread, against the published test vectors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/payload_pin.h"
#include "net/piece_hasher.h"
#include "support/test_support.h"
#include "win/sha256.h"

namespace {

const std::wstring kEmpty = L"sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::wstring kAbc = L"sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::wstring kMillionA = L"sha256:cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

std::wstring TextOf(const std::optional<win::Sha256Bytes>& digest) {
  return digest ? kestrel::PinText(*digest) : L"<no hash>";
}

TEST(Sha256, TestVectorsInPiecesOfAnySize) {
  win::Sha256 sha;
  ASSERT_TRUE(sha.ok()) << std::hex << sha.status();
  EXPECT_EQ(TextOf(sha.Finish()), kEmpty);
  ASSERT_TRUE(sha.Add("abc", 3));
  EXPECT_EQ(TextOf(sha.Finish()), kAbc) << "a finished hash starts a new stream";
  // A million 'a' in uneven pieces, with a stream thrown away before it.
  ASSERT_TRUE(sha.Add("left over", 9));
  ASSERT_TRUE(sha.Restart());
  const std::string a(1000000, 'a');
  for (size_t at = 0, piece = 1; at < a.size(); at += piece, piece = piece * 3 % 70001 + 1)
    ASSERT_TRUE(sha.Add(a.data() + at, std::min(piece, a.size() - at)));
  EXPECT_EQ(TextOf(sha.Finish()), kMillionA);
}

TEST(Sha256, HashFile) {
  const std::wstring folder = kt::ScratchFolder(L"sha256");
  ASSERT_TRUE(kt::WriteFileBytes(folder + L"\\a.bin", std::string(1000000, 'a')));
  ASSERT_TRUE(kt::WriteFileBytes(folder + L"\\empty.bin", ""));
  EXPECT_EQ(TextOf(win::HashFile(folder + L"\\a.bin")), kMillionA);
  EXPECT_EQ(TextOf(win::HashFile(folder + L"\\empty.bin")), kEmpty);
  EXPECT_FALSE(win::HashFile(folder + L"\\missing.bin"));
  kt::RemoveTree(folder);
}

// More pieces than the ring has buffers, each filled only once the hash
// thread gave its buffer back: a buffer reused too early changes the hash.
TEST(PieceHasher, HashesEveryPieceInOrderAndStartsOver) {
  constexpr size_t kPiece = 4096;
  kestrel::PieceHasher hasher(kPiece);
  ASSERT_TRUE(hasher.ok());
  for (int i = 0; i < 10; ++i) {
    char* buffer = hasher.NextBuffer();
    std::memset(buffer, 'x', kPiece);
    hasher.Hash(kPiece);
  }
  EXPECT_EQ(hasher.bytes(), 10 * kPiece);
  hasher.Restart();  // the file started over from byte 0
  EXPECT_EQ(hasher.bytes(), 0u);
  size_t left = 1000000;
  for (size_t piece = 1; left > 0; piece = piece * 7 % kPiece + 1) {
    const size_t n = std::min(piece, left);
    char* buffer = hasher.NextBuffer();
    std::memset(buffer, 'a', n);
    // What stays in the rest of the buffer is not part of the piece.
    std::memset(buffer + n, 'z', kPiece - n);
    hasher.Hash(n);
    left -= n;
  }
  EXPECT_EQ(hasher.bytes(), 1000000u);
  EXPECT_EQ(TextOf(hasher.Finish()), kMillionA);
  EXPECT_EQ(TextOf(hasher.Finish()), kEmpty) << "a new stream after Finish";
}

}  // namespace
