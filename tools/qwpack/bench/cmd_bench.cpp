// qwpack bench: the codec against zlib, LZ4, libdeflate and zstd on the same
// data, like 7-Zip's benchmark: ratio, encode and decode speed per codec.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "common/container.h"
#include "encode/pipeline/threads.h"
#include "tools/qwpack/bench/bench_codecs.h"
#include "tools/qwpack/bench/bench_corpus.h"
#include "tools/qwpack/cli_style.h"
#include "tools/qwpack/commands.h"
#include "tools/qwpack/host/host_files.h"

namespace {

constexpr size_t kBuiltInBytesEach = 2 << 20;
constexpr double kLeastMeasuredSeconds = 0.5;
constexpr int kMostRuns = 5;

// One piece a codec codes on its own: a whole file, or a 4096-byte block.
struct Unit {
  const uint8_t* input;
  size_t size;
  size_t slot;      // where its coded form goes in the output buffer
  size_t capacity;  // what it may take there
  size_t coded;     // its coded size; 0 for a block kept plain
};

struct Row {
  std::string codec;
  double ratio;
  double encodeMbps;
  double encodePerCoreMbps;
  double decodeMbps;
  unsigned threads;
  bool sound;
};

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<Unit> CutIntoUnits(const std::vector<BenchFile>& files, const BenchCodecKind& kind,
                               size_t* outputSize) {
  std::unique_ptr<BenchCodec> codec = kind.make();
  std::vector<Unit> units;
  size_t slot = 0;
  for (const BenchFile& file : files) {
    size_t step = kind.fourKiBBlocks ? kBlockSize : (file.bytes.empty() ? 1 : file.bytes.size());
    for (size_t at = 0; at < file.bytes.size(); at += step) {
      size_t size = file.bytes.size() - at < step ? file.bytes.size() - at : step;
      // A block must come out strictly shorter, or it stays plain.
      size_t capacity = kind.fourKiBBlocks ? size - 1 : codec->Bound(size);
      units.push_back({file.bytes.data() + at, size, slot, capacity, 0});
      slot += size > capacity ? size : capacity;
    }
  }
  *outputSize = slot;
  return units;
}

// Codes every unit on `threads` threads; returns the wall time and adds the
// threads' processor time to `cpuSeconds`.
double Encode(const BenchCodecKind& kind, std::vector<Unit>* units, uint8_t* output,
              unsigned threads, double* cpuSeconds) {
  std::atomic<size_t> next(0);
  std::atomic<bool> failed(false);
  std::vector<double> cpu(threads, 0);
  auto work = [&](unsigned thread) {
    std::unique_ptr<BenchCodec> codec = kind.make();
    double start = HostThreadCpuSeconds();
    for (size_t i; (i = next++) < units->size();) {
      Unit& unit = (*units)[i];
      unit.coded = codec->Compress(unit.input, unit.size, output + unit.slot, unit.capacity);
      if (!unit.coded && !kind.fourKiBBlocks) failed = true;
    }
    cpu[thread] = HostThreadCpuSeconds() - start;
  };
  double start = WallSeconds();
  std::vector<Thread> pool;
  for (unsigned t = 1; t < threads; t++) pool.emplace_back(work, t);
  work(0);
  for (Thread& thread : pool) thread.join();
  double wall = WallSeconds() - start;
  for (double seconds : cpu) *cpuSeconds += seconds;
  return failed ? -1 : wall;
}

// Decodes every unit on this thread, plain blocks copied as the launcher
// copies them; returns the time, or -1 when a stream is refused.
double Decode(const BenchCodecKind& kind, const std::vector<Unit>& units, const uint8_t* coded,
              uint8_t* output) {
  std::unique_ptr<BenchCodec> codec = kind.make();
  double start = WallSeconds();
  size_t at = 0;
  for (const Unit& unit : units) {
    if (unit.coded == 0) {
      memcpy(output + at, unit.input, unit.size);
    } else if (!codec->Decompress(coded + unit.slot, unit.coded, output + at, unit.size)) {
      return -1;
    }
    at += unit.size;
  }
  return WallSeconds() - start;
}

template <typename Run>
double Best(Run run) {
  double best = -1, spent = 0;
  for (int i = 0; i < kMostRuns && spent < kLeastMeasuredSeconds; i++) {
    double seconds = run();
    if (seconds < 0) return -1;
    best = best < 0 || seconds < best ? seconds : best;
    spent += seconds;
  }
  return best;
}

Row Measure(const BenchCodecKind& kind, const std::vector<BenchFile>& files, unsigned threads) {
  size_t inputSize = 0;
  for (const BenchFile& file : files) inputSize += file.bytes.size();
  size_t outputSize;
  std::vector<Unit> units = CutIntoUnits(files, kind, &outputSize);
  std::vector<uint8_t> coded(outputSize + 16), decoded(inputSize + 16);
  unsigned encodeThreads = kind.threaded ? threads : 1;

  double cpuSeconds = 0;
  int runs = 0;
  double encodeSeconds = Best([&] {
    runs++;
    return Encode(kind, &units, coded.data(), encodeThreads, &cpuSeconds);
  });
  double decodeSeconds = Best([&] { return Decode(kind, units, coded.data(), decoded.data()); });

  size_t stored = 0, at = 0;
  bool sound = encodeSeconds > 0 && decodeSeconds > 0;
  for (const Unit& unit : units) {
    // Blocks carry a 4-byte length, as in a package; whole files none.
    stored += (unit.coded ? unit.coded : unit.size) + (kind.fourKiBBlocks ? 4 : 0);
    sound = sound && memcmp(decoded.data() + at, unit.input, unit.size) == 0;
    at += unit.size;
  }
  double megabytes = inputSize / 1e6;
  Row row;
  row.codec = kind.name;
  row.ratio = stored ? static_cast<double>(inputSize) / stored : 0;
  row.encodeMbps = encodeSeconds > 0 ? megabytes / encodeSeconds : 0;
  row.encodePerCoreMbps = cpuSeconds > 0 ? megabytes * runs / cpuSeconds : 0;
  row.decodeMbps = decodeSeconds > 0 ? megabytes / decodeSeconds : 0;
  row.threads = encodeThreads;
  row.sound = sound;
  return row;
}

bool ReadFiles(const std::vector<std::string>& paths, std::vector<BenchFile>* files) {
  for (const std::string& path : paths) {
    files->push_back({path, {}});
    if (!HostReadFile(path, &files->back().bytes)) {
      fprintf(stderr, "qwpack: cannot read %s: %s\n", path.c_str(), HostErrorText().c_str());
      return false;
    }
  }
  return true;
}

void PrintTable(const std::vector<Row>& rows, const std::vector<BenchFile>& files, bool builtIn) {
  size_t total = 0;
  for (const BenchFile& file : files) total += file.bytes.size();
  printf("%zu files, %zu bytes%s\n\n", files.size(), total,
         builtIn ? " (the built-in mix: program-like, text-like, incompressible)" : "");
  printf("%-24s %7s %12s %14s %12s\n", "codec", "ratio", "encode MB/s", "per core MB/s",
         "decode MB/s");
  for (const Row& row : rows) {
    printf("%-24s %7.3f %12.1f %14.1f %12.1f%s\n", row.codec.c_str(), row.ratio, row.encodeMbps,
           row.encodePerCoreMbps, row.decodeMbps, row.sound ? "" : "  ROUND TRIP FAILED");
  }
  printf(
      "\nqwlz encodes on %u threads, qwlzma (method 2, where built) one file per thread,\n"
      "the others on one; every codec decodes on one. Per core is input over processor\n"
      "time. Ratios are input / output; 4 KiB block codecs and qwlzma count a 4-byte\n"
      "length per block and keep a block plain when coding does not shorten it.\n",
      rows.size() > 1 ? rows[1].threads : 1);
}

}  // namespace

