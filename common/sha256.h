// SHA-256 (FIPS 180-4), streamed: a set's program file carries the digest of
// every volume, and the launcher checks each volume against it as it copies
// the volume out. Plain functions over a fixed state, no allocation.
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
