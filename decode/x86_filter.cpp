#include "decode/x86_filter.h"

#include "common/pe_view.h"

namespace {

constexpr uint32_t kInstructionLength = 5;  // opcode and rel32
constexpr uint32_t kDisplacementBits = 25;  // +-16 MiB: the top byte 00 or FF
constexpr uint32_t kDisplacementMask = (1u << kDisplacementBits) - 1;

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
    uint32_t value = LoadLe32(block + i + 1);
    if (IsInRewrittenRange(value)) {
      uint32_t next = blockOffset + i + kInstructionLength;
      StoreLe32(block + i + 1, AddWithin25Bits(value, restore ? 0u - next : next));
    }
    i += kInstructionLength;
  }
}

void Apply(uint8_t* block, uint32_t length, uint32_t blockOffset, const X86CodeRanges& ranges,
           bool restore) {
  uint64_t blockEnd = static_cast<uint64_t>(blockOffset) + length;
  for (uint32_t i = 0; i < ranges.count; i++) {
    uint32_t begin = ranges.begin[i] > blockOffset ? ranges.begin[i] : blockOffset;
    uint64_t end = ranges.end[i] < blockEnd ? ranges.end[i] : blockEnd;
    if (begin < end)
      Convert(block + (begin - blockOffset), static_cast<uint32_t>(end - begin), begin, restore);
  }
}

}  // namespace

void FindX86CodeRanges(const uint8_t* firstBlock, uint32_t length, X86CodeRanges* ranges) {
  ranges->count = 0;
  ByteView block{firstBlock, length};
  PeHeaders pe;
  if (FindPeHeaders(block, &pe) != kPeHeadersFound) return;
  uint64_t sizeOfHeaders = pe.optionalHeader + kOptionalSizeOfHeaders;
  if (!block.Has(sizeOfHeaders, 4)) return;
  // Only what lies before the headers' end is read, and only what lies
  // after it is rewritten.
  uint64_t headersEnd = LoadLe32(firstBlock + sizeOfHeaders);
  ByteView headers{firstBlock, headersEnd < length ? headersEnd : length};
  if (!headers.Has(sizeOfHeaders, 4)) return;
  uint64_t covered = headersEnd;
  for (uint32_t i = 0; i < pe.sectionCount && ranges->count < kX86MaxCodeRanges; i++) {
    PeSection section;
    if (!ReadPeSection(headers, pe, i, &section)) break;
    if (!(section.characteristics & (kSectionCode | kSectionExecute))) continue;
    uint64_t begin = section.rawOffset;
    uint64_t end = begin + section.rawSize;
    if (end > UINT32_MAX) end = UINT32_MAX;
    if (begin < covered) begin = covered;
    if (begin >= end) continue;
    ranges->begin[ranges->count] = static_cast<uint32_t>(begin);
    ranges->end[ranges->count] = static_cast<uint32_t>(end);
    ranges->count++;
    covered = end;
  }
}

void FilterX86Ranges(uint8_t* block, uint32_t length, uint32_t blockOffset,
                     const X86CodeRanges& ranges) {
  Apply(block, length, blockOffset, ranges, false);
}

void RestoreX86Ranges(uint8_t* block, uint32_t length, uint32_t blockOffset,
                      const X86CodeRanges& ranges) {
  Apply(block, length, blockOffset, ranges, true);
}

void FilterX86Block(uint8_t* block, uint32_t length, uint32_t blockOffset) {
  Convert(block, length, blockOffset, false);
}

void RestoreX86Block(uint8_t* block, uint32_t length, uint32_t blockOffset) {
  Convert(block, length, blockOffset, true);
}
