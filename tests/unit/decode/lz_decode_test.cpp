#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode/block_decode.h"
#include "encode/lz/lz_codec.h"
#include "tests/unit/bit_stream.h"

namespace {

std::string Decode(const std::vector<uint8_t>& stored, uint32_t n, int* result) {
  std::vector<uint8_t> out(n + 16, 0xEE);
  *result =
      DecodeBlock(out.data(), n, stored.data(), static_cast<uint32_t>(stored.size()), kMethodLz);
  return std::string(out.begin(), out.begin() + n);
}

bool Refused(const BitWriter& writer, uint32_t n) {
  int result;
  Decode(writer.bytes(), n, &result);
  return result == 0;
}

}  // namespace

TEST(LzDecode, WorkedExampleAndOverlap) {
  int result;
  EXPECT_EQ(Decode({0x20, 0x90, 0x88, 0x64, 0x4C, 0x22}, 9, &result), "ABCDABCBC");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Decode({0x20, 0x90, 0xB9, 0x00}, 8, &result), "ABABABAB");
  EXPECT_EQ(result, 1);
}

TEST(CeilLog2, OffsetWidths) {
  EXPECT_EQ(CeilLog2(0), -1);
  EXPECT_EQ(CeilLog2(-5), -1);
  EXPECT_EQ(CeilLog2(1), 0);
  EXPECT_EQ(CeilLog2(2), 1);
  EXPECT_EQ(CeilLog2(3), 2);
  EXPECT_EQ(CeilLog2(4), 2);
  EXPECT_EQ(CeilLog2(5), 3);
  EXPECT_EQ(CeilLog2(4094), 12);
  EXPECT_EQ(CeilLog2(65536), 16);
}

TEST(LzDecode, OutputLengthLimits) {
  uint8_t out[4] = {1, 2, 3, 4};
  const uint8_t stored[1] = {0xFF};
  EXPECT_EQ(DecodeBlock(out, 0, stored, 1, kMethodLz), 1);
  EXPECT_EQ(DecodeBlock(out, 0, stored, 0, kMethodCopy), 1);
  EXPECT_EQ(out[0], 1);

  // A literal and one match of 65535 at P = 1, which takes no offset bits.
  BitWriter longest;
  longest.Literal('z');
  longest.Match(65535, 1, 0);
  std::vector<uint8_t> big(65537, 0x11);
  EXPECT_EQ(DecodeBlock(big.data(), 65536, longest.bytes().data(), 6, kMethodLz), 1);
  EXPECT_EQ(std::count(big.begin(), big.begin() + 65536, 'z'), 65536);
  EXPECT_EQ(big[65536], 0x11);

  std::vector<uint8_t> untouched(65537, 0x11);
  EXPECT_EQ(DecodeBlock(untouched.data(), 65537, longest.bytes().data(), 6, kMethodLz), 0);
  EXPECT_EQ(std::count(untouched.begin(), untouched.end(), 0x11), 65537);
}

TEST(LzDecode, RefusesStreamsThatWouldReadOrWriteOutOfBounds) {
  BitWriter startsWithMatch;
  startsWithMatch.Match(2, 0, 0);
  startsWithMatch.Literal('a');
  EXPECT_TRUE(Refused(startsWithMatch, 3));

  BitWriter offsetBelowP;
  offsetBelowP.Literal('a');
  offsetBelowP.Literal('b');
  offsetBelowP.Match(2, 2, 1);
  EXPECT_FALSE(Refused(offsetBelowP, 4));
  // Offsets at P and beyond name bytes not yet written.
  for (auto [produced, offset] : {std::pair<uint32_t, uint32_t>{3, 3}, {5, 5}, {5, 7}}) {
    BitWriter writer;
    for (uint32_t i = 0; i < produced; i++) writer.Literal('a');
    writer.Match(2, produced, offset);
    EXPECT_TRUE(Refused(writer, produced + 2)) << produced << " " << offset;
  }

  BitWriter pastTheEnd;
  pastTheEnd.Literal('a');
  pastTheEnd.Match(8, 1, 0);
  EXPECT_FALSE(Refused(pastTheEnd, 9));
  EXPECT_TRUE(Refused(pastTheEnd, 8));

  BitWriter sixteenOnes;
  sixteenOnes.Literal('a');
  sixteenOnes.PutBit(1);
  sixteenOnes.Put(0xFFFF, 16);
  sixteenOnes.Put(0, 24);
  EXPECT_TRUE(Refused(sixteenOnes, 4096));
}

