// The method-2 decoder on arbitrary blocks, carried from block to block and
// entry to entry as the worker carries it. Each block is a record:
//
//   flags:8 (bit 0 coded, bit 1 starts an entry), outputLength - 1:12 in
//   2 bytes, storedLength:16 (cut to what is left, at most 4096), stored bytes
//
// Buffers are exactly as long as the lengths say, so AddressSanitizer sees
// any read or write past them. A block decoded twice from the same state
// must give the same bytes (no read of uninitialised dictionary bytes
// changes the outcome).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decode/lzma_decode.h"

namespace {

LzmaDecoder* Decoder(int which) {
  static LzmaDecoder* decoders[2] = {static_cast<LzmaDecoder*>(malloc(sizeof(LzmaDecoder))),
                                     static_cast<LzmaDecoder*>(malloc(sizeof(LzmaDecoder)))};
  return decoders[which];
}

// The dictionary bytes the previous input may have written, to clear.
size_t g_written = kLzmaDictionarySize;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LzmaDecoder* first = Decoder(0);
  LzmaDecoder* second = Decoder(1);
  // The second decoder's dictionary starts with other bytes: a decoder that
  // read a byte it never wrote would give a different output.
  memset(first->dictionary, 0x00, g_written);
  memset(second->dictionary, 0xA5, g_written);
  uint64_t produced = 0;
  LzmaBeginPackage(first);
  LzmaBeginPackage(second);
  bool usable = false;
  size_t at = 0;
  while (size - at >= 5) {
    uint8_t flags = data[at];
    uint32_t outputLength = ((data[at + 1] | data[at + 2] << 8) & 0xFFF) + 1;
    uint32_t storedLength = data[at + 3] | data[at + 4] << 8;
    at += 5;
    if (storedLength > size - at) storedLength = static_cast<uint32_t>(size - at);
    if (storedLength > kBlockSize) storedLength = kBlockSize;
    std::vector<uint8_t> stored(data + at, data + at + storedLength);
    at += storedLength;
    if (flags & 2) {
      LzmaBeginEntry(first);
      LzmaBeginEntry(second);
      usable = true;
    }
    if (!usable) continue;
    std::vector<uint8_t> a(outputLength), b(outputLength, 0xFF);
    bool coded = flags & 1;
    int ra = LzmaDecodeBlock(first, a.data(), outputLength, stored.data(), storedLength, coded);
    int rb = LzmaDecodeBlock(second, b.data(), outputLength, stored.data(), storedLength, coded);
    if (ra != rb || (ra && a != b)) abort();
    usable = ra != 0;
    produced += outputLength;
  }
  g_written = produced < kLzmaDictionarySize ? produced : kLzmaDictionarySize;
  return 0;
}