int RunBench(int argc, char** argv) {
  CLI::App app(BenchHasComparisonCodecs()
                   ? "Compare the launcher's codec (4096-byte independent blocks) with zlib, "
                     "libdeflate,\nLZ4 and zstd on the same data: compression ratio, encode "
                     "and decode speed."
                   : "Measure the launcher's codecs (method 1: 4096-byte independent blocks; "
                     "method 2: LZMA,\nwhere built) beside memcpy: compression ratio, encode and "
                     "decode speed. This build\nhas none of the comparison codecs (zlib, "
                     "libdeflate, LZ4, zstd); the Linux qwpack has them.",
               "qwpack bench");
  UseOneOptionStyle(app);
  std::vector<std::string> paths;
  bool json = false;
  unsigned threads = HostProcessorCount();
  app.add_option("FILES", paths, "files to measure (default: a built-in mix, the same everywhere)");
  app.add_flag("--json", json, "print a JSON list of rows");
  app.add_option("--threads", threads, "qwlz encoding threads (default: every core)")
      ->check(CLI::Range(1u, 1024u));
  CLI11_PARSE(app, argc, argv);
  if (threads == 0) threads = 1;

  std::vector<BenchFile> files;
  if (paths.empty())
    files = BuiltInBenchMix(kBuiltInBytesEach);
  else if (!ReadFiles(paths, &files))
    return 1;

  std::vector<Row> rows;
  bool sound = true;
  for (const BenchCodecKind& kind : BenchCodecKinds()) {
    rows.push_back(Measure(kind, files, threads));
    sound = sound && rows.back().sound;
  }
  if (json) {
    nlohmann::json list = nlohmann::json::array();
    for (const Row& row : rows)
      list.push_back({{"codec", row.codec},
                      {"ratio", row.ratio},
                      {"encode_mbps", row.encodeMbps},
                      {"encode_mbps_per_core", row.encodePerCoreMbps},
                      {"decode_mbps", row.decodeMbps},
                      {"threads", row.threads},
                      {"round_trip", row.sound}});
    printf("%s\n", list.dump(2).c_str());
  } else {
    PrintTable(rows, files, paths.empty());
  }
  return sound ? 0 : 1;
}
