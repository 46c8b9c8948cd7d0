// Method 2 end to end below the worker: liblzma's blocks through our
// decoder, block by block with one dictionary per entry, and the x86 filter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "package/lzma_codec.h"
#include "package/lzma_encoder.h"
#include "package/x86_filter.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct FreeDecoder {
  void operator()(LzmaDecoder* decoder) const { free(decoder); }
};
using DecoderPtr = std::unique_ptr<LzmaDecoder, FreeDecoder>;

DecoderPtr NewDecoder() {
  return DecoderPtr(static_cast<LzmaDecoder*>(malloc(sizeof(LzmaDecoder))));
}

// Decodes an entry's blocks as the worker does; false at the first refusal.
bool DecodeEntry(LzmaDecoder* decoder, const std::vector<StoredBlock>& blocks, size_t size,
                 Bytes* out) {
  LzmaBeginEntry(decoder);
  out->clear();
  for (size_t i = 0; i < blocks.size(); i++) {
    uint32_t length =
        static_cast<uint32_t>(i + 1 < blocks.size() ? kBlockSize : size - i * kBlockSize);
    uint8_t output[kBlockSize];
    if (!LzmaDecodeBlock(decoder, output, length, blocks[i].bytes.data(),
                         static_cast<uint32_t>(blocks[i].bytes.size()), blocks[i].coded))
      return false;
    out->insert(out->end(), output, output + length);
  }
  return true;
}

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Words from a small vocabulary: compressible, with matches everywhere.
Bytes Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"block ",      "entry ", "launcher ", "package ", "the ",
                                       "dictionary ", "of ",    "range ",    "coder ",   "match "};
  std::mt19937 rng(seed);
  Bytes text;
  while (text.size() < size) {
    const char* word = kWords[rng() % 10];
    text.insert(text.end(), word, word + strlen(word));
  }
  text.resize(size);
  return text;
}

void ExpectRoundTrip(const Bytes& data, LzmaDecoder* decoder) {
  std::vector<StoredBlock> blocks = LzmaCutEntries({data})[0];
  LzmaBeginPackage(decoder);
  ASSERT_EQ(blocks.size(), (data.size() + kBlockSize - 1) / kBlockSize);
  for (const StoredBlock& block : blocks) ASSERT_LE(block.bytes.size(), kBlockSize);
  Bytes out;
  ASSERT_TRUE(DecodeEntry(decoder, blocks, data.size(), &out));
  ASSERT_TRUE(out == data);
}

}  // namespace

TEST(LzmaRoundTrip, SizesAroundTheBlock) {
  DecoderPtr decoder = NewDecoder();
  for (size_t size : {size_t{1}, size_t{2}, size_t{4095}, size_t{4096}, size_t{4097},
                      size_t{3 * 4096}, size_t{5 * 4096 + 17}}) {
    SCOPED_TRACE(size);
    ExpectRoundTrip(Text(size, 1), decoder.get());
  }
}
