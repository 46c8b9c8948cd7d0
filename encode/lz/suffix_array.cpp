// Induced sorting (SA-IS) with a virtual sentinel: position n holds a
// character below every other and is never stored. Suffixes are typed S
// (smaller than the suffix after them) or L; an LMS position is an S position
// behind an L position. Once the LMS suffixes are in order, two scans of the
// suffix array place every other suffix ("induce" them).
//
// The LMS suffixes themselves are put in order one of two ways. Ordinary
// blocks share short prefixes only, so their LMS suffixes are sorted directly
// by their first eight bytes and, where those tie, by comparing further.
// Repetitive blocks would make that slow, so past a fixed budget of compared
// words the direct sort gives up and the classic route runs instead: induce
// the order of the LMS substrings, name them, and sort the reduced string of
// names recursively. Either way the time stays linear in the block length.
#include "encode/lz/suffix_array.h"
#include "encode/lz/cpu_dispatch.h"

#include <algorithm>
#include <cstring>

namespace {

// A bump allocator over the caller's scratch. Pieces start 8-byte aligned,
// since some hold 64-bit values.
struct Scratch {
  int32_t* next;

  static Scratch AlignedFrom(int32_t* scratch) {
    uintptr_t at = (reinterpret_cast<uintptr_t>(scratch) + 7) & ~static_cast<uintptr_t>(7);
    return {reinterpret_cast<int32_t*>(at)};
  }