TEST(LzDecode, RefusesStreamsThatNeedBitsBeyondTheStoredBytes) {
  BitWriter writer;
  for (char c : std::string("stored")) writer.Literal(static_cast<uint8_t>(c));
  std::vector<uint8_t> stored = writer.bytes();  // 54 bits in 7 bytes
  int result;
  EXPECT_EQ(Decode(stored, 6, &result), "stored");
  EXPECT_EQ(result, 1);
  stored.pop_back();
  Decode(stored, 6, &result);
  EXPECT_EQ(result, 0);
  // Literals of zero bytes read from nothing are refused too, at any length.
  Decode({}, 1, &result);
  EXPECT_EQ(result, 0);
  Decode({}, 4096, &result);
  EXPECT_EQ(result, 0);
}

TEST(BlockCodec, MethodsOtherThanCopyAndLz) {
  uint8_t out[4] = {9, 9, 9, 9};
  const uint8_t stored[4] = {1, 2, 3, 4};
  EXPECT_EQ(DecodeBlock(out, 4, stored, 4, kMethodCopy), 1);
  EXPECT_EQ(memcmp(out, stored, 4), 0);
  EXPECT_EQ(DecodeBlock(out, 4, stored, 3, kMethodCopy), 0);  // fewer stored bytes than output
  for (uint32_t method : {2u, 3u, 255u, 65535u}) {
    uint8_t stale[4] = {9, 9, 9, 9};
    EXPECT_EQ(DecodeBlock(stale, 4, stored, 4, static_cast<uint16_t>(method)), 0) << method;
  }
}

// Random token streams, valid and damaged, through the fast decoder and the
// bit-by-bit reference: the same decision and, on success, the same bytes,
// whatever the destination held before.
TEST(LzDecode, AgreesWithTheReferenceDecoder) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; round++) {
    uint32_t n = 1 + rng() % (round % 10 == 0 ? 4096 : 300);
    BitWriter writer;
    uint32_t p = 0;
    while (p < n) {
      uint32_t room = n - p;
      if (p == 0 || rng() % 3 == 0 || room < 2) {
        writer.Literal(static_cast<uint8_t>(rng() % 4));
        p++;
      } else {
        uint32_t maxLength = room < 300 ? room : 300;
        uint32_t length = 2 + rng() % (maxLength - 1);
        writer.Match(length, p, rng() % p);
        p += length;
      }
    }
    std::vector<uint8_t> stored = writer.bytes();
    switch (round % 4) {  // damage three streams in four
      case 1:
        stored[rng() % stored.size()] ^= static_cast<uint8_t>(1 << (rng() % 8));
        break;
      case 2:
        stored.resize(rng() % stored.size());
        break;
      case 3:
        for (uint8_t& b : stored) b = static_cast<uint8_t>(rng());
        break;
    }
    std::vector<uint8_t> expected;
    bool referenceOk = ReferenceDecode(stored, n, &expected);
    std::vector<uint8_t> zeros(n, 0x00), ones(n, 0xFF);
    int a = DecodeBlock(zeros.data(), n, stored.data(), static_cast<uint32_t>(stored.size()),
                        kMethodLz);
    int b =
        DecodeBlock(ones.data(), n, stored.data(), static_cast<uint32_t>(stored.size()), kMethodLz);
    ASSERT_EQ(a, referenceOk ? 1 : 0) << "round " << round;
    ASSERT_EQ(b, a);
    if (referenceOk) {
      ASSERT_EQ(zeros, expected) << "round " << round;
      ASSERT_EQ(ones, expected) << "round " << round;
    }
  }
}
