// The suffix array of a block, in linear time. The encoder's match finder
// builds on it.
#pragma once

#include <cstddef>
#include <cstdint>

// The number of int32_t of scratch BuildSuffixArray needs for n bytes.
size_t SuffixArrayScratchCount(int32_t n);

// sa[0..n) := the start positions of the suffixes of text[0..n) in
// lexicographic order, a suffix that is a prefix of another sorting first.
// `scratch` holds SuffixArrayScratchCount(n) values; n is at most 65536.
void BuildSuffixArray(const uint8_t* text, int32_t n, int32_t* sa, int32_t* scratch);
