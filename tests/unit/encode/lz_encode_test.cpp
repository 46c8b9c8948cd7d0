// The encoder against searches that share none of its machinery: suffix
// arrays against sorted suffixes, longest previous factors against direct
// comparison, and the parse's bit count against a shortest path over every
// token that reproduces the block (found by simulating the copy), down to
// an exhaustive run over every short string of a small alphabet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode/block_decode.h"
#include "encode/lz/lz_codec.h"
#include "encode/lz/lz_encoder.h"
#include "encode/lz/lz_match_finder.h"
#include "encode/lz/lz_optimal_parse.h"
#include "encode/lz/suffix_array.h"
#include "encode/package_writer.h"
#include "tests/unit/bit_stream.h"
#include "tests/unit/sample_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sample {
  std::string name;
  Bytes data;
};

Bytes Periodic(size_t n, size_t period, uint32_t seed) {
  Bytes unit = RandomBytes(period, 256, seed);
  Bytes out(n);
  for (size_t i = 0; i < n; i++) out[i] = unit[i % period];
  return out;
}

// Fibonacci and Thue-Morse words: many long, overlapping repeats.
Bytes Fibonacci(size_t n) {
  std::string a = "a", b = "ab";
  while (b.size() < n) {
    std::string next = b + a;
    a = b;
    b = next;
  }
  return Bytes(b.begin(), b.begin() + n);
}

Bytes ThueMorse(size_t n) {
  Bytes out(n);
  for (size_t i = 0; i < n; i++) out[i] = static_cast<uint8_t>('a' + __builtin_parity(i));
  return out;
}

// Random runs of random lengths, and a long run broken by one odd byte.
Bytes Runs(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < n) out.insert(out.end(), 1 + rng() % 40, static_cast<uint8_t>(rng() % 3));
  out.resize(n);
  return out;
}

std::vector<Sample> Samples(size_t n) {
  Bytes brokenRun(n, 'z');
  if (n > 2) brokenRun[n / 2] = 'y';
  return {
      {"one byte repeated", Bytes(n, 0)},
      {"broken run", brokenRun},
      {"period 2", Periodic(n, 2, 1)},
      {"period 3", Periodic(n, 3, 2)},
      {"period 7", Periodic(n, 7, 3)},
      {"period 100", Periodic(n, 100, 4)},
      {"binary random", RandomBytes(n, 2, 5)},
      {"four letters", RandomBytes(n, 4, 6)},
      {"random bytes", RandomBytes(n, 256, 7)},
      {"fibonacci", Fibonacci(n)},
      {"thue-morse", ThueMorse(n)},
      {"text", TextLike(n, 8)},
      {"runs", Runs(n, 9)},
  };
}

// The longest previous factor of every position, with the Z-function of
// data[P, n) + separator + data: quadratic, and nothing like a suffix array.
std::vector<int32_t> DirectLongestPreviousFactors(const Bytes& data) {
  int32_t n = static_cast<int32_t>(data.size());
  std::vector<int32_t> longest(n, 0);
  for (int32_t p = 1; p < n; p++) {
    std::vector<int> v(data.begin() + p, data.end());
    v.push_back(-1);
    v.insert(v.end(), data.begin(), data.end());
    int32_t size = static_cast<int32_t>(v.size());
    std::vector<int32_t> z(size, 0);
    for (int32_t i = 1, left = 0, right = 0; i < size; i++) {
      if (i < right) z[i] = std::min(right - i, z[i - left]);
      while (i + z[i] < size && v[z[i]] == v[i + z[i]]) z[i]++;
      if (i + z[i] > right) left = i, right = i + z[i];
    }
    for (int32_t s = 0; s < p; s++) longest[p] = std::max(longest[p], z[n - p + 1 + s]);
  }
  return longest;
}

