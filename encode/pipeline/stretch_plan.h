// How method 2 is cut into stretches and how far the reader runs ahead.
//
// A stretch is a run of the package's method-2 bytes coded by an encoder of
// its own, started on the dictionary the stretch begins with, so that
// stretches code in parallel. The bytes written depend on the stretch
// length and the package's length, never on the thread count.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "encode/lzma/lzma_input.h"
#include "encode/pipeline/chunk.h"

// Stretches are at most about this long. Each start costs the encoder a
// pass over the dictionary it starts on; fewer, longer stretches would
// leave a core idle at the end.
constexpr uint64_t kLzmaStretchBytes = 64u << 20;
// A package is cut in two stretches at least once each would be this long.
constexpr uint64_t kLzmaShortestSplitStretch = 8u << 20;
// An encoder takes over 11 times the dictionary, so only a few stretches
// code at once, however many cores there are.
constexpr unsigned kLzmaMaxStretchesCoding = 3;

// The length of each of a package's stretches, for `totalBytes` of method-2
// input: as few as stretches of `longest` bytes need, but two once each
// has kLzmaShortestSplitStretch, and an even count, all of one length; so
// two cores finish together rather than one coding the short last stretch
// alone. A stretch ends at the first chunk boundary at or past this length.
uint64_t BalancedStretchBytes(uint64_t totalBytes, uint64_t longest);

// Gives method-2 chunks, in package order, their stretch: filters each
// chunk's input into the dictionary's form, starts a new stretch (on the
// dictionary as it stands) at the first chunk with input once the current
// stretch has its length, and keeps the history stretches start on. A chunk
// without input joins the stretch under way, so that a stretch's chunks
// are queued together.
class StretchCutter {
 public:
  explicit StretchCutter(uint64_t stretchLength) : stretchLength_(stretchLength) {}
  bool NextStartsStretch() const { return !coding_ || stretchBytes_ >= stretchLength_; }
  void Assign(Chunk* chunk);

 private:
  uint64_t stretchLength_;
  std::shared_ptr<StretchCoding> coding_;  // of the stretch being read
  uint64_t stretchBytes_ = 0;
  LzmaInputFilter filter_;
  LzmaHistory history_;
};

// The stretches the chunks in flight belong to, which hold an encoder each.
size_t StretchesInFlight(const std::deque<std::unique_ptr<Chunk>>& inFlight);
