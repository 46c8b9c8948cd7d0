// What a method-2 packer keeps of the input beside its encoders: each
// entry's bytes as the dictionary holds them, and the dictionary's content
// where a stretch coded by an encoder of its own starts. Portable: the
// packer's pipeline uses it wherever it is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/x86_filter.h"

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

// The filtered bytes of the package so far, as many of the last as the
// decoder's dictionary holds: what it holds where a stretch starts.
class LzmaHistory {
 public:
  void Add(const uint8_t* filtered, size_t length);
  std::vector<uint8_t> Last() const;
  uint64_t Total() const { return total_; }

 private:
  std::vector<uint8_t> ring_;
  uint64_t total_ = 0;
};
