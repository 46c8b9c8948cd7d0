// The pipeline: this thread reads the files in order, a chunk (up to 256
// blocks of one file) at a time, and hands each chunk to the coding threads;
// it writes finished chunks in the same order, so the package comes out as
// one thread would write it. A bounded number of chunks is in flight.
#include "tools/qwpack/package_stream.h"

#include <cstdio>
#include <deque>
#include <memory>

#include "package/block_codec.h"
#include "package/format.h"
#include "package/lz_codec.h"
#include "package/lzma_codec.h"
#include "package/package_writer.h"
#ifdef QW_LZMA_ENCODER
#include "package/lzma_encoder.h"
#else
// Never made: CanWriteLzma() is false and the packer refuses method 2 first.
class LzmaStretchEncoder {
 public:
  std::string BeginStretch(const std::vector<uint8_t>&, uint64_t) {
    return "this qwpack has no LZMA encoder";
  }
  std::string AddBlock(const uint8_t*, const uint8_t*, uint32_t, StoredBlock*) {
    return BeginStretch({}, 0);
  }
};
#endif
#include "package/lzma_input.h"
#include "package/package_writer.h"
#include "tools/qwpack/host_files.h"
#include "tools/qwpack/threads.h"

namespace {

constexpr uint64_t kChunkBytes = 256 * kBlockSize;
constexpr size_t kChunksInFlightPerThread = 4;

// A method-2 stretch's coding: one encoder (674 MiB with liblzma's preset
// and our dictionary, freed with the stretch's last chunk), its chunks one
// at a time in order.
struct StretchCoding {
  bool busy = false;  // a thread codes one of its chunks
  size_t queued = 0;  // of its chunks, those waiting in the pool's queue
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
  bool done = false;
};

class CodingPool {
 public:
  CodingPool(unsigned threads, bool store) : store_(store) {
    for (unsigned i = 0; i < threads; i++) workers_.emplace_back([this] { Work(); });
  }

  ~CodingPool() {
    {
      std::lock_guard<Mutex> lock(mutex_);
      stopping_ = true;
      queue_.clear();
    }
    queued_.notify_all();
    for (Thread& worker : workers_) worker.join();
  }

  void Submit(Chunk* chunk) {
    {
      std::lock_guard<Mutex> lock(mutex_);
      queue_.push_back(chunk);
      if (chunk->coding) chunk->coding->queued++;
    }
    queued_.notify_one();
  }

  void Wait(Chunk* chunk) {
    std::unique_lock<Mutex> lock(mutex_);
    finished_.wait(lock, [chunk] { return chunk->done; });
  }

  // Drops the chunks no thread has started, so that only those under way
  // need waiting for.
  void DropQueued() {
    std::lock_guard<Mutex> lock(mutex_);
    for (Chunk* chunk : queue_) {
      chunk->done = true;
      if (chunk->coding) chunk->coding->queued--;
    }
    queue_.clear();
  }

 private:
  // The first queued chunk whose stretch no other thread is coding; chunks
  // of one stretch are queued in order, so they are taken in order. They
  // are also queued together, so a busy stretch's are passed over in one
  // step: a package of small files queues thousands. Under the lock.
  std::deque<Chunk*>::iterator NextReady() {
    for (auto it = queue_.begin(); it != queue_.end();) {
      StretchCoding* coding = (*it)->coding.get();
      if (!coding || !coding->busy) return it;
      it += static_cast<std::ptrdiff_t>(coding->queued);
    }
    return queue_.end();
  }

