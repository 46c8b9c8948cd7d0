// The LZ encoder: longest previous factors, the bit-optimal parse over them,
// then the tokens written most significant bit first. It allocates one
// scratch area per call (malloc, so a failure is a return value, not an
// exception) and keeps nothing between calls.
#include <cstdlib>
#include <cstring>

#include "encode/lz/lz_codec.h"
#include "encode/lz/lz_encoder.h"
#include "encode/lz/lz_match_finder.h"
#include "encode/lz/lz_optimal_parse.h"

namespace {

// Bits gather from the top of `pending`; whole bytes leave as they fill.
struct BitWriter {
  uint8_t* out;
  uint64_t pending;
  unsigned pendingBits;  // < 8 between calls

  // value < 2^count, count <= 32.
  inline void Put(uint32_t value, unsigned count) {
    if (count == 0) return;
    pending |= static_cast<uint64_t>(value) << (64 - pendingBits - count);
    pendingBits += count;
    while (pendingBits >= 8) {
      *out++ = static_cast<uint8_t>(pending >> 56);
      pending <<= 8;
      pendingBits -= 8;
    }
  }

  // The last byte's unused bits are zero padding.
  inline void Flush() {
    if (pendingBits) *out++ = static_cast<uint8_t>(pending >> 56);
  }
};

// The flag, c ones, a zero and the c low bits of length - 1.
inline void PutMatch(BitWriter* writer, int32_t p, int32_t length, int32_t offset) {
  unsigned c = static_cast<unsigned>(LengthClass(length));
  uint32_t ones = (2u << c) - 1;  // the flag and the c ones
  uint32_t low = static_cast<uint32_t>(length - 1) - (1u << c);
  writer->Put(ones, c + 1);
  writer->Put(low, c + 1);  // the zero, then the c low bits
  writer->Put(static_cast<uint32_t>(offset), static_cast<unsigned>(OffsetBits(p)));
}

struct Scratch {
  int32_t* longest;
  int32_t* source;
  int32_t* from;
  int32_t* shared;  // the match finder's, then the parser's
  void* block;
};

bool AllocateScratch(int32_t n, Scratch* scratch) {
  size_t finder = MatchFinderScratchCount(n);
  size_t parser = OptimalParseScratchCount(n);
  size_t shared = finder > parser ? finder : parser;
  size_t count = 3 * (static_cast<size_t>(n) + 1) + shared;
  int32_t* base = static_cast<int32_t*>(malloc(count * sizeof(int32_t)));
  if (!base) return false;
  scratch->block = base;
  scratch->longest = base;
  scratch->source = base + n + 1;
  scratch->from = base + 2 * (n + 1);
  scratch->shared = base + 3 * (n + 1);
  return true;
}

// Runs the match finder and the parser; returns the parse's bit count, or
// -1 when scratch cannot be had.
int64_t Parse(const uint8_t* source, int32_t n, Scratch* scratch) {
  if (!AllocateScratch(n, scratch)) return -1;
  FindLongestPreviousFactors(source, n, scratch->longest, scratch->source, scratch->shared);
  return FindOptimalParse(scratch->longest, n, scratch->from, scratch->shared);
}

// Writes the parse's tokens; `from` chains the tokens backwards from n,
// so the chain is first turned around into `next` (reusing `longest`).
void WriteTokens(const uint8_t* source, int32_t n, const Scratch& scratch, uint8_t* destination) {
  int32_t* next = scratch.longest;
  for (int32_t q = n; q > 0; q = scratch.from[q]) next[scratch.from[q]] = q;
  BitWriter writer = {destination, 0, 0};
  for (int32_t p = 0; p < n; p = next[p]) {
    int32_t length = next[p] - p;
    if (length == 1) {
      writer.Put(source[p], kLiteralBits);  // the zero flag, then the byte
    } else {
      PutMatch(&writer, p, length, scratch.source[p]);
    }
  }
  writer.Flush();
}

}  // namespace

int64_t LzOptimalBitCount(const uint8_t* source, uint32_t length) {
  if (length == 0) return 0;
  if (length > kMaxLzOutput) return -1;
  Scratch scratch;
  int64_t bits = Parse(source, static_cast<int32_t>(length), &scratch);
  if (bits >= 0) free(scratch.block);
  return bits;
}

uint32_t CLzCodec::Compress(const uint8_t* source, uint32_t length, uint8_t* destination,
                            uint32_t capacity) {
  if (length == 0 || length > kMaxLzOutput) return 0;
  int32_t n = static_cast<int32_t>(length);
  Scratch scratch;
  int64_t bits = Parse(source, n, &scratch);
  if (bits < 0) return 0;
  uint32_t bytes = static_cast<uint32_t>((bits + 7) / 8);
  if (bytes <= capacity) WriteTokens(source, n, scratch, destination);
  free(scratch.block);
  return bytes <= capacity ? bytes : 0;
}
