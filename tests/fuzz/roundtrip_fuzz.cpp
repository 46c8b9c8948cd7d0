// Arbitrary blocks through the encoder and back through the decoder: the
// same bytes, a stream no longer than its bit count says, and, on short
// blocks, exactly the bit count of a search over every token.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "encode/lz/lz_codec.h"
#include "encode/lz/lz_encoder.h"
#include "tests/unit/bit_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  uint32_t length = static_cast<uint32_t>(size);
  std::vector<uint8_t> coded(4096 * 2);
  CLzCodec codec;
  uint32_t codedLength =
      codec.Compress(data, length, coded.data(), static_cast<uint32_t>(coded.size()));
  int64_t bits = LzOptimalBitCount(data, length);
  if (codedLength == 0 || bits <= 0 || codedLength != static_cast<uint64_t>(bits + 7) / 8) abort();

  std::vector<uint8_t> decoded(length);
  if (!codec.Decompress(decoded.data(), length, coded.data(), codedLength)) abort();
  if (!std::equal(decoded.begin(), decoded.end(), data)) abort();

  if (size <= 48) {
    std::vector<uint8_t> block(data, data + size);
    if (bits != BitsOverEveryToken(block)) abort();
  }
  return 0;
}
