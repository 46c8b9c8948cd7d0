// The longest previous factor of every position of a block: the longest
// string starting at P that also starts at some earlier position (the two
// occurrences may overlap). A match at P may take any length from 2 up to it,
// always from the same earlier position.
#pragma once

#include <cstddef>
#include <cstdint>

// The number of int32_t of scratch FindLongestPreviousFactors needs.
size_t MatchFinderScratchCount(int32_t n);

// For every P in [0, n): longest[P] := the longest previous factor's length
// (0 when the byte at P occurs nowhere before it), and source[P] := a
// position below P where it occurs (undefined when longest[P] is 0).
// Positions are absolute within the block. Linear in n.
void FindLongestPreviousFactors(const uint8_t* block, int32_t n, int32_t* longest, int32_t* source,
                                int32_t* scratch);
