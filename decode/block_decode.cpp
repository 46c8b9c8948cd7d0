#include "decode/block_decode.h"

#include <cstring>

#include "decode/lz_decode.h"

int DecodeBlock(uint8_t* destination, uint32_t outputLength, const uint8_t* stored,
                uint32_t storedLength, uint16_t method) {
  switch (method) {
    case kMethodCopy:
      if (storedLength < outputLength) return 0;
      memcpy(destination, stored, outputLength);
      return 1;
    case kMethodLz:
      return LzDecompress(destination, outputLength, stored, storedLength);
    default:
      // No writer emits another method; copying nothing would write stale bytes.
      return 0;
  }
}