  void Work() {
    CLzCodec codec;
    for (;;) {
      Chunk* chunk;
      {
        std::unique_lock<Mutex> lock(mutex_);
        queued_.wait(lock, [this] { return stopping_ || NextReady() != queue_.end(); });
        if (stopping_) return;
        auto next = NextReady();
        chunk = *next;
        queue_.erase(next);
        if (chunk->coding) {
          chunk->coding->busy = true;
          chunk->coding->queued--;
        }
      }
      if (chunk->coding)
        CodeLzmaChunk(chunk);
      else
        CodeLzChunk(chunk, store_ ? nullptr : &codec);
      {
        std::lock_guard<Mutex> lock(mutex_);
        chunk->done = true;
        if (chunk->coding) chunk->coding->busy = false;
      }
      finished_.notify_all();
      queued_.notify_all();  // the stream's next chunk may be waiting
    }
  }

  static void CodeLzChunk(Chunk* chunk, CLzCodec* codec) {
    for (size_t at = 0; at < chunk->input.size(); at += kBlockSize) {
      size_t length = chunk->input.size() - at < kBlockSize ? chunk->input.size() - at : kBlockSize;
      chunk->blocks.push_back(
          StoreBlock(chunk->input.data() + at, static_cast<uint32_t>(length), codec));
    }
  }

  static void CodeLzmaChunk(Chunk* chunk) {
    StretchCoding& coding = *chunk->coding;
    if (chunk->startsStretch) {
      coding.encoder.reset(new LzmaStretchEncoder);
      chunk->problem = coding.encoder->BeginStretch(coding.history, coding.position);
      std::vector<uint8_t>().swap(coding.history);
    } else if (!coding.encoder) {
      chunk->problem = "the stretch's encoder failed before";
    }
    for (size_t at = 0; chunk->problem.empty() && at < chunk->input.size(); at += kBlockSize) {
      size_t length = chunk->input.size() - at < kBlockSize ? chunk->input.size() - at : kBlockSize;
      chunk->blocks.emplace_back();
      chunk->problem =
          coding.encoder->AddBlock(chunk->input.data() + at, chunk->filtered.data() + at,
                                   static_cast<uint32_t>(length), &chunk->blocks.back());
    }
    std::vector<uint8_t>().swap(chunk->filtered);
  }

  bool store_;
  Mutex mutex_;
  ConditionVariable queued_;
  ConditionVariable finished_;
  std::deque<Chunk*> queue_;
  bool stopping_ = false;
  std::vector<Thread> workers_;
};

// Reads the entries' files in order, one chunk at a time.
class ChunkReader {
 public:
  explicit ChunkReader(const std::vector<PackageEntry>& entries) : entries_(entries) {}
  ~ChunkReader() {
    if (file_) fclose(file_);
  }

  bool AtEnd() const { return entry_ == entries_.size(); }

  // The next chunk, or null with `problem` set.
  std::unique_ptr<Chunk> Next(std::string* problem) {
    const PackageEntry& entry = entries_[entry_];
    if (offset_ == 0) {
      file_ = HostOpenFile(entry.hostPath, "rb");
      if (!file_) {
        *problem = "cannot open " + entry.hostPath + ": " + HostErrorText();
        return nullptr;
      }
    }
    std::unique_ptr<Chunk> chunk(new Chunk);
    chunk->entry = entry_;
    chunk->firstOfEntry = offset_ == 0;
    uint64_t left = entry.size - offset_;
    chunk->input.resize(left < kChunkBytes ? left : kChunkBytes);
    if (!chunk->input.empty() &&
        fread(chunk->input.data(), 1, chunk->input.size(), file_) != chunk->input.size()) {
      *problem = entry.hostPath + " became shorter while being packed";
      return nullptr;
    }
    offset_ += chunk->input.size();
    chunk->lastOfEntry = offset_ == entry.size;
    if (chunk->lastOfEntry) {
      if (file_) {
        bool longer = fgetc(file_) != EOF;
        fclose(file_);
        file_ = nullptr;
        if (longer) {
          *problem = entry.hostPath + " became longer while being packed";
          return nullptr;
        }
      }
      entry_++;
      offset_ = 0;
    }
    return chunk;
  }

