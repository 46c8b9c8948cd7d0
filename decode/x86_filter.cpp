#include "decode/x86_filter.h"

#include "common/pe_view.h"

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

// PE header fields, as offsets from the "PE\0\0" signature.
constexpr uint32_t kDosPeOffsetField = 0x3C;
constexpr uint32_t kSectionCountField = 6;
constexpr uint32_t kOptionalHeaderSizeField = 20;
constexpr uint32_t kOptionalHeaderStart = 24;
constexpr uint32_t kHeadersSizeField = kOptionalHeaderStart + 60;  // PE32 and PE32+ alike
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionRawSizeField = 16;
constexpr uint32_t kSectionRawPointerField = 20;
constexpr uint32_t kSectionCharacteristicsField = 36;
constexpr uint32_t kSectionCode = 0x00000020;
constexpr uint32_t kSectionExecute = 0x20000000;

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
  if (length < kDosPeOffsetField + 4 || firstBlock[0] != 'M' || firstBlock[1] != 'Z') return;
  uint64_t pe = Load32(firstBlock + kDosPeOffsetField);
  if (pe + kHeadersSizeField + 4 > length || Load32(firstBlock + pe) != kPeSignature) return;
  const uint8_t* header = firstBlock + pe;
  // Only what lies before the headers' end is read, and only what lies
  // after it is rewritten.
  uint64_t headersEnd = Load32(header + kHeadersSizeField);
  uint64_t readable = headersEnd < length ? headersEnd : length;
  if (pe + kHeadersSizeField + 4 > readable) return;
  uint32_t sections = header[kSectionCountField] | header[kSectionCountField + 1] << 8;
  uint32_t optionalSize = header[kOptionalHeaderSizeField] | header[kOptionalHeaderSizeField + 1]
                                                                 << 8;
  uint64_t table = pe + kOptionalHeaderStart + optionalSize;
  uint64_t covered = headersEnd;
  for (uint32_t i = 0; i < sections && ranges->count < kX86MaxCodeRanges; i++) {
    uint64_t at = table + static_cast<uint64_t>(i) * kSectionHeaderSize;
    if (at + kSectionHeaderSize > readable) break;
    const uint8_t* section = firstBlock + at;
    if (!(Load32(section + kSectionCharacteristicsField) & (kSectionCode | kSectionExecute)))
      continue;
    uint64_t begin = Load32(section + kSectionRawPointerField);
    uint64_t end = begin + Load32(section + kSectionRawSizeField);
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
