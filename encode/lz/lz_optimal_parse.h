// The bit-optimal parse of a block. A token's cost depends only on the
// position P it starts at and its length L, never on the offset's value:
//
//   literal           9 bits
//   match of L at P   1 + (2c + 1) + CeilLog2(P) bits, c = floor(log2(L - 1))
//
// and every length from 2 to the longest previous factor at P is available
// there. The least-cost parse is therefore a shortest path over positions,
// which this finds exactly.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kLiteralBits = 9;

// c of the length code: floor(log2(length - 1)); length >= 2.
inline int32_t LengthClass(int32_t length) {
  return 31 - __builtin_clz(static_cast<uint32_t>(length - 1));
}

// The offset field's width at P >= 1: CeilLog2(P).
inline int32_t OffsetBits(int32_t p) {
  return p <= 1 ? 0 : 32 - __builtin_clz(static_cast<uint32_t>(p - 1));
}

inline int32_t MatchBits(int32_t p, int32_t length) {
  return 2 + 2 * LengthClass(length) + OffsetBits(p);
}

// The number of int32_t of scratch FindOptimalParse needs.
size_t OptimalParseScratchCount(int32_t n);

// `longest[P]` is the longest previous factor at P (lz_match_finder.h).
// Finds a parse of n bytes with the least total bit count and returns that
// count; from[Q] for Q in [1, n] is where the parse's token ending at Q
// starts: Q - 1 for a literal, less for a match. Ties are broken the same way
// on every run: the literal first, then the shorter length class, then the
// later start. Linear in n times the number of length classes.
uint32_t FindOptimalParse(const int32_t* longest, int32_t n, int32_t* from, int32_t* scratch);