  int32_t* Take(size_t count) {
    int32_t* taken = next;
    next += (count + 1) & ~static_cast<size_t>(1);
    return taken;
  }
};

// Per position: bit 0 set for an S suffix, bit 1 for an LMS position.
constexpr uint8_t kTypeS = 1;
constexpr uint8_t kTypeLms = 2;

// The direct sort's budget: keys it may build per byte of the block, and the
// depth past which a group is taken for a repetition it should not chase.
constexpr int64_t kDirectSortBudgetPerByte = 2;
constexpr int32_t kDirectSortMaxDepth = 256;

template <typename Char>
void CountCharacters(const Char* s, int32_t n, int32_t k, int32_t* counts) {
  memset(counts, 0, sizeof(int32_t) * k);
  for (int32_t i = 0; i < n; i++) counts[s[i]]++;
}

void FindBuckets(const int32_t* counts, int32_t k, int32_t* bucket, bool ends) {
  int32_t sum = 0;
  for (int32_t c = 0; c < k; c++) {
    sum += counts[c];
    bucket[c] = ends ? sum : sum - counts[c];
  }
}

// Types every position and lists the LMS positions in text order; returns
// their count. Most loops in this file are free of branches on the data:
// their conditions are close to random, and a mispredicted branch costs more
// than the work it would skip.
template <typename Char>
int32_t ClassifySuffixes(const Char* s, int32_t n, uint8_t* type, int32_t* lms) {
  uint8_t nextIsS = 0;  // position n - 1 is L: the sentinel behind it is smaller
  for (int32_t i = n - 2; i >= 0; i--) {
    uint8_t isS = (s[i] < s[i + 1]) | ((s[i] == s[i + 1]) & nextIsS);
    type[i + 1] = static_cast<uint8_t>(nextIsS | ((nextIsS & (isS ^ 1)) ? kTypeLms : 0));
    nextIsS = isS;
  }
  type[0] = nextIsS;
  int32_t count = 0;
  for (int32_t i = 1; i < n; i++) {
    lms[count] = i;
    count += (type[i] & kTypeLms) ? 1 : 0;
  }
  return count;
}

// An entry that induces nothing writes to a dummy instead: a conditional
// expression here compiles to a branch, the mask does not.
inline int32_t* Select(int32_t condition, int32_t* yes, int32_t* no) {
  uintptr_t mask = 0 - static_cast<uintptr_t>(condition);
  return reinterpret_cast<int32_t*>((reinterpret_cast<uintptr_t>(yes) & mask) |
                                    (reinterpret_cast<uintptr_t>(no) & ~mask));
}

// Places every L suffix from the S suffixes already in `sa`, scanning left to
// right. The sentinel sorts first, so the L suffix n - 1 leads its bucket.
template <typename Char>
void InduceL(const Char* s, const uint8_t* type, int32_t* sa, int32_t n, const int32_t* counts,
             int32_t k, int32_t* bucket) {
  FindBuckets(counts, k, bucket, false);
  sa[bucket[s[n - 1]]++] = n - 1;
  int32_t unused;
  for (int32_t i = 0; i < n; i++) {
    int32_t j = sa[i] - 1;
    int32_t at = j < 0 ? 0 : j;
    int32_t induces = (j >= 0) & !(type[at] & kTypeS);
    int32_t c = s[at];
    int32_t slot = bucket[c];
    *Select(induces, sa + slot, &unused) = j;
    bucket[c] = slot + induces;
  }
}

// Places every S suffix from the L suffixes, scanning right to left.
template <typename Char>
void InduceS(const Char* s, const uint8_t* type, int32_t* sa, int32_t n, const int32_t* counts,
             int32_t k, int32_t* bucket) {
  FindBuckets(counts, k, bucket, true);
  int32_t unused;
  for (int32_t i = n - 1; i >= 0; i--) {
    int32_t j = sa[i] - 1;
    int32_t at = j < 0 ? 0 : j;
    int32_t induces = (j >= 0) & type[at] & kTypeS;
    int32_t c = s[at];
    int32_t slot = bucket[c] - induces;
    *Select(induces, sa + slot, &unused) = j;
    bucket[c] = slot;
  }
}

// sa[0..n1) holds the LMS suffixes in order; completes the suffix array.
template <typename Char>
void InduceFromLms(const Char* s, const uint8_t* type, int32_t* sa, int32_t n, int32_t n1,
                   const int32_t* counts, int32_t k, int32_t* bucket) {
  for (int32_t i = n1; i < n; i++) sa[i] = -1;
  FindBuckets(counts, k, bucket, true);
  for (int32_t i = n1 - 1; i >= 0; i--) {
    int32_t j = sa[i];
    sa[i] = -1;
    sa[--bucket[s[j]]] = j;
  }
  InduceL(s, type, sa, n, counts, k, bucket);
  InduceS(s, type, sa, n, counts, k, bucket);
}

// Two LMS substrings (each up to and including the next LMS position) of the
// same length and the same characters are equal, types included. One that
// reaches the sentinel equals no other.
template <typename Char>
bool SameLmsSubstring(const Char* s, int32_t n, int32_t a, int32_t b, int32_t length) {
  if (a + length >= n || b + length >= n) return false;
  for (int32_t d = 0; d <= length; d++)
    if (s[a + d] != s[b + d]) return false;
  return true;
}

template <typename Char>
void SortSuffixes(const Char* s, int32_t* sa, int32_t n, int32_t k, Scratch* scratch);

// The classic route: leaves the LMS suffixes, in order, in sa[0..n1).
template <typename Char>
void SortLmsByInduction(const Char* s, const uint8_t* type, const int32_t* lms, int32_t* sa,
                        int32_t n, int32_t n1, const int32_t* counts, int32_t k, int32_t* bucket,
                        Scratch* scratch) {
  // Sort the LMS substrings.
  for (int32_t i = 0; i < n; i++) sa[i] = -1;
  FindBuckets(counts, k, bucket, true);
  for (int32_t t = 0; t < n1; t++) sa[--bucket[s[lms[t]]]] = lms[t];
  InduceL(s, type, sa, n, counts, k, bucket);
  InduceS(s, type, sa, n, counts, k, bucket);

  // Gather them, sorted, at the front. LMS positions are at least two apart,
  // so sa[n1 + pos / 2] gives each a slot of its own: first for the length of
  // its LMS substring (up to the next LMS position, or n), then its name.
  for (int32_t i = 0, gathered = 0; i < n; i++) {
    int32_t pos = sa[i];
    sa[gathered] = pos;
    gathered += type[pos] >> 1;
  }
  for (int32_t i = n1; i < n; i++) sa[i] = -1;
  for (int32_t t = 0; t < n1; t++) sa[n1 + lms[t] / 2] = (t + 1 < n1 ? lms[t + 1] : n) - lms[t];
  int32_t names = 0;
  for (int32_t i = 0, previous = -1, previousLength = 0; i < n1; i++) {
    int32_t pos = sa[i];
    int32_t length = sa[n1 + pos / 2];
    if (previous < 0 || length != previousLength || !SameLmsSubstring(s, n, pos, previous, length))
      names++;
    previous = pos;
    previousLength = length;
    sa[n1 + pos / 2] = names - 1;
  }
  for (int32_t i = n - 1, j = n - 1; i >= n1; i--) {
    int32_t name = sa[i];
    sa[j] = name;
    j -= name >= 0;
  }

  // Sort the reduced string of names (its own sentinel is virtual too), and
  // turn its sorted suffixes back into LMS positions.
  int32_t* reduced = sa + n - n1;
  if (names < n1) {
    SortSuffixes<int32_t>(reduced, sa, n1, names, scratch);
  } else {
    for (int32_t i = 0; i < n1; i++) sa[reduced[i]] = i;
  }
  for (int32_t i = 0; i < n1; i++) sa[i] = lms[sa[i]];
}

// Scratch of one level: n/4 + 1 values of types, n/2 + 1 of LMS positions,
// k counts and k buckets.
template <typename Char>
void SortSuffixes(const Char* s, int32_t* sa, int32_t n, int32_t k, Scratch* scratch) {
  if (n == 0) return;
  if (n == 1) {
    sa[0] = 0;
    return;
  }
  int32_t* saved = scratch->next;
  uint8_t* type = reinterpret_cast<uint8_t*>(scratch->Take(n / 4 + 1));
  int32_t* lms = scratch->Take(n / 2 + 1);
  int32_t* counts = scratch->Take(k);
  int32_t* bucket = scratch->Take(k);
  int32_t n1 = ClassifySuffixes(s, n, type, lms);
  CountCharacters(s, n, k, counts);
  SortLmsByInduction(s, type, lms, sa, n, n1, counts, k, bucket, scratch);
  InduceFromLms(s, type, sa, n, n1, counts, k, bucket);
  scratch->next = saved;
}

// The first eight bytes at p, most significant first, zero past the end.
inline uint64_t PrefixWord(const uint8_t* s, int32_t n, int32_t p) {
  uint64_t word;
  if (p + 8 <= n) {
    memcpy(&word, s + p, 8);
    return __builtin_bswap64(word);
  }
  word = 0;
  for (int32_t i = 0; i < 8; i++) word = word << 8 | (p + i < n ? s[p + i] : 0);
  return word;
}

// A member of a group of LMS suffixes that agree on their first `depth`
// bytes, keyed by the next eight (zero past the end) and by how many of
// those it has. Where two words differ, they differ at a byte both suffixes
// have, or where the shorter one has run out and reads zero against a
// non-zero byte, so the word order is the suffix order. Where they agree and
// one suffix ends among those bytes, it is a prefix of the other and smaller:
// fewer bytes left sorts first. Only members with eight bytes or more left
// can still tie.
struct GroupKey {
  uint64_t word;
  int32_t left;  // bytes left from depth on, at most 8 (negative: ended before)
  int32_t position;
};

inline bool KeyLess(const GroupKey& a, const GroupKey& b) {
  return a.word != b.word ? a.word < b.word : a.left < b.left;
}

inline bool KeyTies(const GroupKey& a, const GroupKey& b) {
  return a.word == b.word && a.left == 8 && b.left == 8;
}

// Sorts `members` (positions of suffixes that agree on `depth` bytes), eight
// bytes further at each level. `keys` has room for `count`. Returns false
// when the budget or the depth runs out.
bool SortGroup(const uint8_t* s, int32_t n, int32_t* members, int32_t count, int32_t depth,
               GroupKey* keys, int64_t* budget) {
  *budget -= count;
  if (*budget < 0 || depth > kDirectSortMaxDepth) return false;
  for (int32_t i = 0; i < count; i++) {
    int32_t p = members[i];
    int32_t left = n - p - depth;
    keys[i] = {PrefixWord(s, n, p + depth), left < 8 ? left : 8, p};
  }
  if (count <= 16) {
    for (int32_t i = 1; i < count; i++) {
      GroupKey moving = keys[i];
      int32_t j = i;
      for (; j > 0 && KeyLess(moving, keys[j - 1]); j--) keys[j] = keys[j - 1];
      keys[j] = moving;
    }
  } else {
    std::sort(keys, keys + count, KeyLess);
  }
  for (int32_t i = 0; i < count; i++) members[i] = keys[i].position;
  for (int32_t begin = 0, end; begin < count; begin = end) {
    GroupKey first = keys[begin];
    for (end = begin + 1; end < count && KeyTies(first, keys[end]);) end++;
    if (end - begin > 1 &&
        !SortGroup(s, n, members + begin, end - begin, depth + 8, keys + begin, budget))
      return false;
  }
  return true;
}

// Sorts the LMS suffixes straight from their bytes into sa[0..n1): by their
// first six bytes (a radix sort of words that carry the position in their
// low 16 bits), then each run of equal prefixes by the next eight bytes,
// and so on. Returns false, leaving sa undefined, when the budget or the depth
// runs out.
bool SortLmsDirectly(const uint8_t* s, int32_t n, const int32_t* lms, int32_t n1, int32_t* sa,
                     Scratch* scratch) {
  if (n1 == 0) return true;
  uint64_t* words = reinterpret_cast<uint64_t*>(scratch->Take(2 * static_cast<size_t>(n1)));
  uint64_t* spare = reinterpret_cast<uint64_t*>(scratch->Take(2 * static_cast<size_t>(n1)));
  GroupKey* groupKeys = reinterpret_cast<GroupKey*>(scratch->Take(4 * static_cast<size_t>(n1)));
  int32_t* counts = scratch->Take(6 * 256);
  memset(counts, 0, sizeof(int32_t) * 6 * 256);
  for (int32_t t = 0; t < n1; t++) {
    uint64_t word = (PrefixWord(s, n, lms[t]) & ~uint64_t{0xFFFF}) | static_cast<uint64_t>(lms[t]);
    words[t] = word;
    for (int32_t digit = 0; digit < 6; digit++)
      counts[digit * 256 + ((word >> (16 + 8 * digit)) & 255)]++;
  }
  for (int32_t digit = 0; digit < 6; digit++) {
    int32_t* count = counts + digit * 256;
    int32_t shift = 16 + 8 * digit;
    if (count[(words[0] >> shift) & 255] == n1) continue;  // every word has this byte
    for (int32_t c = 0, sum = 0; c < 256; c++) {
      int32_t here = count[c];
      count[c] = sum;
      sum += here;
    }
    for (int32_t t = 0; t < n1; t++) spare[count[(words[t] >> shift) & 255]++] = words[t];
    std::swap(words, spare);
  }
  for (int32_t t = 0; t < n1; t++) sa[t] = static_cast<int32_t>(words[t] & 0xFFFF);

  int64_t budget = kDirectSortBudgetPerByte * n;
  for (int32_t begin = 0, end; begin < n1; begin = end) {
    uint64_t prefix = words[begin] >> 16;
    for (end = begin + 1; end < n1 && words[end] >> 16 == prefix;) end++;
    if (end - begin > 1 && !SortGroup(s, n, sa + begin, end - begin, 6, groupKeys, &budget))
      return false;
  }
  return true;
}

}  // namespace

