// Writes finished chunks at their places in the launcher: each entry header
// once its blocks, which precede it in time but follow it in the file, have
// settled its checksum and end. Cut into volumes, it moves an entry that
// would pass its part's end on to the next volume.
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
              const std::vector<PackageEntry>& entries, const PackageStreamOptions& options)
      : files_(files),
        packageOffset_(packageOffset),
        end_(packageOffset + 4),
        partLimit_(options.maxPackageLength),
        volumeLimit_(options.maxVolumeLength),
        entries_(entries) {}

  // Of the part being written: the package, or the last volume.
  uint64_t PackageLength() const { return end_ - packageOffset_; }
  uint32_t VolumesStarted() const { return volumesStarted_; }

  // Returns an empty string or what went wrong: the chunk's own problem, a
  // failed write, or an entry that passes a volume on its own.
  std::string Write(const Chunk& chunk, uint16_t method, PackageTotals* totals);
  std::string WriteFileCount(uint32_t fileCount);

 private:
  std::string WriteProblem() const;
  // Moves the entry being written to a fresh volume when it passes its
  // part's end; refuses it when it passes a volume alone.
  std::string KeepEntryInOnePart(const PackageEntry& entry);

  const PackageFiles& files_;
  uint64_t packageOffset_;  // where the part being written starts in its file
  uint64_t end_;            // file offset just past what is placed so far
  uint64_t headerAt_ = 0;
  uint64_t partLimit_;
  uint64_t volumeLimit_;  // 0: one package, no volumes
  uint32_t volumesStarted_ = 0;
  std::unique_ptr<EntryHeaderBuilder> header_;
  const std::vector<PackageEntry>& entries_;
};
