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

// Entries that start with "MZ" (a DOS or PE program) go through the filter.
// Neither byte is ever rewritten by it, so a decoder can tell from the first
// block's decoded bytes, filtered or not.
inline bool TakesX86Filter(const uint8_t* firstBlock, uint32_t length) {
  return length >= 2 && firstBlock[0] == 'M' && firstBlock[1] == 'Z';
}
