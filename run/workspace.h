// The workspace: a fresh, uniquely named directory on a volume with at
// least 300 MiB free, in which the package copy is made and every entry is
// unpacked. It outlives the run. Everything here reaches the system only
// through g_platform and runs on the user-interface thread before the
// worker starts.
#pragma once

#include <cstdint>

constexpr uint64_t kWorkspaceFreeBytes = 314572800;  // 300 MiB, inclusive
constexpr int kWorkspaceAttempts = 1000;             // names drawn before giving up

// The longest base accepted: the workspace (base + "QW_" + 8 digits), its
// package copy (+ "\QW.tmp") and the quoted launch command
// ('"' + workspace + "\QWSetup.exe\" -D") fit in 520 bytes with their
// terminators. A longer temporary-files path is passed over like one
// without space, and the fixed drives are tried.
constexpr uint32_t kMaxWorkspaceBaseLength = 491;

// True when the volume holding `path` has at least 314,572,800 free bytes:
// the total free bytes of GetDiskFreeSpaceExA, or, where the platform lacks
// it, sectors per cluster x bytes per sector x free clusters of
// GetDiskFreeSpaceA in 64 bits. A failing query fails the test. The
// extended query is looked up at the first test and kept once found.
bool HasEnoughFreeSpace(const char* path);

// Writes the workspace base into g_runState.workspacePath: the temporary-
// files path when it exists and has the space, else the first fixed
// drive's root, in the platform's order, that exists and has the space.
// Both end with a separator. False when none qualifies.
bool ChooseWorkspaceBase();

// Chooses the base and creates base + "QW_" + 8 upper-case hexadecimal
// digits of the time-stamp counter as a private directory, drawing a new
// name while one exists or cannot be made, at most kWorkspaceAttempts
// times. Sets workspacePath (no trailing separator) and packageCopyPath
// (workspacePath + "\QW.tmp"). False when no base qualifies or every
// attempt failed; workspacePath is then empty.
bool PrepareWorkspace();

// Who may touch the workspace: SYSTEM and the Administrators, and the
// token's user only when the token is not elevated. Under UAC an elevated
// token's user is the same account as every unelevated program the user
// runs; granting it would let any of them swap QWSetup.exe or a directory
// in the workspace while the elevated launcher fills it.
uint32_t WorkspaceTrustees(bool tokenElevated);

// Forgets the kept extended free-space query, as at the start of a run.
void ResetFreeSpaceQuery();
