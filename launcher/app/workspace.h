// The workspace: a fresh, uniquely named directory on a volume with room
// for the package (launcher/app/room.h, at least 300 MiB), in which the package copy is made and
// every entry is unpacked. It outlives the run. Everything here reaches the system only through
// g_platform and runs on the user-interface thread before the worker starts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/app/room.h"
#include "platform/platform.h"

constexpr uint64_t kWorkspaceFreeBytes = kRoomFloor;
constexpr int kWorkspaceAttempts = 1000;  // names drawn before giving up

// The longest base accepted: the workspace (base + "QW_" + 8 digits), its
// package copy (+ "\QW.tmp") and the quoted launch command
// ('"' + workspace + "\QWSetup.exe\" -D") fit in 520 bytes with their
// terminators. A longer temporary-files path is passed over like one
// without space, and the fixed drives are tried.
constexpr uint32_t kMaxWorkspaceBaseLength = 491;

// True when the volume holding `path` has at least `needed` free bytes:
// the total free bytes of GetDiskFreeSpaceExA, or, where the platform lacks
// it, sectors per cluster x bytes per sector x free clusters of
// GetDiskFreeSpaceA in 64 bits. A failing query fails the test. The
// extended query is looked up at the first test and kept once found.
bool HasEnoughFreeSpace(const char* path, uint64_t needed = kWorkspaceFreeBytes);
// The same query's total free bytes of the volume holding `path`; false
// when it fails.
bool QueryFreeBytes(const char* path, uint64_t* freeBytes);

// Writes the workspace base into g_runState.workspacePath: the temporary-
// files path when it exists and has `needed` bytes free, else the first
// fixed drive's root, in the platform's order, that exists and has them.
// Both end with a separator. False when none qualifies.
bool ChooseWorkspaceBase(uint64_t needed = kWorkspaceFreeBytes);

enum WorkspaceOutcome {
  kWorkspaceReady,
  kWorkspaceNoRoom,           // no base has the space
  kWorkspaceNotMade,          // bases had the space, but none took a workspace
  kWorkspaceTokenUnreadable,  // the process token could not be read: nothing is made
};

// Who may touch the workspace, as a security descriptor in SDDL: a
// protected DACL giving full control, inherited by everything below, to
// SYSTEM and the Administrators, and to the token's user as well unless the
// token is a member of the Administrators (an elevated token's user is the
// same account as the user's unelevated programs; a token outside the
// Administrators must keep its own access to fill the workspace). A token
// of High integrity or above adds a High mandatory label with no-write-up,
// also inherited, so that no program of a lower level (every unelevated one
// of the same user) may write, rename or delete anything inside, whatever
// the DACL grants. The user's grant leaves out "delete child": an elevated
// token outside the Administrators holds it only so that the launcher can
// fill its own workspace, and the label is not documented to keep a lower
// level from deleting through that right. False when the user's SID is no
// SID or it does not fit.
bool WorkspaceSecurity(const TokenFacts& token, char* sddl, size_t capacity);

// Three ACEs, one with the longest SID, and a label.
constexpr size_t kWorkspaceSecurityCapacity = 96 + kSidTextCapacity;

// Reads the process token and writes WorkspaceSecurity's descriptor; false
// when the token cannot be read (nothing may then be made). *elevated, when
// asked for, says whether the token may schedule deletions at restart.
bool ReadWorkspaceSecurity(char* sddl, size_t capacity, bool* elevated);

// Takes a folder held otherwise (/extract=DIR) as the run's workspace, as
// PrepareWorkspace takes the one it makes: its path as the handle resolves
// to it. False when it has none that fits.
bool AdoptHeldFolder(HeldHandle hold);

// Reads the token first (failing closed when it cannot), then, base by base
// in WorkspaceBases' order (those with `needed` bytes free), creates base + "QW_" + 8 upper-case
// hexadecimal digits of the time-stamp counter with WorkspaceSecurity's descriptor, drawing a new
// name while one exists or cannot be made and held, at most kWorkspaceAttempts times a base; a base
// that takes none is given up for the next. The new directory is held (no one can rename or delete
// it) until ReleaseWorkspace, and the run works through that handle (g_runState.workspace).
// workspacePath (no trailing separator) is the path the held handle resolves to, junctions and
// links followed, and packageCopyPath that + "\QW.tmp"; a workspace the system names by no path
// that fits is given up like a base that takes none. On any other outcome workspacePath is empty
// and nothing is held.
WorkspaceOutcome PrepareWorkspace(uint64_t needed = kWorkspaceFreeBytes);

// Lets go of the workspace directory: once the setup program has been
// started from it, or as the run ends without.
void ReleaseWorkspace();
// The workspace's hold, handed over: the run holds it no longer.
HeldHandle TakeWorkspaceHold();

// Forgets the kept extended free-space query, as at the start of a run.
void ResetFreeSpaceQuery();
