#include "image/pe_checksum.h"

#include "common/pe_view.h"

uint64_t PeChecksumOffset(const std::vector<uint8_t>& image) {
  ByteView file = ViewOf(image);
  PeHeaders pe;
  if (FindPeHeaders(file, &pe) != kPeHeadersFound || pe.optionalSize < kOptionalCheckSum + 4 ||
      !file.Has(pe.optionalHeader + kOptionalCheckSum, 4))
    return 0;
  return pe.optionalHeader + kOptionalCheckSum;
}

void PeChecksum::Add(const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; i++, position_++) {
    if (position_ - fieldAt_ < 4) continue;  // the field itself counts as zero
    sum_ += (position_ & 1) ? uint64_t{bytes[i]} << 8 : bytes[i];
  }
}

uint32_t PeChecksum::Finish() const {
  uint64_t sum = sum_;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + position_);
}
