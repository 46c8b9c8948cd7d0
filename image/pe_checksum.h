// The optional header's CheckSum, as Windows' CheckSumMappedFile counts it:
// 16-bit little-endian words with end-around carry, the CheckSum field
// itself read as zero, plus the file's length. cmake/build/move_pe_header.py
// computes the same after the launcher's link; a test holds the two
// together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The offset of the CheckSum field, or 0 when `image` is not a PE image
// whose optional header holds one.
uint64_t PeChecksumOffset(const std::vector<uint8_t>& image);

// The checksum of a file given in pieces, in order.
class PeChecksum {
 public:
  explicit PeChecksum(uint64_t checksumOffset) : fieldAt_(checksumOffset) {}
  void Add(const uint8_t* bytes, size_t length);
  uint32_t Finish() const;

 private:
  uint64_t fieldAt_;
  uint64_t position_ = 0;
  uint64_t sum_ = 0;
};