// Shortest path over every (P, L) with L up to the direct longest factor.
int64_t BitsOverEveryLength(const Bytes& data) {
  int32_t n = static_cast<int32_t>(data.size());
  std::vector<int32_t> longest = DirectLongestPreviousFactors(data);
  std::vector<int64_t> dist(n + 1, INT64_MAX);
  dist[0] = 0;
  for (int32_t p = 0; p < n; p++) {
    dist[p + 1] = std::min(dist[p + 1], dist[p] + 9);
    for (int32_t l = 2; l <= longest[p]; l++)
      dist[p + l] = std::min(dist[p + l], dist[p] + MatchBits(p, l));
  }
  return dist[n];
}

Bytes Compress(const Bytes& data, uint32_t capacity, uint32_t* length) {
  Bytes out(capacity + 8, 0xA5);
  CLzCodec codec;
  *length = codec.Compress(data.data(), static_cast<uint32_t>(data.size()), out.data(), capacity);
  return out;
}

}  // namespace

TEST(SuffixArray, SortsSuffixes) {
  std::vector<Sample> samples;
  for (size_t n : {1u, 2u, 5u, 64u, 1000u, 4096u})
    for (Sample& sample : Samples(n)) samples.push_back(std::move(sample));
  // Long repeats with a twist, so that the direct sort gives up half way.
  Bytes twisted = Periodic(4096, 3, 10);
  twisted[2000] ^= 1;
  samples.push_back({"period 3 with one change", twisted});
  samples.push_back({"random with runs", Runs(4096, 11)});
  for (const Sample& sample : samples) {
    const Bytes& data = sample.data;
    int32_t n = static_cast<int32_t>(data.size());
    std::vector<int32_t> sa(n), scratch(SuffixArrayScratchCount(n));
    BuildSuffixArray(data.data(), n, sa.data(), scratch.data());
    std::vector<int32_t> expected(n);
    for (int32_t i = 0; i < n; i++) expected[i] = i;
    std::sort(expected.begin(), expected.end(), [&](int32_t a, int32_t b) {
      return std::lexicographical_compare(data.begin() + a, data.end(), data.begin() + b,
                                          data.end());
    });
    ASSERT_EQ(sa, expected) << sample.name << ", " << n << " bytes";
  }
}

TEST(LongestPreviousFactor, AgreesWithDirectComparisonAndNamesARealSource) {
  for (size_t n : {1u, 2u, 3u, 17u, 300u, 1000u}) {
    for (const Sample& sample : Samples(n)) {
      const Bytes& data = sample.data;
      int32_t size = static_cast<int32_t>(n);
      std::vector<int32_t> longest(n), source(n), scratch(MatchFinderScratchCount(size));
      FindLongestPreviousFactors(data.data(), size, longest.data(), source.data(), scratch.data());
      ASSERT_EQ(longest, DirectLongestPreviousFactors(data)) << sample.name << ", " << n;
      for (int32_t p = 0; p < size; p++) {
        if (longest[p] == 0) continue;
        ASSERT_LT(source[p], p) << sample.name << " at " << p;
        ASSERT_EQ(memcmp(&data[source[p]], &data[p], longest[p]), 0) << sample.name << " at " << p;
      }
    }
  }
}

TEST(LzOptimalParse, EqualsTheSearchOverEveryTokenOnEveryShortString) {
  // Every string of up to 12 letters over {a, b} and up to 8 over {a, b, c}.
  struct Alphabet {
    unsigned letters;
    size_t maxLength;
  };
  for (Alphabet alphabet : {Alphabet{2, 12}, Alphabet{3, 8}}) {
    for (size_t n = 1; n <= alphabet.maxLength; n++) {
      size_t count = 1;
      for (size_t i = 0; i < n; i++) count *= alphabet.letters;
      for (size_t code = 0; code < count; code++) {
        Bytes data(n);
        for (size_t i = 0, rest = code; i < n; i++, rest /= alphabet.letters)
          data[i] = static_cast<uint8_t>('a' + rest % alphabet.letters);
        ASSERT_EQ(LzOptimalBitCount(data.data(), static_cast<uint32_t>(n)),
                  BitsOverEveryToken(data))
            << std::string(data.begin(), data.end());
      }
    }
  }
}