 private:
  const std::vector<PackageEntry>& entries_;
  size_t entry_ = 0;
  uint64_t offset_ = 0;
  FILE* file_ = nullptr;
};

// Writes finished chunks at their places.
class EntryWriter {
 public:
  EntryWriter(int fd, uint64_t packageOffset, const std::vector<PackageEntry>& entries)
      : fd_(fd), packageOffset_(packageOffset), end_(packageOffset + 4), entries_(entries) {}

  uint64_t PackageLength() const { return end_ - packageOffset_; }

  std::string Write(const Chunk& chunk, uint16_t method, PackageTotals* totals) {
    if (!chunk.problem.empty()) return entries_[chunk.entry].hostPath + ": " + chunk.problem;
    const PackageEntry& entry = entries_[chunk.entry];
    if (chunk.firstOfEntry) {
      headerAt_ = end_;
      header_.reset(new EntryHeaderBuilder(entry.subdirectory, entry.fileName,
                                           static_cast<uint32_t>(entry.size),
                                           static_cast<uint32_t>(end_ - packageOffset_)));
      header_->SetCodedMethod(method);
      end_ += kEntryHeaderSize;
    }
    std::vector<uint8_t> bytes;
    for (const StoredBlock& block : chunk.blocks) {
      uint8_t raw[4];
      header_->AddBlock(block, raw);
      bytes.insert(bytes.end(), raw, raw + 4);
      bytes.insert(bytes.end(), block.bytes.begin(), block.bytes.end());
      totals->codedBlocks += block.coded ? 1 : 0;
    }
    totals->blocks += chunk.blocks.size();
    totals->inputBytes += chunk.input.size();
    if (!HostWriteAt(fd_, bytes.data(), bytes.size(), end_)) return WriteProblem();
    end_ += bytes.size();
    if (chunk.lastOfEntry) {
      uint8_t raw[kEntryHeaderSize];
      header_->Serialize(raw);
      if (!HostWriteAt(fd_, raw, kEntryHeaderSize, headerAt_)) return WriteProblem();
    }
    return "";
  }

  std::string WriteFileCount(uint32_t fileCount) {
    uint8_t raw[4];
    StoreLe32(raw, fileCount);
    return HostWriteAt(fd_, raw, 4, packageOffset_) ? "" : WriteProblem();
  }

 private:
  static std::string WriteProblem() { return "cannot write the launcher: " + HostErrorText(); }

  int fd_;
  uint64_t packageOffset_;
  uint64_t end_;  // file offset just past what is placed so far
  uint64_t headerAt_ = 0;
  std::unique_ptr<EntryHeaderBuilder> header_;
  const std::vector<PackageEntry>& entries_;
};

// An encoder takes over 11 times the dictionary, so only a few method-2
// stretches code at once, however many cores there are.
constexpr unsigned kLzmaMaxStretchesCoding = 3;

// Method 2 holds one encoder per stretch under way: at most one stretch
// more than code at once is read ahead.
size_t StretchesInFlight(const std::deque<std::unique_ptr<Chunk>>& inFlight) {
  size_t stretches = 0;
  for (const std::unique_ptr<Chunk>& chunk : inFlight)
    stretches += chunk->startsStretch || (chunk == inFlight.front() && chunk->coding) ? 1 : 0;
  return stretches;
}

}  // namespace

uint64_t BalancedStretchBytes(uint64_t totalBytes, uint64_t longest) {
  uint64_t count = totalBytes / longest + (totalBytes % longest ? 1 : 0);
  if (count < 2 && totalBytes >= 2 * kLzmaShortestSplitStretch) count = 2;
  if (count < 2) return longest;
  count += count % 2;
  uint64_t length = totalBytes / count + (totalBytes % count ? 1 : 0);
  return length < kBlockSize ? kBlockSize : length;
}

bool CanWriteLzma() {
#ifdef QW_LZMA_ENCODER
  return true;
#else
  return false;
#endif
}

