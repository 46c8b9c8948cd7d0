// The bar's fill width, apart from the window so that it can be checked
// anywhere.
#pragma once

#include <cstdint>

// The width of the gradient in a channel of `channelWidth` pixels:
// channelWidth x (position - lower) / (upper - lower) in 64 bits, rounded
// to nearest with halves away from zero, as MulDiv rounds. A position
// outside the range is taken at the range's nearer end, and an empty or
// reversed range, for which MulDiv would answer -1, fills nothing.
inline int BarFillWidth(int channelWidth, int lower, int upper, int position) {
  int64_t range = static_cast<int64_t>(upper) - lower;
  int64_t offset = static_cast<int64_t>(position) - lower;
  if (channelWidth <= 0 || range <= 0 || offset <= 0) return 0;
  if (offset >= range) return channelWidth;
  int64_t product = static_cast<int64_t>(channelWidth) * offset;
  return static_cast<int>((2 * product + range) / (2 * range));
}
