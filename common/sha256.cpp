#include "common/sha256.h"

#include <cstring>

#include "common/bytes.h"

namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t RotateRight(uint32_t value, int count) {
  return (value >> count) | (value << (32 - count));
}

void CompressBlock(uint32_t state[8], const uint8_t block[64]) {
  uint32_t schedule[64];
  for (int i = 0; i < 16; i++) schedule[i] = LoadBe32(block + 4 * i);
  for (int i = 16; i < 64; i++) {
    uint32_t w15 = schedule[i - 15], w2 = schedule[i - 2];
    uint32_t s0 = RotateRight(w15, 7) ^ RotateRight(w15, 18) ^ (w15 >> 3);
    uint32_t s1 = RotateRight(w2, 17) ^ RotateRight(w2, 19) ^ (w2 >> 10);
    schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
  }
  // The working variables a..h by name: the compiler keeps them in
  // registers and renames them, where shifting an array would move them.
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int i = 0; i < 64; i++) {
    uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
    uint32_t t1 = h + s1 + ((e & f) ^ (~e & g)) + kRoundConstants[i] + schedule[i];
    uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
    uint32_t t2 = s0 + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

}  // namespace

void Sha256Begin(Sha256* hash) {
  static const uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  memcpy(hash->state, kInitial, sizeof kInitial);
  hash->length = 0;
  hash->pendingLength = 0;
}

void Sha256Add(Sha256* hash, const void* bytes, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  hash->length += length;
  while (length > 0) {
    if (hash->pendingLength == 0 && length >= 64) {
      CompressBlock(hash->state, p);
      p += 64;
      length -= 64;
      continue;
    }
    size_t taken = 64 - hash->pendingLength < length ? 64 - hash->pendingLength : length;
    memcpy(hash->pending + hash->pendingLength, p, taken);
    hash->pendingLength += static_cast<uint32_t>(taken);
    p += taken;
    length -= taken;
    if (hash->pendingLength == 64) {
      CompressBlock(hash->state, hash->pending);
      hash->pendingLength = 0;
    }
  }
}

void Sha256Finish(Sha256* hash, uint8_t digest[kSha256Size]) {
  uint64_t bits = hash->length * 8;
  static const uint8_t kPadding[64] = {0x80};
  // The message, 0x80, zeros, then its length in bits: a whole number of blocks.
  size_t padding = hash->pendingLength < 56 ? 56 - hash->pendingLength : 120 - hash->pendingLength;
  Sha256Add(hash, kPadding, padding);
  uint8_t lengthBytes[8];
  for (int i = 0; i < 8; i++) lengthBytes[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Sha256Add(hash, lengthBytes, 8);
  for (int i = 0; i < 8; i++) StoreBe32(digest + 4 * i, hash->state[i]);
}
