// Method 2 end to end below the worker: liblzma's blocks through our
// decoder, block by block with one dictionary per entry, and the x86 filter.
#include <gtest/gtest.h>
#include <lzma.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "decode/lzma_decode.h"
#include "decode/x86_filter.h"
#include "encode/lzma/lzma_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct FreeDecoder {
  void operator()(LzmaDecoder* decoder) const { free(decoder); }
};
using DecoderPtr = std::unique_ptr<LzmaDecoder, FreeDecoder>;

DecoderPtr NewDecoder() {
  return DecoderPtr(static_cast<LzmaDecoder*>(malloc(sizeof(LzmaDecoder))));
}

// Decodes an entry's blocks as the worker does; false at the first refusal.
bool DecodeEntry(LzmaDecoder* decoder, const std::vector<StoredBlock>& blocks, size_t size,
                 Bytes* out) {
  LzmaBeginEntry(decoder);
  out->clear();
  for (size_t i = 0; i < blocks.size(); i++) {
    uint32_t length =
        static_cast<uint32_t>(i + 1 < blocks.size() ? kBlockSize : size - i * kBlockSize);
    uint8_t output[kBlockSize];
    if (!LzmaDecodeBlock(decoder, output, length, blocks[i].bytes.data(),
                         static_cast<uint32_t>(blocks[i].bytes.size()), blocks[i].coded))
      return false;
    out->insert(out->end(), output, output + length);
  }
  return true;
}

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Words from a small vocabulary: compressible, with matches everywhere.
Bytes Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"block ",      "entry ", "launcher ", "package ", "the ",
                                       "dictionary ", "of ",    "range ",    "coder ",   "match "};
  std::mt19937 rng(seed);
  Bytes text;
  while (text.size() < size) {
    const char* word = kWords[rng() % 10];
    text.insert(text.end(), word, word + strlen(word));
  }
  text.resize(size);
  return text;
}

// Codes `files` as the entries of one package and decodes them back in
// order with one decoder, as the worker does.
std::vector<std::vector<StoredBlock>> ExpectRoundTrip(const std::vector<Bytes>& files,
                                                      LzmaDecoder* decoder,
                                                      uint64_t stretchBytes = UINT64_MAX,
                                                      size_t primeBytes = kLzmaPrimeBytes) {
  std::vector<std::vector<StoredBlock>> entries = LzmaCutEntries(files, stretchBytes, primeBytes);
  LzmaBeginPackage(decoder);
  for (size_t i = 0; i < files.size(); i++) {
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(entries[i].size(), (files[i].size() + kBlockSize - 1) / kBlockSize);
    for (const StoredBlock& block : entries[i]) EXPECT_LE(block.bytes.size(), kBlockSize);
    if (files[i].empty()) continue;
    Bytes out;
    EXPECT_TRUE(DecodeEntry(decoder, entries[i], files[i].size(), &out));
    EXPECT_TRUE(out == files[i]);
  }
  return entries;
}

// Three blocks: the middle one does not compress, the last repeats the first.
Bytes TextNoiseText() {
  Bytes text = Text(4096, 5), noise = RandomBytes(4096, 6);
  Bytes data = text;
  data.insert(data.end(), noise.begin(), noise.end());
  data.insert(data.end(), text.begin(), text.end());
  return data;
}

// The block liblzma's own LZMA2 chunk for `data` (a package's first block,
// flushed as the packer flushes it) makes before the packer trims the
// flush: control, properties, the range coder's bytes less its leading
// zero.
size_t UntrimmedBlockSize(const Bytes& data) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, kLzmaPreset);
  options.dict_size = kLzmaDictionarySize;
  options.pb = 0;
  options.nice_len = kLzmaNiceLength;
  lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&stream, filters) != LZMA_OK) return 0;
  Bytes chunk(2 * kBlockSize);
  stream.next_in = data.data();
  stream.avail_in = data.size();
  stream.next_out = chunk.data();
  stream.avail_out = chunk.size();
  lzma_ret ret;
  do {
    ret = lzma_code(&stream, LZMA_SYNC_FLUSH);
  } while (ret == LZMA_OK);
  lzma_end(&stream);
  if (ret != LZMA_STREAM_END || chunk[0] != 0xE0) return 0;
  size_t packed = (chunk[3] << 8 | chunk[4]) + 1u;
  return 2 + packed - 1;
}

