// Method 2: LZMA coding with a dictionary carried across blocks and entries.
//
// The blocks of consecutive method-2 entries form one LZMA2-style stream,
// cut at every block's end: the coder is flushed there, so a coded block's
// bytes produce exactly its output, while the dictionary, the
// probabilities, the state and the repeat distances go on into the next
// block, and into the next entry's first block. A new stream starts at the
// package's first non-empty method-2 entry and again at the first one that
// begins after the stream has produced kLzmaStreamBytes: both sides know
// the sizes, so no field says so, and a packer codes the streams in
// parallel. A coded block holds
//
//   control:8   bit 7 set; bits 6-5 the reset (0 none, 1 state, 2 state and
//               new properties, 3 as 2 on an empty dictionary); bits 4-0 zero
//   props:8     lc + 9 * (lp + 5 * pb), lc + lp <= 4; only for resets 2 and 3
//   range coder bytes, less the coder's leading zero byte
//
// and nothing else: the output length comes from the block structure, and
// the range coder must end exactly at the stored bytes' end with a zero
// code. A stored block (codedFlag 0) is its output as it is; it enters the
// dictionary like decoded bytes, and the next coded block must reset the
// state, as after an uncompressed LZMA2 chunk. The first coded block of a
// stream sets the properties. Method-2 entries keep their method when
// every block is stored, since those blocks still enter the dictionary.
//
// Entries starting with "MZ" go through the x86 filter (x86_filter.h), at
// offsets counted from the entry's start: the dictionary holds the filtered
// bytes, the output the restored ones.
#pragma once

#include <cstdint>

#include "package/format.h"

constexpr uint16_t kMethodLzma = 2;

// 8 MiB: what xz -6 and the usual LZMA installers use. The launcher takes
// it once per run, and only for a package with method-2 entries; machines
// short of memory still have it, and a larger one gains little beside the
// memory it costs both sides (the encoder needs about 11 times as much).
constexpr uint32_t kLzmaDictionarySize = 8u << 20;
// Streams of about 32 MiB: each a packer's thread's unit of work, and only
// a few dictionaries' worth of matches are lost at their starts.
constexpr uint64_t kLzmaStreamBytes = 32u << 20;

// Whether the next non-empty method-2 entry starts a new stream, after one
// that has produced `streamBytes` (no stream yet: `inStream` false).
inline bool StartsLzmaStream(bool inStream, uint64_t streamBytes) {
  return !inStream || streamBytes >= kLzmaStreamBytes;
}

constexpr uint32_t kLzmaControlCoded = 0x80;
constexpr uint32_t kLzmaResetShift = 5;
constexpr uint32_t kLzmaResetState = 1;
constexpr uint32_t kLzmaResetProperties = 2;
constexpr uint32_t kLzmaResetDictionary = 3;
constexpr uint32_t kLzmaMaxPropertiesByte = 9 * 5 * 5 - 1;

constexpr uint32_t kLzmaStates = 12;
constexpr uint32_t kLzmaMaxPosBits = 4;
constexpr uint32_t kLzmaLengthToDistanceStates = 4;
constexpr uint32_t kLzmaEndPosModelIndex = 14;
constexpr uint32_t kLzmaFullDistances = 128;
constexpr uint32_t kLzmaAlignBits = 4;
constexpr uint32_t kLzmaLiteralCoderSize = 0x300;
constexpr uint32_t kLzmaMaxLcPlusLp = 4;

struct LzmaLengthProbabilities {
  uint16_t choice;
  uint16_t choice2;
  uint16_t low[1 << kLzmaMaxPosBits][8];
  uint16_t mid[1 << kLzmaMaxPosBits][8];
  uint16_t high[256];
};

struct LzmaProbabilities {
  uint16_t isMatch[kLzmaStates << kLzmaMaxPosBits];
  uint16_t isRep[kLzmaStates];
  uint16_t isRepG0[kLzmaStates];
  uint16_t isRepG1[kLzmaStates];
  uint16_t isRepG2[kLzmaStates];
  uint16_t isRep0Long[kLzmaStates << kLzmaMaxPosBits];
  uint16_t distanceSlot[kLzmaLengthToDistanceStates][64];
  uint16_t distanceSpecial[1 + kLzmaFullDistances - kLzmaEndPosModelIndex];
  uint16_t align[1 << kLzmaAlignBits];
  LzmaLengthProbabilities length;
  LzmaLengthProbabilities repLengths;
  uint16_t literal[kLzmaLiteralCoderSize << kLzmaMaxLcPlusLp];
};

// Everything the decoder keeps between blocks and entries, in one fixed
// allocation: the launcher makes it once per run.
struct LzmaDecoder {
  LzmaProbabilities probabilities;
  uint32_t reps[4];
  uint32_t state;
  uint32_t lc, lp, pb;
  uint32_t position;        // in the stream, modulo 2^32: contexts and dictionary index
  uint32_t dictionaryFill;  // bytes a match may reach back to, up to the dictionary size
  uint64_t streamBytes;     // produced by the stream, for where the next one starts
  bool inStream;            // false before the package's first method-2 entry
  bool hasProperties;       // a coded block of the stream has set lc, lp, pb
  bool needsStateReset;     // a stored block came since the last coded one
  uint32_t entryOffset;     // bytes of the entry decoded so far
  bool filtered;            // the entry goes through the x86 filter
  uint8_t filterScratch[kBlockSize];
  uint8_t dictionary[kLzmaDictionarySize];  // circular, indexed by position
};

// Before a package's first method-2 entry.
void LzmaBeginPackage(LzmaDecoder* decoder);
// Before each non-empty method-2 entry: goes on with the stream, or starts
// the next one (an empty dictionary, no properties yet).
void LzmaBeginEntry(LzmaDecoder* decoder);

// Decodes the entry's next block into exactly `outputLength` (1 to 4096)
// bytes. Returns 1, or 0 for a stream it refuses: a control or properties
// byte out of range, a missing reset, a distance beyond the entry's decoded
// bytes or the dictionary, a match running past the block, a range coder
// needing bytes beyond `storedLength` or not ending exactly there with a
// zero code, a stored block shorter than its output. Reads no byte outside
// stored[0, storedLength), writes none outside output[0, outputLength) and
// the decoder. After a refusal the next LzmaBeginEntry starts a new stream.
int LzmaDecodeBlock(LzmaDecoder* decoder, uint8_t* output, uint32_t outputLength,
                    const uint8_t* stored, uint32_t storedLength, bool coded);
