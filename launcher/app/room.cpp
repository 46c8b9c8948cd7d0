#include "launcher/app/room.h"

#include "launcher/app/run_log.h"
#include "launcher/run_state.h"
#include "platform/platform.h"

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

uint64_t ReadRoomNeeded() {
  PackageNeeds needs = {0, 0, 0};
  FILE* program = g_platform.openFile(g_runState.programPath, "rb");
  bool known = program && ReadPackageNeeds(program, &needs);
  if (program) fclose(program);
  if (!known) needs = PackageNeeds{0, 0, 0};
  uint64_t needed = RoomNeeded(needs);
  LogRoomNeeded(needs, needed);
  return needed;
}