uint32_t ResetOf(const StoredBlock& block) {
  return block.bytes[0] >> kLzmaResetShift & 3;
}

void Put32(Bytes* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; i++) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// PE headers of 0x200 bytes, a section table at 0x148 and one section for
// each of `sections` (file offset, size, characteristics).
Bytes PeHeaders(const std::vector<std::array<uint32_t, 3>>& sections) {
  Bytes headers(0x200);
  headers[0] = 'M';
  headers[1] = 'Z';
  Put32(&headers, 0x3C, 0x40);
  Put32(&headers, 0x40, 0x00004550);
  headers[0x46] = static_cast<uint8_t>(sections.size());
  headers[0x54] = 0xF0;               // the optional header's size
  Put32(&headers, 0x40 + 84, 0x200);  // SizeOfHeaders
  for (size_t i = 0; i < sections.size(); i++) {
    size_t at = 0x148 + 40 * i;
    Put32(&headers, at + 16, sections[i][1]);
    Put32(&headers, at + 20, sections[i][0]);
    Put32(&headers, at + 36, sections[i][2]);
  }
  return headers;
}

// A made-up x86 program: PE headers with one code section, many calls to a
// few targets in it.
Bytes ProgramWithCalls(bool peHeaders) {
  std::mt19937 rng(7);
  Bytes code = PeHeaders({{0x200, 40000 - 0x200, 0x60000020}});
  if (!peHeaders) code[0] = 'X';
  const int32_t targets[] = {0x1000, 0x2345, 0x8000, 0x1F000};
  while (code.size() < 40000) {
    uint32_t next = static_cast<uint32_t>(code.size()) + 5;
    int32_t displacement = targets[rng() % 4] - static_cast<int32_t>(next);
    code.push_back(0xE8);
    for (int i = 0; i < 4; i++) code.push_back(static_cast<uint8_t>(displacement >> (8 * i)));
    const uint8_t between[] = {0x8B, 0x45, 0xFC, 0x50, 0x89, 0xC1};
    code.insert(code.end(), between, between + rng() % 6 + 1);
  }
  return code;
}

}  // namespace

TEST(LzmaRoundTrip, SizesAroundTheBlock) {
  DecoderPtr decoder = NewDecoder();
  for (size_t size : {size_t{1}, size_t{2}, size_t{4095}, size_t{4096}, size_t{4097},
                      size_t{3 * 4096}, size_t{5 * 4096 + 17}}) {
    SCOPED_TRACE(size);
    ExpectRoundTrip({Text(size, 1)}, decoder.get());
  }
}

TEST(LzmaRoundTrip, MatchesReachBackAcrossBlocksAndEntries) {
  DecoderPtr decoder = NewDecoder();
  Bytes noise = RandomBytes(4096, 3);
  Bytes twice = noise;
  twice.insert(twice.end(), noise.begin(), noise.end());
  Bytes again = RandomBytes(3000, 3);  // the first 3000 bytes of `noise`
  auto entries = ExpectRoundTrip({Bytes(), twice, Bytes(), again}, decoder.get());
  // Alone each piece is noise; only the dictionary makes the repeats small.
  EXPECT_FALSE(entries[1][0].coded);
  ASSERT_TRUE(entries[1][1].coded);
  EXPECT_LT(entries[1][1].bytes.size(), 64u);
  ASSERT_TRUE(entries[3][0].coded);
  EXPECT_LT(entries[3][0].bytes.size(), 64u);
}

TEST(LzmaRoundTrip, StoredBlocksBetweenCodedOnesEnterTheDictionary) {
  DecoderPtr decoder = NewDecoder();
  Bytes data = TextNoiseText(), noise = RandomBytes(4096, 6);
  data.insert(data.end(), noise.begin(), noise.begin() + 100);
  auto blocks = ExpectRoundTrip({data}, decoder.get())[0];
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_TRUE(blocks[0].coded);
  EXPECT_FALSE(blocks[1].coded);
  ASSERT_TRUE(blocks[2].coded);
  EXPECT_GE(ResetOf(blocks[2]), kLzmaResetState);  // as after an uncompressed LZMA2 chunk
  EXPECT_LT(blocks[2].bytes.size(), 64u);          // all of it one match into block 0
  ASSERT_TRUE(blocks[3].coded);
  EXPECT_LT(blocks[3].bytes.size(), 32u);  // a match into the stored block
}

