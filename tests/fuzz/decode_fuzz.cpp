// The fast decoder against the bit-by-bit reference on arbitrary streams:
// the same decision, the same bytes, and the same result whatever the
// destination held before (which catches reads of bytes not yet written).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "encode/lz/lz_codec.h"
#include "tests/unit/bit_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint32_t outputLength = (data[0] | data[1] << 8) % 4097;  // the block sizes the launcher uses
  std::vector<uint8_t> stored(data + 2, data + size);

  std::vector<uint8_t> expected;
  bool referenceOk = ReferenceDecode(stored, outputLength, &expected);
  std::vector<uint8_t> zeros(outputLength, 0x00), ones(outputLength, 0xFF);
  CLzCodec codec;
  const uint32_t storedLength = static_cast<uint32_t>(stored.size());
  int a = codec.Decompress(zeros.data(), outputLength, stored.data(), storedLength);
  int b = codec.Decompress(ones.data(), outputLength, stored.data(), storedLength);
  if (a != (referenceOk ? 1 : 0) || b != a) abort();
  if (a && (zeros != expected || ones != expected)) abort();
  return 0;
}
