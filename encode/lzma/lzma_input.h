// What a method-2 packer keeps of the input beside its encoders: each
// entry's bytes as the dictionary holds them, and the dictionary's content
// where a stretch coded by an encoder of its own starts. Portable: the
// packer's pipeline uses it wherever it is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/x86_filter.h"

// How much of the dictionary a stretch's encoder starts on: taking it in
// costs the encoder a pass over it, and matches further back are few at a
// stretch's start, which builds a whole dictionary of its own as it goes.
constexpr size_t kLzmaPrimeBytes = 16u << 20;

// What LzmaHistory keeps a stretch's start aligned to (lzma_codec.h's
// contexts take at most the position's 4 low bits).
constexpr size_t kLzmaPositionAlignment = 16;

// An entry's bytes as the dictionary holds them: a PE image's code
// sections through the x86 filter.
class LzmaInputFilter {
 public:
  void BeginEntry() { entryOffset_ = 0; }
  // filtered := data, the entry's next bytes: whole blocks, but for the
  // entry's last.
  void Filter(const uint8_t* data, size_t length, uint8_t* filtered);

 private:
  uint64_t entryOffset_ = 0;
  X86CodeRanges codeRanges_ = {};
};

// The last filtered bytes of the package so far, up to `keepBytes` (at
// least 16) and the dictionary's size: what a stretch's encoder starts on.
class LzmaHistory {
 public:
  explicit LzmaHistory(size_t keepBytes = kLzmaPrimeBytes);
  void Add(const uint8_t* filtered, size_t length);
  std::vector<uint8_t> Last() const;
  uint64_t Total() const { return total_; }

 private:
  size_t size_;
  std::vector<uint8_t> ring_;
  uint64_t total_ = 0;
};