TEST(LzOptimalParse, EqualsTheSearchOverEveryTokenOnAdversarialBlocks) {
  for (size_t n : {2u, 3u, 4u, 5u, 9u, 16u, 17u, 33u, 64u, 129u, 300u}) {
    for (const Sample& sample : Samples(n)) {
      ASSERT_EQ(LzOptimalBitCount(sample.data.data(), static_cast<uint32_t>(n)),
                BitsOverEveryToken(sample.data))
          << sample.name << ", " << n << " bytes";
    }
  }
}

TEST(LzOptimalParse, EqualsTheSearchOverEveryLengthOnWholeBlocks) {
  for (size_t n : {4096u}) {
    for (const Sample& sample : Samples(n)) {
      ASSERT_EQ(LzOptimalBitCount(sample.data.data(), static_cast<uint32_t>(n)),
                BitsOverEveryLength(sample.data))
          << sample.name << ", " << n << " bytes";
    }
  }
}

TEST(LzEncode, RoundTripsThroughBothDecodersAtTheOptimalLength) {
  std::vector<Bytes> blocks;
  for (size_t n : {1u, 2u, 3u, 100u, 4095u, 4096u})
    for (const Sample& sample : Samples(n)) blocks.push_back(sample.data);
  blocks.push_back(Bytes(65536, 0x41));  // a single match of 65535: the longest length code
  blocks.push_back(TextLike(65536, 11));
  blocks.push_back(Periodic(65536, 3, 12));  // long repeats: the suffix sort's slow route
  blocks.push_back(RandomBytes(65536, 256, 13));
  for (const Bytes& data : blocks) {
    uint32_t n = static_cast<uint32_t>(data.size());
    uint32_t length = 0;
    Bytes coded = Compress(data, 2 * n + 16, &length);
    int64_t bits = LzOptimalBitCount(data.data(), n);
    ASSERT_EQ(length, (bits + 7) / 8) << n << " bytes";
    coded.resize(length);
    if (bits % 8) {
      EXPECT_EQ(coded.back() & (0xFF >> (bits % 8)), 0) << "padding is zero";
    }

    Bytes decoded(n);
    ASSERT_EQ(DecodeBlock(decoded.data(), n, coded.data(), length, kMethodLz), 1) << n;
    ASSERT_EQ(decoded, data) << n << " bytes";
    Bytes reference;
    ASSERT_TRUE(ReferenceDecode(coded, n, &reference)) << n << " bytes";
    ASSERT_EQ(reference, data);
  }
}

TEST(LzEncode, WritesNothingPastTheCapacityAndRefusesWhatItCannotCode) {
  Bytes data = TextLike(4096, 12);
  uint32_t needed = 0;
  Compress(data, 4096, &needed);
  ASSERT_GT(needed, 0u);

  uint32_t length = 1;
  Bytes out = Compress(data, needed - 1, &length);
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xA5; }));
  Compress(data, needed, &length);
  EXPECT_EQ(length, needed);

  Bytes tooLong(65537, 0);
  EXPECT_EQ(Compress(tooLong, 65537, &length)[0], 0xA5);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(LzOptimalBitCount(tooLong.data(), 65537), -1);
  EXPECT_EQ(Compress(Bytes(), 16, &length)[0], 0xA5);
  EXPECT_EQ(length, 0u);
}

TEST(LzEncode, BlocksAreCodedOnlyWhenThatIsShorter) {
  CLzCodec codec;
  Bytes data = RandomBytes(4096, 256, 13);  // incompressible: kept plain
  Bytes text = TextLike(4096, 14);          // coded
  data.insert(data.end(), text.begin(), text.end());
  data.insert(data.end(), {'a', 'b', 'c'});  // 27 bits: no shorter coded
  std::vector<StoredBlock> blocks = CutIntoBlocks(data.data(), data.size(), &codec);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_FALSE(blocks[0].coded);
  EXPECT_EQ(blocks[0].bytes, Bytes(data.begin(), data.begin() + 4096));
  EXPECT_TRUE(blocks[1].coded);
  EXPECT_LT(blocks[1].bytes.size(), 4096u);
  EXPECT_FALSE(blocks[2].coded);
}
