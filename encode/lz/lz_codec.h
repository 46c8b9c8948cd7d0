// The block codecs as the encoders see them: a coder and its decoder in
// one object. Method 1's code is described with its decoder.
#pragma once

#include <cstdint>

#include "decode/lz_decode.h"

class CBlockCodec {
 public:
  virtual ~CBlockCodec() = default;
  // Codes `length` bytes into `destination`. Returns the coded byte count, or
  // 0 when the coded form would take more than `capacity` bytes.
  virtual uint32_t Compress(const uint8_t* source, uint32_t length, uint8_t* destination,
                            uint32_t capacity) = 0;
  // Decodes exactly `outputLength` bytes from `inputLength` stored bytes.
  // Returns 1 on success, 0 when the stream is refused.
  virtual int Decompress(uint8_t* output, uint32_t outputLength, const uint8_t* input,
                         uint32_t inputLength) = 0;
};

class CLzCodec final : public CBlockCodec {
 public:
  // Bit-optimal: the coded form has the least bit count any valid stream of
  // this code can have for the block.
  uint32_t Compress(const uint8_t* source, uint32_t length, uint8_t* destination,
                    uint32_t capacity) override;

  // LzDecompress, whose contract it keeps.
  int Decompress(uint8_t* output, uint32_t outputLength, const uint8_t* input,
                 uint32_t inputLength) override {
    return LzDecompress(output, outputLength, input, inputLength);
  }
};
