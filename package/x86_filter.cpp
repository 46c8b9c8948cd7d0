#include "package/x86_filter.h"

namespace {

constexpr uint32_t kInstructionLength = 5;  // opcode and rel32
constexpr uint32_t kDisplacementBits = 25;  // +-16 MiB: the top byte 00 or FF
constexpr uint32_t kDisplacementMask = (1u << kDisplacementBits) - 1;

inline uint32_t Load32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline bool IsInRewrittenRange(uint32_t value) {
  uint32_t top = value >> 24;
  return top == 0 || top == 0xFF;
}

// Adds `delta` modulo 2^25 and sign-extends bit 24: a bijection on the
// values IsInRewrittenRange accepts.
inline uint32_t AddWithin25Bits(uint32_t value, uint32_t delta) {
  uint32_t sum = (value + delta) & kDisplacementMask;
  return sum & (1u << 24) ? sum | ~kDisplacementMask : sum;
}

void Convert(uint8_t* block, uint32_t length, uint32_t blockOffset, bool restore) {
  if (length < kInstructionLength) return;
  uint32_t end = length - kInstructionLength;
  for (uint32_t i = 0; i <= end;) {
    if ((block[i] & 0xFE) != 0xE8) {
      i++;
      continue;
    }
    // The scan steps over the whole instruction, rewritten or not, so no two
    // windows overlap and restoring sees each window as filtering left it.
    uint32_t value = Load32(block + i + 1);
    if (IsInRewrittenRange(value)) {
      uint32_t next = blockOffset + i + kInstructionLength;
      Store32(block + i + 1, AddWithin25Bits(value, restore ? 0u - next : next));
    }
    i += kInstructionLength;
  }
}

}  // namespace

void FilterX86Block(uint8_t* block, uint32_t length, uint32_t blockOffset) {
  Convert(block, length, blockOffset, false);
}

void RestoreX86Block(uint8_t* block, uint32_t length, uint32_t blockOffset) {
  Convert(block, length, blockOffset, true);
}
