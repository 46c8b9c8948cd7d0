#include "encode/lzma/lzma_input.h"

#include <algorithm>
#include <cstring>

#include "common/container.h"
#include "decode/lzma_decode.h"
#include "decode/x86_filter.h"

void LzmaInputFilter::Filter(const uint8_t* data, size_t length, uint8_t* filtered) {
  memcpy(filtered, data, length);
  ForEachBlock(length, [&](uint64_t at, uint32_t blockLength) {
    if (entryOffset_ == 0) FindX86CodeRanges(data + at, blockLength, &codeRanges_);
    FilterX86Ranges(filtered + at, blockLength, static_cast<uint32_t>(entryOffset_), codeRanges_);
    entryOffset_ += blockLength;
  });
}

LzmaHistory::LzmaHistory(size_t keepBytes)
    : size_(keepBytes < kLzmaDictionarySize ? keepBytes : kLzmaDictionarySize) {}

void LzmaHistory::Add(const uint8_t* filtered, size_t length) {
  if (ring_.empty()) ring_.resize(size_);
  for (size_t i = 0; i < length;) {
    size_t at = total_ % size_;
    size_t piece = std::min(length - i, size_ - at);
    memcpy(ring_.data() + at, filtered + i, piece);
    i += piece;
    total_ += piece;
  }
}

std::vector<uint8_t> LzmaHistory::Last() const {
  if (total_ <= size_) return std::vector<uint8_t>(ring_.begin(), ring_.begin() + total_);
  // liblzma counts positions from its preset dictionary's start, the
  // decoder from the package's: the two agree in the bits the contexts take
  // (pb and lp, at most 4) when the length agrees with the total modulo 16.
  size_t length = size_ - kLzmaPositionAlignment + total_ % kLzmaPositionAlignment;
  size_t at = (total_ - length) % size_;
  std::vector<uint8_t> last;
  last.reserve(length);
  size_t first = std::min(length, size_ - at);
  last.insert(last.end(), ring_.begin() + at, ring_.begin() + at + first);
  last.insert(last.end(), ring_.begin(), ring_.begin() + (length - first));
  return last;
}
