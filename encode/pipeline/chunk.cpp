#include "encode/pipeline/chunk.h"

#include "encode/lz/lz_codec.h"

namespace {

void CodeLzmaChunk(Chunk* chunk) {
  StretchCoding& coding = *chunk->coding;
  if (chunk->startsStretch) {
    coding.encoder.reset(new LzmaStretchEncoder);
    chunk->problem = coding.encoder->BeginStretch(coding.history, coding.position);
    std::vector<uint8_t>().swap(coding.history);
  } else if (!coding.encoder) {
    chunk->problem = "the stretch's encoder failed before";
  }
  if (chunk->problem.empty()) {
    ForEachBlock(chunk->input.size(), [&](uint64_t at, uint32_t length) {
      chunk->blocks.emplace_back();
      chunk->problem = coding.encoder->AddBlock(
          chunk->input.data() + at, chunk->filtered.data() + at, length, &chunk->blocks.back());
      return chunk->problem.empty();
    });
  }
  std::vector<uint8_t>().swap(chunk->filtered);
}

}  // namespace

void CodeChunk(Chunk* chunk, bool store) {
  if (chunk->coding) {
    CodeLzmaChunk(chunk);
    return;
  }
  CLzCodec codec;
  chunk->blocks = CutIntoBlocks(chunk->input.data(), chunk->input.size(), store ? nullptr : &codec);
}
