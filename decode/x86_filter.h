// The branch filter of method 2 for x86 and x86-64 code.
//
// A near CALL (E8) or JMP (E9) carries a 32-bit displacement relative to the
// next instruction; the same target called from many places gives as many
// different displacements. The filter rewrites each displacement as the
// target's position in the entry, so repeated calls become repeated bytes.
//
// It works block by block: an instruction whose four displacement bytes do
// not all lie inside the block is left alone, so a block is filtered and
// restored without its neighbours. Only displacements within +-16 MiB (the
// top byte 00 or FF) are rewritten, as a value of the same range, so the
// restoring pass visits exactly the positions the filtering pass rewrote.
#pragma once

#include <cstdint>

// `blockOffset` is the block's position in its entry.
void FilterX86Block(uint8_t* block, uint32_t length, uint32_t blockOffset);
void RestoreX86Block(uint8_t* block, uint32_t length, uint32_t blockOffset);

// The parts of an entry the filter rewrites: the file ranges of a PE
// image's code sections, found in its headers within the entry's first
// block. Filtering anything else (resources, data, tables) costs more than
// it gains. Nothing before the end of the headers is ever rewritten and
// nothing after it is read to find the ranges, so a decoder finds the same
// ranges in the first block's bytes, filtered or not. Ranges come out
// ascending and disjoint: a section that reaches back into an earlier one
// keeps only what lies beyond it.
constexpr uint32_t kX86MaxCodeRanges = 8;

struct X86CodeRanges {
  uint32_t count;
  uint32_t begin[kX86MaxCodeRanges];
  uint32_t end[kX86MaxCodeRanges];  // exclusive
};

// ranges := the code ranges of the entry whose first block (`length` bytes)
// this is; none unless it is a PE image with code sections.
void FindX86CodeRanges(const uint8_t* firstBlock, uint32_t length, X86CodeRanges* ranges);

// The entry's block at `blockOffset`, through the filter or back, in the
// parts the ranges cover: each part is filtered as a block of its own.
void FilterX86Ranges(uint8_t* block, uint32_t length, uint32_t blockOffset,
                     const X86CodeRanges& ranges);
void RestoreX86Ranges(uint8_t* block, uint32_t length, uint32_t blockOffset,
                      const X86CodeRanges& ranges);
