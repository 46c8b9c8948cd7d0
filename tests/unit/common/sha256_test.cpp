#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/sha256.h"

namespace {

std::string Hex(const uint8_t digest[kSha256Bytes]) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < kSha256Bytes; i++) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

std::string DigestOf(const std::string& bytes) {
  Sha256 hash;
  Sha256Begin(&hash);
  Sha256Add(&hash, bytes.data(), bytes.size());
  uint8_t digest[kSha256Bytes];
  Sha256Finish(&hash, digest);
  return Hex(digest);
}

}  // namespace

// FIPS 180-4's examples: empty, one block, the padding spilling into a
// second block (56 bytes), and a million bytes given at once.
TEST(Sha256, KnownDigests) {
  EXPECT_EQ(DigestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(DigestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(DigestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(DigestOf(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Any cut of the bytes into pieces gives the digest of the whole, around
// every block boundary.
TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
  std::mt19937 random(256);
  for (size_t length = 0; length < 300; length++) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    Sha256 hash;
    Sha256Begin(&hash);
    for (size_t at = 0; at < length;) {
      size_t piece = std::min<size_t>(length - at, random() % 70);
      Sha256Add(&hash, bytes.data() + at, piece);
      at += piece;
    }
    uint8_t digest[kSha256Bytes];
    Sha256Finish(&hash, digest);
    EXPECT_EQ(Hex(digest), DigestOf(bytes)) << "length " << length;
  }
}
