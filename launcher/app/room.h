// Which volume has room for a run: the package copy (a set's volumes
// included) and every file it unpacks, with 300 MiB as the least. A package
// that needs less than that is placed exactly as the plain 300 MiB rule
// places it.
#pragma once

#include <cstdint>

#include "decode/package_needs.h"

constexpr uint64_t kRoomFloor = 314572800;  // 300 MiB, inclusive
// A file takes whole clusters: each one counts for the 4 KiB cluster of a
// usual NTFS volume beyond its bytes, more than its last cluster can waste.
constexpr uint64_t kClusterAllowance = 4096;

// The bytes a volume needs free: the package copy, the files with their
// cluster allowance, and never less than kRoomFloor. Saturates rather than
// wraps on a hostile record's sums.
uint64_t RoomNeeded(const PackageNeeds& needs);

// A place the workspace may go, in the order tried: the temporary-files
// path, then the fixed drives in the system's order.
struct VolumeCandidate {
  bool usable;         // it exists, its path fits, and its free space could be read
  uint64_t freeBytes;  // the volume's total free bytes
};

// The first usable candidate with at least `needed` bytes free, or -1.
int ChooseVolumeWithRoom(const VolumeCandidate* candidates, int count, uint64_t needed);
