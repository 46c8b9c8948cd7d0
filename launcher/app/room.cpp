#include "launcher/app/room.h"

namespace {

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

uint64_t SaturatingMultiply(uint64_t a, uint64_t b) {
  return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

}  // namespace

uint64_t RoomNeeded(const PackageNeeds& needs) {
  uint64_t files =
      SaturatingAdd(needs.fileBytes, SaturatingMultiply(needs.fileCount, kClusterAllowance));
  uint64_t needed = SaturatingAdd(needs.copyBytes, files);
  return needed < kRoomFloor ? kRoomFloor : needed;
}

int ChooseVolumeWithRoom(const VolumeCandidate* candidates, int count, uint64_t needed) {
  for (int i = 0; i < count; i++)
    if (candidates[i].usable && candidates[i].freeBytes >= needed) return i;
  return -1;
}
