#include "encode/pipeline/stretch_plan.h"

uint64_t BalancedStretchBytes(uint64_t totalBytes, uint64_t longest) {
  uint64_t count = totalBytes / longest + (totalBytes % longest ? 1 : 0);
  if (count < 2 && totalBytes >= 2 * kLzmaShortestSplitStretch) count = 2;
  if (count < 2) return longest;
  count += count % 2;
  uint64_t length = totalBytes / count + (totalBytes % count ? 1 : 0);
  return length < kBlockSize ? kBlockSize : length;
}

void StretchCutter::Assign(Chunk* chunk) {
  if (!chunk->input.empty()) {
    if (chunk->firstOfEntry) filter_.BeginEntry();
    chunk->filtered.resize(chunk->input.size());
    filter_.Filter(chunk->input.data(), chunk->input.size(), chunk->filtered.data());
    if (NextStartsStretch()) {
      coding_ = std::make_shared<StretchCoding>();
      coding_->history = history_.Last();
      coding_->position = history_.Total();
      chunk->startsStretch = true;
      stretchBytes_ = 0;
    }
    history_.Add(chunk->filtered.data(), chunk->filtered.size());
    stretchBytes_ += chunk->input.size();
  }
  chunk->coding = coding_;
}

size_t StretchesInFlight(const std::deque<std::unique_ptr<Chunk>>& inFlight) {
  size_t stretches = 0;
  for (const std::unique_ptr<Chunk>& chunk : inFlight)
    stretches += chunk->startsStretch || (chunk == inFlight.front() && chunk->coding) ? 1 : 0;
  return stretches;
}
