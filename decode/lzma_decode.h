// Method 2: LZMA coding with one dictionary carried across blocks and
// entries.
//
// The blocks of a package's method-2 entries, in package order, form one
// LZMA2-style stream cut at every block's end: the coder is flushed there,
// so a coded block's bytes produce exactly its output, while the
// dictionary, the probabilities, the state and the repeat distances go on
// into the next block, and into the next entry's first block. Only the
// package's first coded block starts on an empty dictionary. A packer may
// start its coder afresh at any block (a state reset with new properties)
// on the dictionary as it stands, which lets it code stretches of the
// package in parallel at almost no cost in size. A coded block holds
//
//   control:8   bit 7 set; bits 6-5 the reset (0 none, 1 state, 2 state and
//               new properties, 3 as 2 on an empty dictionary); bits 4-0 zero
//   props:8     lc + 9 * (lp + 5 * pb), lc + lp <= 4; only for resets 2 and 3
//   range coder bytes, less the coder's leading zero byte
//
// and nothing else: the output length comes from the block structure. The
// range coder's last bytes may be left out where they are zero: the decoder
// reads zeros past the stored bytes, and takes a block whose symbols end
// with every stored byte read. A stored block (codedFlag 0) is its output
// as it is; it enters the dictionary like decoded bytes, and the next coded
// block must reset the state, as after an uncompressed LZMA2 chunk.
// Method-2 entries keep their method when every block is stored, since
// those blocks still enter the dictionary.
//
// The code sections of PE images go through the x86 filter (x86_filter.h),
// at offsets counted from the entry's start: the dictionary holds the
// filtered bytes, the output the restored ones.
#pragma once

#include <cstdint>

#include "common/container.h"
#include "decode/x86_filter.h"

// 64 MiB, what the strongest settings of the usual LZMA archivers use: on
// a payload of many programs and DLLs most of what repeats lies further
// back than the 8 MiB of xz -6 and the usual LZMA installers (668 MB of
// Wine's DLLs: 4 % smaller than with 8 MiB, the difference between a
// package larger than such an installer and one smaller). The launcher
// takes it once per run, only for a package with method-2 entries, and
// touches only as much of it as the package holds; a machine that cannot
// spare it gets the entry's decode-error notice.
constexpr uint32_t kLzmaDictionarySize = 64u << 20;
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
  uint32_t position;         // in the stream, modulo 2^32: contexts and dictionary index
  uint32_t dictionaryFill;   // bytes a match may reach back to, up to the dictionary size
  bool broken;               // a block was refused: the stream cannot go on
  bool hasProperties;        // a coded block of the stream has set lc, lp, pb
  bool needsStateReset;      // a stored block came since the last coded one
  uint32_t endRange;         // the range coder's, after the last coded block: what a
  uint32_t endCode;          // packer needs to leave out the flush's trailing zeros
  uint32_t entryOffset;      // bytes of the entry decoded so far
  X86CodeRanges codeRanges;  // of the entry, which go through the x86 filter
  uint8_t filterScratch[kBlockSize];
  uint8_t dictionary[kLzmaDictionarySize];  // circular, indexed by position
};

// Before a package's first method-2 entry: an empty dictionary, no
// properties yet.
void LzmaBeginPackage(LzmaDecoder* decoder);
// Before each non-empty method-2 entry: the stream goes on.
void LzmaBeginEntry(LzmaDecoder* decoder);

// Decodes the entry's next block into exactly `outputLength` (1 to 4096)
// bytes. Returns 1, or 0 for a stream it refuses: a control or properties
// byte out of range, a missing reset, a distance beyond the entry's decoded
// bytes or the dictionary, a match running past the block, a range coder
// ending before its stored bytes do, a stored block shorter than its
// output. Reads no byte outside stored[0, storedLength), writes none
// outside output[0, outputLength) and the decoder. After a refusal every
// later block of the package is refused too: nothing after it can be
// trusted to see the dictionary the packer saw.
int LzmaDecodeBlock(LzmaDecoder* decoder, uint8_t* output, uint32_t outputLength,
                    const uint8_t* stored, uint32_t storedLength, bool coded);
