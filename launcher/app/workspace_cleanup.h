// After a wait: the workspace removed, files still in use retried for a
// moment, and what then remains scheduled for deletion when the system
// next starts, where that is safe. Whatever the setup program left inside
// goes too, names outside the code page included: the walk is wide.
//
// The walk goes down from the workspace's hold by handles: each entry is
// opened inside the folder already open, as itself, and deleted through
// that handle. A link inside (a junction, a symbolic link) is removed as a
// link, never followed, and the workspace's path is never walked: a
// program that renames the temporary folder or plants a junction on the
// way meanwhile decides nothing that is deleted. Only the emptied
// workspace itself is removed by its path, once its hold (which lets no
// one delete it, the launcher included) is let go: what may sit at that
// path by then is an empty folder or a link, and either goes itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr unsigned kCleanupPasses = 15;    // removal passes at most,
constexpr uint32_t kCleanupPauseMs = 200;  // this far apart: 3 s in all
constexpr unsigned kCleanupDepth = 128;    // folders deeper are left alone

struct CleanupReport {
  uint32_t removed;     // files, folders and links removed, the workspace included
  uint32_t left;        // still there after the last pass
  uint32_t scheduled;   // of those, scheduled for deletion at restart
  uint32_t firstError;  // the Win32 error of the first removal that failed last
  uint32_t passes;      // removal passes made
  bool gone;            // the workspace itself is gone
};

// Removes everything in the held workspace `*hold`, then the workspace at
// `workspace` (its ANSI path, as the run made it): passes until nothing is
// left or kCleanupPasses have been made, kCleanupPauseMs apart; with
// `scheduleAtRestart`, the last pass schedules every entry it cannot
// remove for deletion at restart by its path under `workspace`, each
// folder after what it holds. Lets go of the hold (*hold becomes null).
// True when the workspace is gone; `left` counts what is still there,
// scheduled or not.
bool RemoveWorkspaceTree(HeldHandle* hold, const char* workspace, bool scheduleAtRestart,
                         CleanupReport* report);

// Whether a deletion at restart by a path under `workspace` reaches what
// the launcher means: the system deletes by path long after the launcher
// has let go, and where other programs of the user may rename the
// workspace (their own temporary folder) they could put a junction at
// its name first and have the system delete what it leads to. Safe when
// the workspace lies at a drive's root, where only its maker may rename
// it, or the run is the system's own (`userSid` S-1-5-18), whose temporary
// folder no user may rename in.
bool RestartDeletionIsSafe(const char* userSid, const char* workspace);

// The path Win32's wide calls take beyond MAX_PATH: "\\?\" before a drive
// path, "\\?\UNC\" for a share; other paths (already so, or relative) as
// they are. False when it does not fit in `capacity` units.
bool ExtendedLengthPath(const char16_t* path, char16_t* out, size_t capacity);
