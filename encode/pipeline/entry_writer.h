// Writes finished chunks at their places in the launcher: each entry header
// once its blocks, which precede it in time but follow it in the file, have
// settled its checksum and end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encode/pipeline/chunk.h"
#include "encode/pipeline/package_stream.h"

class EntryWriter {
 public:
  EntryWriter(const PackageFiles& files, uint64_t packageOffset,
              const std::vector<PackageEntry>& entries)
      : files_(files), packageOffset_(packageOffset), end_(packageOffset + 4), entries_(entries) {}

  uint64_t PackageLength() const { return end_ - packageOffset_; }

  // Returns an empty string or what went wrong: the chunk's own problem, or
  // a failed write.
  std::string Write(const Chunk& chunk, uint16_t method, PackageTotals* totals);
  std::string WriteFileCount(uint32_t fileCount);

 private:
  std::string WriteProblem() const;

  const PackageFiles& files_;
  uint64_t packageOffset_;
  uint64_t end_;  // file offset just past what is placed so far
  uint64_t headerAt_ = 0;
  std::unique_ptr<EntryHeaderBuilder> header_;
  const std::vector<PackageEntry>& entries_;
};
