// The LZ decoder. A 64-bit bit buffer keeps at least 48 bits ready before
// every token, which is the longest a valid token can be (flag, 15 ones, the
// zero, 15 length bits, 16 offset bits), so a token is decoded without any
// further refill or bounds check on the input. Bytes past the stored ones
// read as zero; the decoder then refuses the stream at its end if it took
// any bit from them.
#include "decode/lz_decode.h"

#include <cstring>

#include "common/bytes.h"

namespace {

constexpr unsigned kMaxTokenBits = 48;
constexpr unsigned kMaxOnesInLengthCode = 15;

// Length codes of up to 11 bits (lengths 2 to 64, up to five ones) read by
// one look-up of the 11 bits behind a match's flag: the low byte is the
// length, the high byte the code's bit count. 0 for longer codes.
constexpr unsigned kLengthTableBits = 11;

struct LengthTable {
  uint16_t entries[1 << kLengthTableBits];
  constexpr LengthTable() : entries() {
    for (unsigned ones = 0; 2 * ones + 1 <= kLengthTableBits; ones++) {
      unsigned codeBits = 2 * ones + 1;
      for (unsigned v = 0; v < (1u << ones); v++) {
        unsigned code = (((1u << ones) - 1) << (ones + 1)) | v;  // ones, a zero, v
        unsigned first = code << (kLengthTableBits - codeBits);
        for (unsigned rest = 0; rest < (1u << (kLengthTableBits - codeBits)); rest++)
          entries[first | rest] = static_cast<uint16_t>(codeBits << 8 | ((1u << ones) + 1 + v));
      }
    }
  }
};

constexpr LengthTable kLengthTable;

// Bit 63 of `bits` is the next stream bit. The `bitsLeft` top bits are valid;
// the bits below them are zero or the stream bits that follow, never stale.
struct BitReader {
  const uint8_t* input;
  uint32_t inputLength;
  uint32_t nextByte;  // may run past inputLength: those bytes read as zero
  uint64_t bits;
  unsigned bitsLeft;

  // Afterwards bitsLeft >= 56.
  inline void Refill() {
    if (nextByte + 8 <= inputLength) {
      bits |= LoadBe64(input + nextByte) >> bitsLeft;
      nextByte += (63 - bitsLeft) >> 3;
      bitsLeft |= 56;
      return;
    }
    while (bitsLeft <= 56) {
      uint64_t byte = nextByte < inputLength ? input[nextByte] : 0;
      bits |= byte << (56 - bitsLeft);
      nextByte++;
      bitsLeft += 8;
    }
  }

  // k in 0..32, k <= bitsLeft. The split shift keeps k = 0 defined, without a branch.
  inline uint32_t ReadBits(unsigned k) {
    uint32_t value = static_cast<uint32_t>(bits >> (63 - k) >> 1);
    bits <<= k;
    bitsLeft -= k;
    return value;
  }

  inline void SkipBits(unsigned k) {
    bits <<= k;
    bitsLeft -= k;
  }

  bool TookPaddingBytes() const {
    return static_cast<uint64_t>(nextByte) * 8 - bitsLeft > static_cast<uint64_t>(inputLength) * 8;
  }
};

// CeilLog2 of a produced count of at least 1, as floor(log2(2P - 1)): no
// branch for P = 1, and never the undefined clz(0).
inline unsigned OffsetWidth(uint32_t produced) {
  return 31 - __builtin_clz(2 * produced - 1);
}

// output[p + j] = output[offset + j] for j in increasing order; offset < p.
inline void CopyMatch(uint8_t* output, uint32_t p, uint32_t offset, uint32_t length,
                      uint32_t outputLength) {
  uint8_t* dst = output + p;
  const uint8_t* src = output + offset;
  uint32_t distance = p - offset;
  if (distance >= 8 && length <= 16 && outputLength - p >= 16) {
    // The common short match: two fixed 8-byte copies, see below.
    memcpy(dst, src, 8);
    memcpy(dst + 8, src + 8, 8);
  } else if (distance >= 8 && ((length + 7) & ~7u) <= outputLength - p) {
    // Each 8-byte load lies wholly before the bytes it is stored to; the
    // overshoot past `length` stays inside the output and is rewritten by the
    // following tokens before anything reads it.
    for (uint32_t j = 0; j < length; j += 8) memcpy(dst + j, src + j, 8);
  } else if (distance >= length) {
    memcpy(dst, src, length);
  } else if (distance == 1) {
    memset(dst, *src, length);
  } else {
    for (uint32_t j = 0; j < length; j++) dst[j] = src[j];
  }
}

}  // namespace

int CeilLog2(int32_t a) {
  if (a <= 0) return -1;
  return static_cast<int>(OffsetWidth(static_cast<uint32_t>(a)));
}

int LzDecompress(uint8_t* output, uint32_t outputLength, const uint8_t* input,
                 uint32_t inputLength) {
  if (outputLength > kMaxLzOutput) return 0;
  if (outputLength == 0) return 1;
  BitReader reader = {input, inputLength, 0, 0, 0};
  // A valid block opens with a literal, so every match below has P >= 1 and
  // an offset width defined.
  reader.Refill();
  if (reader.bits >> 63) return 0;
  reader.SkipBits(1);
  output[0] = static_cast<uint8_t>(reader.ReadBits(8));
  uint32_t p = 1;
  unsigned width = 0;       // CeilLog2(p), kept as p grows
  uint32_t widthLimit = 1;  // 2^width: the largest p this width serves
  while (p < outputLength) {
    if (reader.bitsLeft < kMaxTokenBits) reader.Refill();
    uint64_t bits = reader.bits;
    if (!(bits >> 63)) {
      output[p++] = static_cast<uint8_t>(bits >> 55);
      reader.SkipBits(9);
      continue;
    }
    uint32_t entry =
        kLengthTable.entries[(bits >> (63 - kLengthTableBits)) & ((1u << kLengthTableBits) - 1)];
    uint32_t length = entry & 0xFF;
    unsigned codeBits = 1 + (entry >> 8);
    if (entry == 0) {
      // The ones of a long length code; the shifted-in zero keeps clz defined.
      unsigned ones = __builtin_clzll(~(bits << 1));
      if (ones > kMaxOnesInLengthCode) return 0;
      codeBits = 2 + 2 * ones;
      length = (1u << ones) + 1 + static_cast<uint32_t>(bits << (ones + 2) >> (63 - ones) >> 1);
    }
    while (p > widthLimit) {
      width++;
      widthLimit <<= 1;
    }
    uint32_t offset = static_cast<uint32_t>(bits << codeBits >> (63 - width) >> 1);
    reader.SkipBits(codeBits + width);
    if (offset >= p || length > outputLength - p) return 0;
    CopyMatch(output, p, offset, length, outputLength);
    p += length;
  }
  return reader.TookPaddingBytes() ? 0 : 1;
}
