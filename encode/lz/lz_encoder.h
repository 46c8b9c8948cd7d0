// What the LZ encoder can tell besides the coded bytes (lz_codec.h has
// CLzCodec::Compress itself).
#pragma once

#include <cstdint>

// The least bit count any valid stream of the LZ code needs for these
// `length` bytes, which is what CLzCodec::Compress emits before padding to
// whole bytes. 0 for no bytes; -1 above 65536 bytes or without memory.
int64_t LzOptimalBitCount(const uint8_t* source, uint32_t length);
