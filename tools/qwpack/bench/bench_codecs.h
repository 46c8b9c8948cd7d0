// The codecs qwpack bench compares, behind one interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class BenchCodec {
 public:
  virtual ~BenchCodec() = default;
  // Codes `size` bytes into at most `capacity`; returns the coded size, or 0
  // when it does not fit.
  virtual size_t Compress(const uint8_t* input, size_t size, uint8_t* output, size_t capacity) = 0;
  // Decodes exactly `outputSize` bytes; false when the stream is refused.
  virtual bool Decompress(const uint8_t* input, size_t size, uint8_t* output,
                          size_t outputSize) = 0;
  // Room enough for any coded form of `size` bytes.
  virtual size_t Bound(size_t size) const { return size + size / 8 + 1024; }
};

struct BenchCodecKind {
  std::string name;
  bool fourKiBBlocks;  // codes 4096-byte blocks on their own, plain when not shorter
  bool threaded;       // its encoder runs on --threads threads
  std::unique_ptr<BenchCodec> (*make)();  // one per thread
};

// memcpy, qwlz (4 KiB blocks), and where the build has them (Linux, not
// the Windows build) zlib -9 (4 KiB blocks and whole files), libdeflate -12,
// LZ4, LZ4 HC -12, zstd -3 and -19.
std::vector<BenchCodecKind> BenchCodecKinds();
bool BenchHasComparisonCodecs();
