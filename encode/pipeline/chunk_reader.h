// Reads the entries' files in order, one chunk at a time.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "encode/pipeline/chunk.h"
#include "encode/pipeline/package_stream.h"

class ChunkReader {
 public:
  ChunkReader(const std::vector<PackageEntry>& entries, const PackageFiles& files)
      : entries_(entries), files_(files) {}
  ~ChunkReader();
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  bool AtEnd() const { return entry_ == entries_.size(); }

  // The next chunk, or null with `problem` set: a file that cannot be
  // opened, or that is shorter or longer than when it was found.
  std::unique_ptr<Chunk> Next(std::string* problem);

 private:
  const std::vector<PackageEntry>& entries_;
  const PackageFiles& files_;
  size_t entry_ = 0;
  uint64_t offset_ = 0;
  FILE* file_ = nullptr;
};
