// The room a run needs: the package copy (a set's volumes included) and
// every file it unpacks, with 300 MiB as the least. A package that needs
// less than that is placed exactly as the plain 300 MiB rule places it; the
// volumes are tried in the workspace's order (launcher/app/workspace.h).
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

// Reads the needs of the run's program file (g_runState.programPath) and
// logs them: RoomNeeded of what it holds, or the floor alone when it cannot
// be read (the worker then says what is wrong with it).
uint64_t ReadRoomNeeded();
