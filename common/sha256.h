// SHA-256 (FIPS 180-4), streamed: the launcher checks the setup program it
// starts against the digest of the bytes it wrote, and each volume of a set
// against the digest its program file carries. Plain functions over a fixed
// state, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kSha256Size = 32;

struct Sha256 {
  uint32_t state[8];
  uint64_t length;  // bytes added so far
  uint8_t pending[64];
  uint32_t pendingLength;
};

void Sha256Begin(Sha256* hash);
void Sha256Add(Sha256* hash, const void* bytes, size_t length);
// Pads the message and gives its digest; begin again before another use.
void Sha256Finish(Sha256* hash, uint8_t digest[kSha256Size]);
