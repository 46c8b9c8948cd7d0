// The LZ decoder's throughput beside memcpy of the same bytes, on the
// built-in mix cut into the launcher's 4096-byte blocks. Only coded blocks
// are timed; MB/s counts decoded bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "common/container.h"
#include "decode/block_decode.h"
#include "encode/lz/lz_codec.h"
#include "tools/qwpack/bench/bench_corpus.h"

namespace {

struct CodedBlocks {
  std::vector<std::vector<uint8_t>> stored;
  std::vector<uint32_t> decodedLength;
  std::vector<uint8_t> decoded;  // the same bytes back to back, for memcpy
};

const CodedBlocks& BlocksOf(size_t fileIndex) {
  static std::vector<CodedBlocks> all = [] {
    std::vector<CodedBlocks> result;
    for (const BenchFile& file : BuiltInBenchMix(4 << 20)) {
      CodedBlocks blocks;
      CLzCodec codec;
      uint8_t coded[kBlockSize];
      for (size_t start = 0; start < file.bytes.size(); start += kBlockSize) {
        uint32_t length =
            static_cast<uint32_t>(std::min<size_t>(kBlockSize, file.bytes.size() - start));
        uint32_t codedLength = codec.Compress(file.bytes.data() + start, length, coded, length - 1);
        if (codedLength == 0) continue;
        blocks.stored.emplace_back(coded, coded + codedLength);
        blocks.decodedLength.push_back(length);
        blocks.decoded.insert(blocks.decoded.end(), file.bytes.begin() + start,
                              file.bytes.begin() + start + length);
      }
      result.push_back(std::move(blocks));
    }
    return result;
  }();
  return all[fileIndex];
}

void BM_Decode(benchmark::State& state) {
  const CodedBlocks& blocks = BlocksOf(static_cast<size_t>(state.range(0)));
  uint8_t out[kBlockSize];
  for (auto _ : state) {
    for (size_t i = 0; i < blocks.stored.size(); i++) {
      int ok = DecodeBlock(out, blocks.decodedLength[i], blocks.stored[i].data(),
                           static_cast<uint32_t>(blocks.stored[i].size()), kMethodLz);
      benchmark::DoNotOptimize(ok);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * blocks.decoded.size()));
  state.counters["blocks"] = static_cast<double>(blocks.stored.size());
}

void BM_Memcpy(benchmark::State& state) {
  const CodedBlocks& blocks = BlocksOf(static_cast<size_t>(state.range(0)));
  uint8_t out[kBlockSize];
  for (auto _ : state) {
    for (size_t i = 0, at = 0; i < blocks.stored.size(); at += blocks.decodedLength[i], i++) {
      memcpy(out, blocks.decoded.data() + at, blocks.decodedLength[i]);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * blocks.decoded.size()));
}

// 0: program-like, 1: text-like (the incompressible third has no coded blocks).
BENCHMARK(BM_Decode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