TEST(LzmaRoundTrip, ProgramsGoThroughTheFilterAndGainByIt) {
  DecoderPtr decoder = NewDecoder();
  Bytes program = ProgramWithCalls(true), notProgram = ProgramWithCalls(false);
  auto size = [](const std::vector<StoredBlock>& blocks) {
    size_t total = 0;
    for (const StoredBlock& block : blocks) total += block.bytes.size();
    return total;
  };
  auto filtered = ExpectRoundTrip({program}, decoder.get())[0];
  auto plain = ExpectRoundTrip({notProgram}, decoder.get())[0];
  EXPECT_LT(size(filtered) * 5, size(plain) * 4) << size(filtered) << " vs " << size(plain);
  // A stored first block decides the filter as well as a coded one.
  Bytes noisyProgram = RandomBytes(5000, 8);
  noisyProgram[0] = 'M';
  noisyProgram[1] = 'Z';
  noisyProgram.insert(noisyProgram.end(), program.begin() + 64, program.end());
  auto blocks = ExpectRoundTrip({noisyProgram}, decoder.get())[0];
  EXPECT_FALSE(blocks[0].coded);
}

// A packer may start an encoder of its own anywhere, on the last bytes of
// the dictionary as it stands, also once the stream has passed what it
// primes with and the entries' lengths leave positions unaligned: the
// launcher decodes it all as one stream, and it comes out hardly larger.
TEST(LzmaRoundTrip, StretchesCodedApartDecodeAsOneStream) {
  DecoderPtr decoder = NewDecoder();
  Bytes program = ProgramWithCalls(true);
  std::vector<Bytes> files = {Text(300007, 1), program, Text(204099, 2), Bytes(),
                              TextNoiseText(), program, Text(70001, 3)};
  auto total = [](const std::vector<std::vector<StoredBlock>>& entries, size_t* starts) {
    size_t bytes = 0;
    *starts = 0;
    for (const auto& entry : entries)
      for (const StoredBlock& block : entry) {
        bytes += block.bytes.size();
        *starts += block.coded && ResetOf(block) == kLzmaResetProperties;
      }
    return bytes;
  };
  size_t oneStarts, apartStarts;
  size_t one = total(ExpectRoundTrip(files, decoder.get()), &oneStarts);
  // Four stretches of 41 blocks primed with the last 300,000 bytes: the
  // first at the package's start, the next inside the first entry, the
  // last past 300,000 bytes and at positions no multiple of 16.
  auto apart = ExpectRoundTrip(files, decoder.get(), 41 * kBlockSize, 300000);
  size_t apartSize = total(apart, &apartStarts);
  EXPECT_EQ(ResetOf(apart[0][0]), kLzmaResetDictionary);
  EXPECT_EQ(apartStarts, oneStarts + 3);
  EXPECT_LT(apartSize, one + one / 20) << apartSize << " vs " << one;
  // The second program repeats the first: the stretch coding it sees it.
  size_t secondProgram = 0;
  for (const StoredBlock& block : apart[5]) secondProgram += block.bytes.size();
  EXPECT_LT(secondProgram, program.size() / 50);
}

// With the dictionary full, a block whose match reaches back almost the
// whole dictionary reads the ring slots the block itself overwrites: the
// packer's second read-back, of the trimmed block, must see them as the
// first read-back did, or it refuses a sound block.
TEST(LzmaStretch, AMatchReachingBackTheWholeDictionaryIsReadBackTwice) {
  Bytes history = RandomBytes(kLzmaDictionarySize, 7);
  // The block's slots run over the ring's end: 1,000 before it, 3,096 after.
  LzmaStretchEncoder encoder;
  ASSERT_EQ(encoder.BeginStretch(history, 3ull * kLzmaDictionarySize - 1000), "");
  // A match 100 bytes short of the dictionary: it reads the slots 100 on
  // from the one being written.
  const uint8_t* block = history.data() + 100;
  StoredBlock stored;
  ASSERT_EQ(encoder.AddBlock(block, block, kBlockSize, &stored), "");
  EXPECT_TRUE(stored.coded);
  EXPECT_LT(stored.bytes.size(), 64u);  // one long match
}

