// SHA-256 (FIPS 180-4) over bytes given in pieces. The launcher checks the
// setup program it starts against the digest of the bytes it wrote; plain
// functions over a fixed state, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kSha256Bytes = 32;

struct Sha256 {
  uint32_t state[8];
  uint64_t length;  // bytes added so far
  uint8_t pending[64];
};

void Sha256Begin(Sha256* hash);
void Sha256Add(Sha256* hash, const void* bytes, size_t length);
// Writes the digest; the hash must begin again before further use.
void Sha256Finish(Sha256* hash, uint8_t digest[kSha256Bytes]);
