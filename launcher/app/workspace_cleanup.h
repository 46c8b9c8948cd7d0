// After a wait: the workspace removed, files still in use retried for a
// moment, and what then remains (when the launcher has administrator
// rights) scheduled for deletion when the system next starts. Whatever
// the setup program left inside goes too, names outside the code page
// included: the walk is wide.
//
// A reparse point inside (a junction, a symbolic link) is removed as a
// link, never followed: whoever made it, nothing outside the workspace is
// ever deleted. The workspace's own DACL and mandatory label keep
// unelevated programs from planting one there in an elevated run; this
// holds for whatever the setup program itself made. The holds on the
// workspace must be let go before the removal, which they would refuse.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Removes the workspace at `workspace` (an ANSI path, as the run made it)
// and everything in it: passes until nothing is left or kCleanupPasses
// have been made, kCleanupPauseMs apart; when `elevated`, the last pass
// schedules every entry it cannot remove for deletion at restart, each
// folder after what it holds. A workspace that is a reparse point itself
// is removed as a link. True when the workspace is gone (or was never
// there); `left` counts what is still there, scheduled or not.
bool RemoveWorkspaceTree(const char* workspace, bool elevated, CleanupReport* report);

// The path Win32's wide calls take beyond MAX_PATH: "\\?\" before a drive
// path, "\\?\UNC\" for a share; other paths (already so, or relative) as
// they are. False when it does not fit in `capacity` units.
bool ExtendedLengthPath(const char16_t* path, char16_t* out, size_t capacity);
