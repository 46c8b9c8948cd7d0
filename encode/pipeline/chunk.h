// The pipeline's unit of work: up to 256 blocks of one entry, read in
// order, coded on a pool thread, written in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encode/lzma/lzma_encoder.h"
#include "encode/package_writer.h"
#include "encode/pipeline/job_pool.h"

constexpr uint64_t kChunkBytes = 256 * kBlockSize;

// A method-2 stretch's coding: one encoder (674 MiB with liblzma's preset
// and our dictionary, freed with the stretch), its chunks one at a time in
// order: the stretch is a strand of the pool.
struct StretchCoding {
  Strand strand;
  std::unique_ptr<LzmaStretchEncoder> encoder;
  std::vector<uint8_t> history;  // the dictionary where it starts, until then
  uint64_t position = 0;         // where it starts in the package's method-2 bytes
};

struct Chunk {
  size_t entry;
  bool firstOfEntry;
  bool lastOfEntry;
  std::vector<uint8_t> input;
  std::vector<uint8_t> filtered;  // method 2: the input as the dictionary holds it
  std::vector<StoredBlock> blocks;
  std::shared_ptr<StretchCoding> coding;  // method 2, once the first stretch has begun
  bool startsStretch = false;             // with its first chunk
  std::string problem;                    // the encoder's, method 2 only
  PoolJob job;
};

// Codes the chunk's blocks: with its stretch's encoder when it has one,
// else each block on its own with method 1, or stored when `store`.
void CodeChunk(Chunk* chunk, bool store);
