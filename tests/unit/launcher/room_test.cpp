// The room a run needs and the volume that has it, as a table: packages
// and sets against volumes with room for the copy only, for the copy and
// the files, and for neither; below 300 MiB the plain floor decides.
#include "launcher/app/room.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint64_t kMiB = 1ull << 20, kGiB = 1ull << 30;

struct Row {
  const char* what;
  PackageNeeds needs;
  std::vector<VolumeCandidate> volumes;  // temporary-files path first, then fixed drives
  int expected;
};

VolumeCandidate Free(uint64_t bytes) {
  return {true, bytes};
}
constexpr VolumeCandidate kUnusable = {false, 500 * kGiB};

}  // namespace

TEST(Room, TheFirstVolumeWithRoomForTheCopyAndEveryFile) {
  // 1 GiB of package unpacking to 5 GiB in 2,000 files: it needs
  // 1 GiB + 5 GiB + 2,000 x 4 KiB.
  const PackageNeeds large = {kGiB, 2000, 5 * kGiB};
  const uint64_t largeNeeds = 6 * kGiB + 2000 * 4096;
  // A set: a 296-byte package, three volumes of 1.9 GiB, 8 GiB of files.
  const uint64_t volumes = 3 * (19 * kGiB / 10);
  const PackageNeeds set = {296 + volumes, 40000, 8 * kGiB};
  const uint64_t setNeeds = 296 + volumes + 8 * kGiB + 40000ull * 4096;
  // 5 MiB of package, 12 MiB of files in 30 files: below the floor.
  const PackageNeeds small = {5 * kMiB, 30, 12 * kMiB};

  const Row rows[] = {
      {"room for the copy only, then for both", large, {Free(kGiB + kMiB), Free(largeNeeds)}, 1},
      {"room for both at once", large, {Free(largeNeeds), Free(100 * kGiB)}, 0},
      {"room for neither, then for the copy only", large, {Free(kMiB), Free(2 * kGiB)}, -1},
      {"one byte short everywhere", large, {Free(largeNeeds - 1), Free(largeNeeds - 1)}, -1},
      {"the order stands: the later, roomier drive waits",
       large,
       {Free(largeNeeds), Free(largeNeeds * 10)},
       0},
      {"an unusable place is passed over, however much it has",
       large,
       {kUnusable, Free(kMiB), Free(largeNeeds)},
       2},
      {"a set: room for the volumes' copies only", set, {Free(volumes + kGiB), Free(setNeeds)}, 1},
      {"a set: room for the files but not the copies",
       set,
       {Free(8 * kGiB + 40000ull * 4096), Free(setNeeds - 1)},
       -1},
      {"a set: room for all", set, {Free(setNeeds)}, 0},
      {"small: the floor, exactly", small, {Free(kRoomFloor), Free(500 * kGiB)}, 0},
      {"small: one byte below the floor", small, {Free(kRoomFloor - 1), Free(kRoomFloor)}, 1},
      {"small: nowhere with the floor", small, {Free(kRoomFloor - 1), Free(17 * kMiB)}, -1},
      {"no places at all", small, {}, -1},
  };
  for (const Row& row : rows) {
    uint64_t needed = RoomNeeded(row.needs);
    EXPECT_EQ(
        ChooseVolumeWithRoom(row.volumes.data(), static_cast<int>(row.volumes.size()), needed),
        row.expected)
        << row.what;
  }
  EXPECT_EQ(RoomNeeded(large), largeNeeds);
  EXPECT_EQ(RoomNeeded(set), setNeeds);
}

// Below the floor the need is the floor whatever the package holds, so the
// choice is the one the plain 300 MiB rule made.
TEST(Room, BelowTheFloorTheNeedIsTheFloor) {
  for (PackageNeeds needs : {PackageNeeds{4, 0, 0}, PackageNeeds{kRoomFloor / 2, 100, kMiB},
                             PackageNeeds{kRoomFloor - 4096, 1, 0}})
    EXPECT_EQ(RoomNeeded(needs), kRoomFloor);
  EXPECT_EQ(RoomNeeded({kRoomFloor - 4096, 1, 1}), kRoomFloor + 1);
}

// A hostile set record may claim any sums: the need saturates and no volume
// qualifies, rather than wrapping round to a small need.
TEST(Room, HostileSumsSaturateInsteadOfWrapping) {
  VolumeCandidate everything = {true, UINT64_MAX - 1};
  for (PackageNeeds needs : {PackageNeeds{UINT64_MAX, 1, 1}, PackageNeeds{1, UINT64_MAX, 1},
                             PackageNeeds{1, 1, UINT64_MAX}, PackageNeeds{1, 1ull << 53, 0}}) {
    EXPECT_EQ(RoomNeeded(needs), UINT64_MAX);
    EXPECT_EQ(ChooseVolumeWithRoom(&everything, 1, RoomNeeded(needs)), -1);
  }
}