TEST(LzmaDecoder, RefusesBlocksThatBreakTheStreamRules) {
  DecoderPtr decoder = NewDecoder();
  Bytes data = TextNoiseText();
  std::vector<StoredBlock> blocks = LzmaCutEntries({data})[0];
  ASSERT_EQ(blocks.size(), 3u);
  auto decodes = [&](std::vector<StoredBlock> changed) {
    Bytes out;
    LzmaBeginPackage(decoder.get());
    return DecodeEntry(decoder.get(), changed, data.size(), &out) && out == data;
  };
  ASSERT_TRUE(decodes(blocks));
  struct Case {
    const char* what;
    size_t block;
    uint8_t control;
  } cases[] = {
      {"a first block without properties", 0, 0xA0},
      {"a coded block without the control bit", 0, 0x60},
      {"size bits in the control byte", 0, 0xE1},
      {"no state reset after a stored block", 2, 0x80},
      {"a dictionary reset inside a stream", 2, 0xE0},
  };
  for (const Case& c : cases) {
    std::vector<StoredBlock> changed = blocks;
    changed[c.block].bytes[0] = c.control;
    EXPECT_FALSE(decodes(changed)) << c.what;
  }
  std::vector<StoredBlock> changed = blocks;
  changed[0].bytes[1] = kLzmaMaxPropertiesByte + 1;
  EXPECT_FALSE(decodes(changed)) << "properties out of range";
  changed[0].bytes[1] = 4 + 9 * 1;  // lc 4, lp 1: over LZMA2's bound of 4
  EXPECT_FALSE(decodes(changed)) << "lc + lp over 4";
  // Every cut of a coded block, and one byte too many, is refused.
  for (size_t length = 0; length < blocks[0].bytes.size(); length++) {
    changed = blocks;
    changed[0].bytes.resize(length);
    EXPECT_FALSE(decodes(changed)) << "cut to " << length;
  }
  // Zeros are what the packer leaves out, so a block never ends in one;
  // bytes past what the coder reads are bytes nobody checks.
  changed = blocks;
  changed[0].bytes.push_back(0);
  EXPECT_FALSE(decodes(changed)) << "a zero byte more";
  changed = blocks;
  changed[0].bytes.insert(changed[0].bytes.end(), 8, 0x55);
  EXPECT_FALSE(decodes(changed)) << "bytes past the coder's end";
  // The packer leaves out the flush's trailing zeros: liblzma's own chunk
  // for the block holds at least three bytes more.
  EXPECT_LE(blocks[0].bytes.size() + 3, UntrimmedBlockSize(Text(4096, 5)));
  changed = blocks;
  changed[1].bytes.resize(4095);
  EXPECT_FALSE(decodes(changed)) << "a short stored block";
}

// After a refused block the repeat distances and state are half-way, and
// the dictionary may lack what the packer's held: nothing later in the
// package decodes, until a new package begins.
TEST(LzmaDecoder, AfterARefusalNothingLaterDecodes) {
  DecoderPtr decoder = NewDecoder();
  Bytes first = Text(5000, 1), second = Text(3000, 2);
  auto entries = LzmaCutEntries({first, second});
  ASSERT_LT(ResetOf(entries[1][0]), kLzmaResetProperties);
  Bytes out;
  std::vector<StoredBlock> cut = entries[0];
  cut[1].bytes.resize(cut[1].bytes.size() / 2);
  LzmaBeginPackage(decoder.get());
  ASSERT_FALSE(DecodeEntry(decoder.get(), cut, first.size(), &out));
  EXPECT_FALSE(DecodeEntry(decoder.get(), entries[1], second.size(), &out));
  auto fresh = LzmaCutEntries({second});
  EXPECT_FALSE(DecodeEntry(decoder.get(), fresh[0], second.size(), &out));
  LzmaBeginPackage(decoder.get());
  ASSERT_TRUE(DecodeEntry(decoder.get(), entries[0], first.size(), &out));
  ASSERT_TRUE(DecodeEntry(decoder.get(), entries[1], second.size(), &out));
  EXPECT_TRUE(out == second);
}

