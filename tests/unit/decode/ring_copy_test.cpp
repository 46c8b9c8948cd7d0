#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "decode/ring_copy.h"

namespace {

constexpr uint32_t kRing = 64;

// The copy as its contract says it: one byte at a time, each read after the
// ones before it were written.
void ReferenceCopy(uint8_t* ring, uint32_t position, uint32_t distance, uint32_t length) {
  for (uint32_t i = 0; i < length; i++)
    ring[(position + i) % kRing] = ring[(position + i - distance) % kRing];
}

}  // namespace

// Every position of a full ring, every distance up to its size and lengths
// past it, the distances just below the size among them: those put the
// source a few bytes ahead of the destination in memory, the overlap a
// plain memcpy may not take (AddressSanitizer reports it).
TEST(RingCopy, MatchesTheByteByByteCopyEverywhereInAFullRing) {
  for (uint32_t position = kRing; position < 3 * kRing; position++) {
    for (uint32_t distance = 1; distance < kRing; distance++) {
      for (uint32_t length = 1; length <= 40; length++) {
        uint8_t ring[kRing], expected[kRing];
        for (uint32_t i = 0; i < kRing; i++) ring[i] = static_cast<uint8_t>(i * 37 + position);
        memcpy(expected, ring, kRing);
        CopyInRing<kRing>(ring, position, distance, length);
        ReferenceCopy(expected, position, distance, length);
        ASSERT_EQ(memcmp(ring, expected, kRing), 0)
            << "position " << position << " distance " << distance << " length " << length;
      }
    }
  }
}
