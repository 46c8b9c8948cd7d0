// Writes a package straight from the files, coding blocks on every core.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PackageEntry {
  std::string hostPath;      // to read
  std::string subdirectory;  // ANSI, backslashes
  std::string fileName;      // ANSI
  uint64_t size;             // as found; the file must still have it
};

struct PackageTotals {
  uint64_t packageLength = 0;
  uint64_t inputBytes = 0;
  uint64_t blocks = 0;
  uint64_t codedBlocks = 0;
};

// Method 2 codes the package's stream in stretches of at most about this
// many bytes, each on one thread with an encoder of its own started on the
// dictionary as the stretch finds it. Each start costs the encoder a pass
// over that dictionary; fewer, longer stretches would leave a core idle at
// the end. The bytes written depend on it and on the package's length,
// never on the thread count.
constexpr uint64_t kLzmaStretchBytes = 64u << 20;
// A package is cut in two stretches at least once each would be this long.
constexpr uint64_t kLzmaShortestSplitStretch = 8u << 20;

// The length of each of a package's stretches, for `totalBytes` of method-2
// input: as few as stretches of `longest` bytes need, but two once each
// has kLzmaShortestSplitStretch, and an even count, all of one length; so
// two cores finish together rather than one coding the short last stretch
// alone. A stretch ends at the first chunk boundary at or past this length.
uint64_t BalancedStretchBytes(uint64_t totalBytes, uint64_t longest);

struct PackageStreamOptions {
  unsigned threads = 1;                              // coding threads, at least 1
  bool store = false;                                // keep every block plain
  uint16_t method = 1;                               // 1 (LZ) or 2 (LZMA), for coded blocks
  uint64_t maxPackageLength = 0x7FFFFFFF;            // refuse to grow past this
  uint64_t lzmaStretchBytes = kLzmaStretchBytes;     // the longest, at least one block
  std::function<void(uint64_t inputDone)> progress;  // optional, on the calling thread
};

// Writes the package (fileCount, then the entries in the given order) into
// the file `fd` from byte `packageOffset` on, with positioned writes: each
// entry header is written once its blocks, which precede it in time but
// follow it in the file, have settled its checksum and end. Method-1 blocks
// are coded independently, method-2 stretches each by one encoder in block
// order, so the bytes do not depend on the thread count. Returns an
// empty string or what went wrong (a file unreadable or changed, a failed
// write, the package growing past the limit).
std::string WritePackageStream(int fd, uint64_t packageOffset,
                               const std::vector<PackageEntry>& entries,
                               const PackageStreamOptions& options, PackageTotals* totals);

// Whether this build of qwpack can write method 2 (it links the LZMA
// encoder: always on Linux, on Windows where liblzma's source was fetched).
bool CanWriteLzma();
// Why it cannot, and which qwpack can.
std::string LzmaUnavailableText();
