// Method 1, the block code, and its decoder:
//
//   literal = 0, byte:8
//   match   = 1, length code, offset:CeilLog2(P)
//   length code of L (2..65536): c = floor(log2(L - 1)) one-bits, a zero-bit,
//                                then L - 1 - 2^c in c bits
//
// Bits are read from the most significant bit of each byte down. P is the
// number of bytes produced so far in the block; the offset is an absolute
// position in the block's output (not a distance), and a match copies byte by
// byte, so it may overlap the bytes it is writing. There is no header and no
// end marker: decoding stops when the requested output length is reached.
#pragma once

#include <cstdint>

constexpr uint32_t kMaxLzOutput = 65536;

// The least e >= 0 with 2^e >= a; -1 for a <= 0. The offset width at P.
int CeilLog2(int32_t a);

// Decodes exactly `outputLength` bytes from `inputLength` stored bytes.
// Returns 1 on success; refuses (returns 0), writing no byte outside
// output[0, outputLength): an output length above 65536; a stream that
// needs bits beyond its inputLength bytes; a match before the first
// literal; an offset at or beyond P; a match running past the output
// length; a length code with more than 15 one-bits. Reads no byte outside
// input[0, inputLength) and none of output[P, outputLength) before writing
// it.
int LzDecompress(uint8_t* output, uint32_t outputLength, const uint8_t* input,
                 uint32_t inputLength);