TEST(X86Filter, CodeRangesComeFromTheHeadersAlone) {
  struct Case {
    const char* what;
    std::vector<std::array<uint32_t, 3>> sections;
    std::vector<std::array<uint32_t, 2>> ranges;
  } cases[] = {
      {"code and executable sections, data left alone",
       {{0x200, 0x1000, 0x20}, {0x1200, 0x800, 0x40}, {0x1A00, 0x100, 0x20000000}},
       {{0x200, 0x1200}, {0x1A00, 0x1B00}}},
      {"nothing inside the headers", {{0, 0x400, 0x20}}, {{0x200, 0x400}}},
      {"overlaps and sections out of order keep what lies beyond",
       {{0x1000, 0x1000, 0x20}, {0x1800, 0x1000, 0x20}, {0x400, 0x100, 0x20}},
       {{0x1000, 0x2000}, {0x2000, 0x2800}}},
      {"a size past 4 GiB stops at it", {{0xFFFFF000, 0x2000, 0x20}}, {{0xFFFFF000, 0xFFFFFFFF}}},
      {"no code", {{0x200, 0x1000, 0x40}}, {}},
  };
  for (const Case& c : cases) {
    Bytes block = PeHeaders(c.sections);
    block.resize(4096, 0xE8);
    X86CodeRanges ranges;
    FindX86CodeRanges(block.data(), 4096, &ranges);
    std::vector<std::array<uint32_t, 2>> found;
    for (uint32_t i = 0; i < ranges.count; i++) found.push_back({ranges.begin[i], ranges.end[i]});
    EXPECT_EQ(found, c.ranges) << c.what;
    // The filtered first block gives the same ranges.
    FilterX86Ranges(block.data(), 4096, 0, ranges);
    X86CodeRanges again;
    FindX86CodeRanges(block.data(), 4096, &again);
    EXPECT_EQ(again.count, ranges.count) << c.what;
  }
  // Headers that are not all inside the first block, or not inside their
  // own stated size, give no ranges.
  Bytes headers = PeHeaders({{0x200, 0x1000, 0x20}});
  X86CodeRanges ranges;
  FindX86CodeRanges(headers.data(), 0x100, &ranges);
  EXPECT_EQ(ranges.count, 0u) << "cut before the section table";
  Put32(&headers, 0x40 + 84, 0x150);
  FindX86CodeRanges(headers.data(), 0x200, &ranges);
  EXPECT_EQ(ranges.count, 0u) << "a section table past SizeOfHeaders";
}

TEST(X86Filter, RestoresAnyBytesAndRewritesNearCalls) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; round++) {
    Bytes block(1 + rng() % 4096);
    for (uint8_t& b : block) {
      uint32_t pick = rng() % 8;  // many opcodes, many 00 and FF top bytes
      b = pick == 0   ? 0xE8
          : pick == 1 ? 0xE9
          : pick == 2 ? 0x00
          : pick == 3 ? 0xFF
                      : uint8_t(rng());
    }
    uint32_t offset = rng();
    Bytes filtered = block;
    FilterX86Block(filtered.data(), static_cast<uint32_t>(filtered.size()), offset);
    if (block.size() > 100) {
      EXPECT_NE(filtered, block);
    }
    RestoreX86Block(filtered.data(), static_cast<uint32_t>(filtered.size()), offset);
    ASSERT_EQ(filtered, block) << "round " << round;
  }
  // Two calls of one target become the same bytes; a call whose
  // displacement leaves the block is left alone.
  Bytes calls = {0xE8, 0xFB, 0x0F, 0x00, 0x00, 0x90, 0xE8, 0xF5, 0x0F, 0x00, 0x00, 0xE8, 1, 2};
  FilterX86Block(calls.data(), static_cast<uint32_t>(calls.size()), 0);
  EXPECT_TRUE(std::equal(calls.begin() + 1, calls.begin() + 5, calls.begin() + 7));
  EXPECT_EQ(calls[12], 1);
  EXPECT_EQ(calls[13], 2);
}