size_t SuffixArrayScratchCount(int32_t n) {
  // The top level: n/4 + 1 values of types, n/2 + 1 of LMS positions, 512
  // counts and buckets. Then either the direct sort: 8 values for each of
  // at most n/2 LMS positions and 1536 counts; or the deeper levels, each of
  // length m at most half the one above, taking m/4 + m/2 + 2 values and at
  // most 2m counts and buckets (a level recurses only with fewer names than
  // positions): under 11n/4 in all. Each piece may round up by one value.
  size_t length = static_cast<size_t>(n);
  size_t top = length / 4 + length / 2 + 512 + 8;
  size_t direct = 4 * length + 1536 + 8;
  size_t deeper = 11 * length / 4 + 16 * 8;
  return 1 + top + (direct > deeper ? direct : deeper);  // 1: for alignment
}

QW_HOT_CLONES void BuildSuffixArray(const uint8_t* text, int32_t n, int32_t* sa, int32_t* scratch) {
  if (n <= 1) {
    if (n == 1) sa[0] = 0;
    return;
  }
  Scratch arena = Scratch::AlignedFrom(scratch);
  uint8_t* type = reinterpret_cast<uint8_t*>(arena.Take(n / 4 + 1));
  int32_t* lms = arena.Take(n / 2 + 1);
  int32_t* counts = arena.Take(256);
  int32_t* bucket = arena.Take(256);
  int32_t n1 = ClassifySuffixes(text, n, type, lms);
  CountCharacters(text, n, 256, counts);
  Scratch attempt = arena;
  if (!SortLmsDirectly(text, n, lms, n1, sa, &attempt))
    SortLmsByInduction(text, type, lms, sa, n, n1, counts, 256, bucket, &arena);
  InduceFromLms(text, type, sa, n, n1, counts, 256, bucket);
}
