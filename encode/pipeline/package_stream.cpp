#include "encode/pipeline/package_stream.h"

#include <deque>
#include <memory>

#include "encode/pipeline/chunk_reader.h"
#include "encode/pipeline/entry_writer.h"

namespace {

constexpr size_t kChunksInFlightPerThread = 4;

uint64_t MethodTwoBytes(const std::vector<PackageEntry>& entries) {
  uint64_t total = 0;
  for (const PackageEntry& entry : entries) total += entry.size;
  return total;
}

}  // namespace

std::string WritePackageStream(const PackageFiles& files, uint64_t packageOffset,
                               const std::vector<PackageEntry>& entries,
                               const PackageStreamOptions& options, PackageTotals* totals) {
  *totals = PackageTotals();
  unsigned threads = options.threads ? options.threads : 1;
  // The chunks outlive the pool, whose threads may be coding them until it
  // is gone.
  std::deque<std::unique_ptr<Chunk>> inFlight;
  JobPool pool(threads);
  ChunkReader reader(entries, files);
  EntryWriter writer(files, packageOffset, entries, options);
  bool lzma = options.method == kMethodLzma && !options.store;
  unsigned stretchesCoding = threads < kLzmaMaxStretchesCoding ? threads : kLzmaMaxStretchesCoding;
  uint64_t stretchLength = BalancedStretchBytes(MethodTwoBytes(entries), options.lzmaStretchBytes);
  StretchCutter stretches(stretchLength);
  // Method 2 reads ahead by bytes, not chunks: a chunk holds one file's
  // blocks, so in a package of small files a count of chunks would never
  // reach the next stretch, and one core would code alone. It holds one
  // encoder per stretch under way: at most one stretch more than code at
  // once is read ahead.
  uint64_t maxInFlightBytes = (stretchLength + kChunkBytes) * (stretchesCoding + 1);
  uint64_t inFlightBytes = 0;
  auto roomToRead = [&] {
    if (!lzma) return inFlight.size() < kChunksInFlightPerThread * threads;
    return inFlightBytes < maxInFlightBytes &&
           !(stretches.NextStartsStretch() && StretchesInFlight(inFlight) > stretchesCoding);
  };
  std::string problem = writer.WriteFileCount(static_cast<uint32_t>(entries.size()));
  while (problem.empty()) {
    while (problem.empty() && !reader.AtEnd() && roomToRead()) {
      std::unique_ptr<Chunk> chunk = reader.Next(&problem);
      if (!chunk) break;
      if (lzma) stretches.Assign(chunk.get());
      Chunk* coded = chunk.get();
      coded->job.run = [coded, &options] { CodeChunk(coded, options.store); };
      coded->job.strand = coded->coding ? &coded->coding->strand : nullptr;
      pool.Submit(&coded->job);
      inFlightBytes += chunk->input.size();
      inFlight.push_back(std::move(chunk));
    }
    if (!problem.empty() || inFlight.empty()) break;
    pool.Wait(&inFlight.front()->job);
    problem = writer.Write(*inFlight.front(), lzma ? kMethodLzma : kMethodLz, totals);
    inFlightBytes -= inFlight.front()->input.size();
    inFlight.pop_front();
    if (problem.empty() && !options.maxVolumeLength &&
        writer.PackageLength() > options.maxPackageLength)
      problem = "the launcher would reach 2 GiB, more than the launcher can read";
    if (problem.empty() && options.progress) options.progress(totals->inputBytes);
  }
  pool.DropQueued();
  for (const std::unique_ptr<Chunk>& chunk : inFlight) pool.Wait(&chunk->job);
  totals->packageLength = writer.PackageLength();
  totals->volumes = writer.VolumesStarted();
  return problem;
}
