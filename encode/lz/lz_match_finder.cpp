// Among the suffixes starting before P, the one sharing the longest prefix
// with P's suffix is one of its two neighbours in suffix-array order that
// start before it: the nearest such on the left (previous smaller value of
// the suffix array) or on the right (next smaller value). One scan of the
// suffix array with a stack finds both for every P. Their common prefixes are
// then measured in text order: if P - 1 shares l bytes with its left
// neighbour S, then P shares l - 1 with S + 1, which lies on P's left and
// before P, so P's own left neighbour shares at least l - 1; likewise on the
// right. Each measurement starts one short of the last, and the whole pass
// compares O(n) bytes.
#include "encode/lz/lz_match_finder.h"
#include "encode/lz/cpu_dispatch.h"

#include <cstring>

#include "encode/lz/suffix_array.h"

namespace {

// The common prefix of the suffixes at a and b, known to be at least `known`.
inline int32_t ExtendCommonPrefix(const uint8_t* block, int32_t n, int32_t a, int32_t b,
                                  int32_t known) {
  int32_t limit = n - (a > b ? a : b);
  int32_t l = known;
  while (l + 8 <= limit) {
    uint64_t x, y;
    memcpy(&x, block + a + l, 8);
    memcpy(&y, block + b + l, 8);
    if (x != y) return l + (__builtin_ctzll(x ^ y) >> 3);  // little-endian: first byte lowest
    l += 8;
  }
  while (l < limit && block[a + l] == block[b + l]) l++;
  return l;
}

}  // namespace

size_t MatchFinderScratchCount(int32_t n) {
  size_t neighbours = 2 * static_cast<size_t>(n);  // left and right, by text position
  size_t sa = static_cast<size_t>(n);
  size_t sorting = SuffixArrayScratchCount(n);
  size_t stack = static_cast<size_t>(n);
  return neighbours + sa + (sorting > stack ? sorting : stack);
}

QW_HOT_CLONES void FindLongestPreviousFactors(const uint8_t* block, int32_t n, int32_t* longest,
                                              int32_t* source, int32_t* scratch) {
  int32_t* left = scratch;  // by text position: the neighbour on the left, or -1
  int32_t* right = left + n;
  int32_t* sa = right + n;
  int32_t* rest = sa + n;
  BuildSuffixArray(block, n, sa, rest);

  // Text positions on the stack increase from bottom to top.
  int32_t* stack = rest;
  int32_t top = 0;
  for (int32_t i = 0; i < n; i++) {
    int32_t position = sa[i];
    while (top > 0 && stack[top - 1] > position) right[stack[--top]] = position;
    left[position] = top > 0 ? stack[top - 1] : -1;
    stack[top++] = position;
  }
  while (top > 0) right[stack[--top]] = -1;

  int32_t leftCommon = 0, rightCommon = 0;
  for (int32_t p = 0; p < n; p++) {
    leftCommon =
        left[p] < 0 ? 0
                    : ExtendCommonPrefix(block, n, left[p], p, leftCommon > 0 ? leftCommon - 1 : 0);
    rightCommon = right[p] < 0 ? 0
                               : ExtendCommonPrefix(block, n, right[p], p,
                                                    rightCommon > 0 ? rightCommon - 1 : 0);
    bool useLeft = leftCommon >= rightCommon;
    longest[p] = useLeft ? leftCommon : rightCommon;
    source[p] = useLeft ? left[p] : right[p];
  }
}
