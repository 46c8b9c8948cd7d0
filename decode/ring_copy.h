// A match's copy inside a circular dictionary, as LZ decoders make it: the
// `length` bytes that lie `distance` back from `position` are appended at
// `position`, byte by byte in effect, so a match may overlap the bytes it
// writes (distance < length repeats them). kSize is a power of two; the
// method-2 decoder's dictionary has 64 MiB, the tests a few bytes.
#pragma once

#include <cstdint>
#include <cstring>

template <uint32_t kSize>
inline void CopyInRing(uint8_t* ring, uint32_t position, uint32_t distance, uint32_t length) {
  static_assert(kSize != 0 && (kSize & (kSize - 1)) == 0, "a power of two");
  constexpr uint32_t kMask = kSize - 1;
  uint32_t to = position & kMask;
  uint32_t from = (position - distance) & kMask;
  if (to + length <= kSize && from + length <= kSize) {
    // Neither side wraps: no masks in the loop. Once the dictionary has
    // wrapped, a distance just below its size puts the source a few bytes
    // ahead of the destination: the two overlap although the distance is
    // no shorter than the length, which memmove copies as the byte loop
    // would.
    uint8_t* destination = ring + to;
    const uint8_t* source = ring + from;
    if (distance >= length)
      memmove(destination, source, length);
    else
      for (uint32_t i = 0; i < length; i++) destination[i] = source[i];
  } else {
    for (uint32_t i = 0; i < length; i++) ring[(to + i) & kMask] = ring[(from + i) & kMask];
  }
}
