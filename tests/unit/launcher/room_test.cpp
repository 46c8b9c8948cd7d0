// The room a run needs; the volume chosen for it is in workspace_test.cpp.
#include "launcher/app/room.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t kMiB = 1ull << 20;

}  // namespace

// Below the floor the need is the floor whatever the package holds, so the
// choice is the one the plain 300 MiB rule made.
TEST(Room, BelowTheFloorTheNeedIsTheFloor) {
  for (PackageNeeds needs : {PackageNeeds{4, 0, 0}, PackageNeeds{kRoomFloor / 2, 100, kMiB},
                             PackageNeeds{kRoomFloor - 4096, 1, 0}})
    EXPECT_EQ(RoomNeeded(needs), kRoomFloor);
  EXPECT_EQ(RoomNeeded({kRoomFloor - 4096, 1, 1}), kRoomFloor + 1);
}

// A hostile set record may claim any sums: the need saturates, so that no
// volume qualifies, rather than wrapping round to a small need.
TEST(Room, HostileSumsSaturateInsteadOfWrapping) {
  for (PackageNeeds needs : {PackageNeeds{UINT64_MAX, 1, 1}, PackageNeeds{1, UINT64_MAX, 1},
                             PackageNeeds{1, 1, UINT64_MAX}, PackageNeeds{1, 1ull << 53, 0}})
    EXPECT_EQ(RoomNeeded(needs), UINT64_MAX);
}
