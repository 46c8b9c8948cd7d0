// The exit code of a run. A run without switches ends with the statuses of
// the README (exit_status.h). A run that waits for the setup program
// (/quiet, /passive, /wait) ends with the setup program's own exit code,
// unchanged, once it has run; a run that waits or extracts (/extract=DIR)
// ends each of the launcher's own failures with the Windows error code that
// names it, because deployment consoles print an unknown code with the
// system's text for that number (status 5 would read "Access is denied").
// None of them is 0 or a code the consoles read as success or as a retry
// (1618, 1641, 1707, 3010), and no two are alike:
//
//   status  end                            Windows error code
//        1  cancelled                      1602 ERROR_INSTALL_USEREXIT
//        2  open error                      110 ERROR_OPEN_FAILED
//        3  write error                      29 ERROR_WRITE_FAULT
//        4  decompress error                 13 ERROR_INVALID_DATA
//        5  checksum error                   23 ERROR_CRC
//        6  directory error                  82 ERROR_CANNOT_MAKE
//        7  damaged package                1392 ERROR_FILE_CORRUPT
//        8  no volume with room             112 ERROR_DISK_FULL
//        9  unknown notice                 1359 ERROR_INTERNAL_ERROR
//       10  setup not started              1920 ERROR_CANT_ACCESS_FILE
//       11  token unreadable               1008 ERROR_NO_TOKEN
//       12  no window                      1400 ERROR_INVALID_WINDOW_HANDLE
//       13  workspace not made              148 ERROR_PATH_BUSY
//       14  quit message                   1235 ERROR_REQUEST_ABORTED
//       15  bad command line                160 ERROR_BAD_ARGUMENTS
//      (16) extract folder not empty        145 ERROR_DIR_NOT_EMPTY
//      (17) extract folder not made         267 ERROR_DIRECTORY
//      (18) wait failed                       6 ERROR_INVALID_HANDLE
//
// The ends in parentheses happen only in a run with switches; their numbers
// only key this table and the log, and are never an exit status. An
// extraction that verified every file, and the help, end with 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/app/command_line.h"
#include "launcher/app/exit_status.h"

enum SwitchRunEnd : int {
  kEndExtractFolderNotEmpty = 16,  // /extract=DIR names a folder that holds something
  kEndExtractFolderNotMade = 17,   // DIR could not be made, is a file, or has no ANSI name
  kEndWaitFailed = 18,             // the wait or the setup program's exit code failed
  kEndExtracted = 19,              // /extract=DIR: every file verified
  kEndHelpShown = 20,              // /? or /help
};

struct RunEndRow {
  int status;
  uint32_t windowsCode;     // 0 for the ends that succeed
  const char* windowsName;  // the code's name in the Windows headers
  const char* name;         // the end's name, as the README and the log give it
};

// Every end of a run, in the order of their numbers.
extern const RunEndRow kRunEnds[];
extern const size_t kRunEndCount;

// The row of `status`, or null for a number that names no end.
const RunEndRow* FindRunEnd(int status);

// How the run ended: by the launcher (at `status`), or by the setup program
// it waited for, whose exit code is then the run's.
struct RunOutcome {
  bool setupEnded;
  uint32_t setupExitCode;
  int status;
};

// The process's exit code for `outcome` under `options`: the setup
// program's code when it ended the run; else, in a run that waits or
// extracts, the Windows error code of the status (0 for the ends that
// succeed, ERROR_INTERNAL_ERROR for a number that names no end, and the
// code of a failed wait for "setup started" in a run that waits, which
// never succeeds without the setup program's own code); else the status
// itself, but 0 for the help.
uint32_t ProcessExitCode(const LaunchOptions& options, const RunOutcome& outcome);
