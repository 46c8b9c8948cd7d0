// The launcher's exit statuses, for whatever runs it unattended (deployment
// tools, scripts, an installer's smoke test). Zero only when the setup
// program was started; every other end has a status of its own, shown after
// the same message box as always. The README's table lists them; keep the
// two alike (the Wine suite checks every end against the README).
#pragma once

#include <cstdint>

#include "decode/notices.h"

enum ExitStatus : int {
  kExitSetupStarted = 0,
  kExitCancelled = 1,  // Escape, or any close request that cancels the dialog
  // 2 to 7: the failure notice's own code.
  kExitOpenError = kNoticeOpenError,
  kExitWriteError = kNoticeWriteError,
  kExitDecompressError = kNoticeDecompressError,
  kExitChecksumError = kNoticeChecksumError,
  kExitDirectoryError = kNoticeDirectoryError,
  kExitDamagedPackage = kNoticeDamagedPackage,
  kExitNoSpace = 8,            // no volume with room for the workspace
  kExitUnknownNotice = 9,      // a notice whose code means nothing
  kExitSetupNotStarted = 10,   // QWSetup.exe could not be started
  kExitTokenUnreadable = 11,   // the process token could not be read: nothing made
  kExitNoWindow = 12,          // the progress window could not be created
  kExitWorkspaceNotMade = 13,  // volumes had the room, but none took a workspace
  kExitQuit = 14,              // a quit message ended the window's loop, as a cancel does
  kExitBadCommandLine = 15,    // a switch unknown or without its path: nothing unpacked
};

// The status of a run that ends at a final or unknown notice other than
// success, whose status depends on the launch.
inline int ExitStatusOfFailureNotice(uint32_t code) {
  return code > kNoticeSuccess && code <= kNoticeDamagedPackage ? static_cast<int>(code)
                                                                : kExitUnknownNotice;
}
