// Writes a package straight from the files, coding blocks on every core:
// this thread reads the files in order, a chunk at a time (chunk_reader),
// hands each chunk to the pool (job_pool), whose threads code it (chunk),
// and writes finished chunks in the same order (entry_writer), so the
// package comes out as one thread would write it. Method 2 codes in
// stretches (stretch_plan).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "encode/pipeline/stretch_plan.h"

struct PackageEntry {
  std::string hostPath;      // to read
  std::string subdirectory;  // ANSI, backslashes
  std::string fileName;      // ANSI
  uint64_t size;             // as found; the file must still have it
};

struct PackageTotals {
  uint64_t packageLength = 0;  // of the last part, when cut into volumes
  uint32_t volumes = 0;        // parts after the first
  uint64_t inputBytes = 0;
  uint64_t blocks = 0;
  uint64_t codedBlocks = 0;
};

// The host's files as the pipeline reaches them; qwpack's host layer gives
// them (HostPackageFiles).
struct PackageFiles {
  std::function<FILE*(const std::string& hostPath)> openForReading;  // "rb"
  // Writes all of `bytes` at `offset` of the launcher being written, from
  // any thread.
  std::function<bool(const uint8_t* bytes, size_t length, uint64_t offset)> writeAt;
  std::function<std::string()> errorText;  // why the last call failed
  // Only for a stream cut into volumes (PackageStreamOptions::maxVolumeLength):
  // ends the part being written at `partLength` bytes from its start (what
  // lies past them is dropped), starts the next volume, and moves the
  // `length` bytes at `from` in the ended part's file to the new volume's
  // offset `to`; positioned writes go to the new volume from then on.
  // Returns an empty string or what went wrong.
  std::function<std::string(uint64_t partLength, uint64_t from, uint64_t length, uint64_t to)>
      nextVolume;
};

struct PackageStreamOptions {
  unsigned threads = 1;                    // coding threads, at least 1
  bool store = false;                      // keep every block plain
  uint16_t method = 1;                     // 1 (LZ) or 2 (LZMA), for coded blocks
  uint64_t maxPackageLength = 0x7FFFFFFF;  // refuse to grow past this
  // Non-zero: cut the stream into volumes instead of refusing. The first
  // part ends within maxPackageLength, each volume after it within this; an
  // entry that would pass its part's end moves on, whole, to the next
  // volume (PackageFiles::nextVolume). Offsets in a volume count from its
  // start, and its first four bytes are left for its header.
  uint64_t maxVolumeLength = 0;
  uint64_t lzmaStretchBytes = kLzmaStretchBytes;     // the longest, at least one block
  std::function<void(uint64_t inputDone)> progress;  // optional, on the calling thread
};

// Writes the package (fileCount, then the entries in the given order) into
// the launcher from byte `packageOffset` on, with positioned writes.
// Method-1 blocks are coded independently, method-2 stretches each by one
// encoder in block order, so the bytes do not depend on the thread count.
// Returns an empty string or what went wrong (a file unreadable or
// changed, a failed write, the package growing past the limit).
std::string WritePackageStream(const PackageFiles& files, uint64_t packageOffset,
                               const std::vector<PackageEntry>& entries,
                               const PackageStreamOptions& options, PackageTotals* totals);