std::string LzmaUnavailableText() {
  return "this qwpack cannot write --method lzma: it is built without an LZMA encoder (its "
         "build could not fetch or build liblzma). qwpack for Linux (the Debian package or a "
         "Linux build) writes it, and the launchers it makes run anywhere.";
}

std::string WritePackageStream(int fd, uint64_t packageOffset,
                               const std::vector<PackageEntry>& entries,
                               const PackageStreamOptions& options, PackageTotals* totals) {
  *totals = PackageTotals();
  unsigned threads = options.threads ? options.threads : 1;
  CodingPool pool(threads, options.store);
  ChunkReader reader(entries);
  EntryWriter writer(fd, packageOffset, entries);
  bool lzma = options.method == kMethodLzma && !options.store;
  unsigned stretchesCoding = threads < kLzmaMaxStretchesCoding ? threads : kLzmaMaxStretchesCoding;
  uint64_t totalBytes = 0;
  for (const PackageEntry& entry : entries) totalBytes += entry.size;
  uint64_t stretchLength = BalancedStretchBytes(totalBytes, options.lzmaStretchBytes);
  // Method 2 reads ahead by bytes, not chunks: a chunk holds one file's
  // blocks, so in a package of small files a count of chunks would never
  // reach the next stretch, and one core would code alone.
  uint64_t maxInFlightBytes = (stretchLength + kChunkBytes) * (stretchesCoding + 1);
  uint64_t inFlightBytes = 0;
  std::deque<std::unique_ptr<Chunk>> inFlight;
  std::shared_ptr<StretchCoding> coding;  // of the stretch being read, method 2
  uint64_t stretchBytes = 0;
  LzmaInputFilter filter;
  LzmaHistory history;
  auto nextStartsStretch = [&] { return !coding || stretchBytes >= stretchLength; };
  auto roomToRead = [&] {
    if (!lzma) return inFlight.size() < kChunksInFlightPerThread * threads;
    return inFlightBytes < maxInFlightBytes &&
           !(nextStartsStretch() && StretchesInFlight(inFlight) > stretchesCoding);
  };
  std::string problem = writer.WriteFileCount(static_cast<uint32_t>(entries.size()));
  while (problem.empty()) {
    while (problem.empty() && !reader.AtEnd() && roomToRead()) {
      std::unique_ptr<Chunk> chunk = reader.Next(&problem);
      if (!chunk) break;
      if (lzma && !chunk->input.empty()) {
        if (chunk->firstOfEntry) filter.BeginEntry();
        chunk->filtered.resize(chunk->input.size());
        filter.Filter(chunk->input.data(), chunk->input.size(), chunk->filtered.data());
        if (nextStartsStretch()) {
          coding = std::make_shared<StretchCoding>();
          coding->history = history.Last();
          coding->position = history.Total();
          chunk->startsStretch = true;
          stretchBytes = 0;
        }
        history.Add(chunk->filtered.data(), chunk->filtered.size());
        stretchBytes += chunk->input.size();
      }
      // An empty entry's chunk joins the stretch under way, so that a
      // stretch's chunks are queued together.
      chunk->coding = coding;
      pool.Submit(chunk.get());
      inFlightBytes += chunk->input.size();
      inFlight.push_back(std::move(chunk));
    }
    if (!problem.empty() || inFlight.empty()) break;
    pool.Wait(inFlight.front().get());
    problem = writer.Write(*inFlight.front(), lzma ? kMethodLzma : kMethodLz, totals);
    inFlightBytes -= inFlight.front()->input.size();
    inFlight.pop_front();
    if (problem.empty() && writer.PackageLength() > options.maxPackageLength)
      problem = "the launcher would reach 2 GiB, more than the launcher can read";
    if (problem.empty() && options.progress) options.progress(totals->inputBytes);
  }
  pool.DropQueued();
  for (const std::unique_ptr<Chunk>& chunk : inFlight) pool.Wait(chunk.get());
  totals->packageLength = writer.PackageLength();
  return problem;
}
