// SHA-256 against FIPS 180-4's examples and digests from Python's hashlib,
// whole and fed in pieces split at every place.
#include "common/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const uint8_t digest[kSha256Size]) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < kSha256Size; i++) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

std::string DigestOf(const std::vector<uint8_t>& bytes, std::vector<size_t> pieces = {}) {
  Sha256 hash;
  Sha256Begin(&hash);
  size_t at = 0;
  for (size_t piece : pieces) {
    Sha256Add(&hash, bytes.data() + at, piece);
    at += piece;
  }
  Sha256Add(&hash, bytes.data() + at, bytes.size() - at);
  uint8_t digest[kSha256Size];
  Sha256Finish(&hash, digest);
  return Hex(digest);
}

std::vector<uint8_t> Text(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// (i * 7 + 1) mod 256 for i = 0..n-1, as the Python side made them.
std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; i++) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  return bytes;
}

}  // namespace

TEST(Sha256, TheStandardsExamples) {
  EXPECT_EQ(DigestOf({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(DigestOf(Text("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(DigestOf(Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(DigestOf(std::vector<uint8_t>(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The lengths around the padding's edges: the length field fits behind the
// message (55), just does not (56), and whole blocks (64, 120 = 64 + 56).
TEST(Sha256, LengthsAtThePaddingsEdgesMatchHashlib) {
  const std::pair<size_t, const char*> kExpected[] = {
      {55, "16fa57a0a3423a715d594516339f36189d6b5f93754a9714fef202616a9fabfe"},
      {56, "c37b44e5f1b18554b36966f4f8e08bfbf3164c4b6c10374d12d89850892073c5"},
      {63, "bbba992d2c85af960fb2987a1fd05e0aa82a3db3c740dd8982a9e273b75e36a3"},
      {64, "66bd4633ed6f71c4ecfa4763bf7ba1c8ec7612de9aa6c0578a7b675207c71e0b"},
      {65, "9f7dc47107b750a1f3d35db5d9547f24ef40da5b731b9540d4f43710a154f6c9"},
      {119, "a3ed307b730fa77c07531300c6e4a282330011d4d4caf6bb7b63ae05950f4b66"},
      {120, "8e3b15d9fea7472655aa069620b7f8c2e55ee1499f763200a7515fe826e99d20"},
      {1000, "095ecb62e30793ab4b954cd6a0586d0cc91f7ea5b1332694d8da780e98676d78"}};
  for (const auto& expected : kExpected)
    EXPECT_EQ(DigestOf(Pattern(expected.first)), expected.second) << expected.first << " bytes";
}

TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
  std::vector<uint8_t> bytes = Pattern(300);
  std::string whole = DigestOf(bytes);
  for (size_t first = 0; first <= bytes.size(); first++) {
    for (size_t second : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{65}}) {
      if (first + second > bytes.size()) continue;
      ASSERT_EQ(DigestOf(bytes, {first, second}), whole) << first << " then " << second;
    }
  }
}
