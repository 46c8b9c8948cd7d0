// Test helpers for LZ bitstreams: a writer of tokens and a plain reference
// decoder that takes one bit at a time, as the code is defined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <climits>
#include <algorithm>
#include <vector>

class BitWriter {
 public:
  void Put(uint32_t value, unsigned width) {
    for (unsigned i = width; i-- > 0;) PutBit((value >> i) & 1);
  }
  void PutBit(unsigned bit) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bitCount_ % 8));
    bitCount_++;
  }
  void Literal(uint8_t byte) {
    PutBit(0);
    Put(byte, 8);
  }
  // A match of `length` at produced count `produced` from absolute `offset`.
  void Match(uint32_t length, uint32_t produced, uint32_t offset) {
    PutBit(1);
    unsigned c = 31 - __builtin_clz(length - 1);
    for (unsigned i = 0; i < c; i++) PutBit(1);
    PutBit(0);
    Put(length - 1 - (1u << c), c);
    Put(offset, OffsetWidth(produced));
  }
  static unsigned OffsetWidth(uint32_t produced) {
    unsigned width = 0;
    while ((1u << width) < produced) width++;
    return width;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  size_t bitCount() const { return bitCount_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t bitCount_ = 0;
};

// Decodes `n` bytes the slow, obvious way. Returns false for every stream
// the fast decoder must refuse.
inline bool ReferenceDecode(const std::vector<uint8_t>& in, uint32_t n, std::vector<uint8_t>* out) {
  if (n > 65536) return false;
  size_t bit = 0;
  bool overrun = false;
  auto take = [&](unsigned width) {
    uint32_t value = 0;
    for (unsigned i = 0; i < width; i++, bit++) {
      unsigned b = 0;
      if (bit / 8 < in.size())
        b = (in[bit / 8] >> (7 - bit % 8)) & 1;
      else
        overrun = true;
      value = value << 1 | b;
    }
    return value;
  };
  out->assign(n, 0);
  uint32_t p = 0;
  while (p < n) {
    if (take(1) == 0) {
      (*out)[p++] = static_cast<uint8_t>(take(8));
      continue;
    }
    unsigned c = 0;
    while (take(1) == 1) {
      if (++c > 15) return false;
    }
    uint32_t length = c == 0 ? 2 : (1u << c) + take(c) + 1;
    if (p == 0) return false;
    uint32_t offset = take(BitWriter::OffsetWidth(p));
    if (offset >= p || length > n - p) return false;
    for (uint32_t j = 0; j < length; j++) (*out)[p + j] = (*out)[offset + j];
    p += length;
  }
  return !overrun;
}

// Shortest path over every token a decoder would turn into `data`: for every
// P, source s < P and length L, the copy is simulated byte by byte. Nothing
// here knows about longest factors or length classes.
inline int64_t BitsOverEveryToken(const std::vector<uint8_t>& data) {
  int32_t n = static_cast<int32_t>(data.size());
  std::vector<int64_t> dist(n + 1, INT64_MAX);
  dist[0] = 0;
  for (int32_t p = 0; p < n; p++) {
    dist[p + 1] = std::min(dist[p + 1], dist[p] + 9);
    if (p == 0) continue;
    int64_t offsetBits = BitWriter::OffsetWidth(p);
    for (int32_t s = 0; s < p; s++) {
      std::vector<uint8_t> out(data.begin(), data.begin() + p);
      for (int32_t l = 1; p + l <= n; l++) {
        out.push_back(out[s + l - 1]);
        if (out.back() != data[p + l - 1]) break;
        if (l < 2) continue;
        int64_t c = 31 - __builtin_clz(static_cast<uint32_t>(l - 1));
        dist[p + l] = std::min(dist[p + l], dist[p] + 1 + 2 * c + 1 + offsetBits);
      }
    }
  }
  return dist[n];
}
