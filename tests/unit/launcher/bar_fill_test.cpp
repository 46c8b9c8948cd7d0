// The bitmap progress bar's fill width.
#include <gtest/gtest.h>

#include "launcher/ui/bar_fill.h"

namespace {

TEST(BarFill, ProportionalAndRoundedToNearest) {
  // A bar 242 pixels wide has a 240-pixel channel.
  EXPECT_EQ(BarFillWidth(240, 0, 200, 0), 0);
  EXPECT_EQ(BarFillWidth(240, 0, 200, 1), 1);  // 1.2
  EXPECT_EQ(BarFillWidth(240, 0, 200, 5), 6);
  EXPECT_EQ(BarFillWidth(240, 0, 200, 150), 180);
  EXPECT_EQ(BarFillWidth(240, 0, 200, 200), 240);
  EXPECT_EQ(BarFillWidth(241, 0, 200, 100), 121);  // 120.5: halves away from zero
  EXPECT_EQ(BarFillWidth(241, 0, 200, 99), 119);   // 119.295
  EXPECT_EQ(BarFillWidth(240, -100, 100, 0), 120);
}

TEST(BarFill, StaysInsideTheChannel) {
  EXPECT_EQ(BarFillWidth(240, 0, 200, 260), 240);
  EXPECT_EQ(BarFillWidth(240, 0, 200, -5), 0);
  EXPECT_EQ(BarFillWidth(240, 50, 50, 50), 0);   // empty range
  EXPECT_EQ(BarFillWidth(240, 200, 0, 100), 0);  // reversed range
  EXPECT_EQ(BarFillWidth(0, 0, 200, 100), 0);
  // The 64-bit product: 2^31 - 1 pixels at nearly the full range.
  EXPECT_EQ(BarFillWidth(0x7FFFFFFF, 0, 0x7FFFFFFF, 0x7FFFFFFE), 0x7FFFFFFE);
}

}  // namespace
