#include "launcher/app/exit_codes.h"

namespace {

constexpr uint32_t kErrorInternalError = 1359;  // ERROR_INTERNAL_ERROR

}  // namespace

const RunEndRow kRunEnds[] = {
    {kExitSetupStarted, 0, "ERROR_SUCCESS", "setup started"},
    {kExitCancelled, 1602, "ERROR_INSTALL_USEREXIT", "cancelled"},
    {kExitOpenError, 110, "ERROR_OPEN_FAILED", "open error"},
    {kExitWriteError, 29, "ERROR_WRITE_FAULT", "write error"},
    {kExitDecompressError, 13, "ERROR_INVALID_DATA", "decompress error"},
    {kExitChecksumError, 23, "ERROR_CRC", "checksum error"},
    {kExitDirectoryError, 82, "ERROR_CANNOT_MAKE", "directory error"},
    {kExitDamagedPackage, 1392, "ERROR_FILE_CORRUPT", "damaged package"},
    {kExitNoSpace, 112, "ERROR_DISK_FULL", "no volume with room"},
    {kExitUnknownNotice, kErrorInternalError, "ERROR_INTERNAL_ERROR", "unknown notice"},
    {kExitSetupNotStarted, 1920, "ERROR_CANT_ACCESS_FILE", "setup not started"},
    {kExitTokenUnreadable, 1008, "ERROR_NO_TOKEN", "token unreadable"},
    {kExitNoWindow, 1400, "ERROR_INVALID_WINDOW_HANDLE", "no window"},
    {kExitWorkspaceNotMade, 148, "ERROR_PATH_BUSY", "workspace not made"},
    {kExitQuit, 1235, "ERROR_REQUEST_ABORTED", "quit message"},
    {kExitBadCommandLine, 160, "ERROR_BAD_ARGUMENTS", "bad command line"},
    {kEndExtractFolderNotEmpty, 145, "ERROR_DIR_NOT_EMPTY", "extract folder not empty"},
    {kEndExtractFolderNotMade, 267, "ERROR_DIRECTORY", "extract folder not made"},
    {kEndWaitFailed, 6, "ERROR_INVALID_HANDLE", "wait failed"},
    {kEndExtracted, 0, "ERROR_SUCCESS", "extracted"},
    {kEndHelpShown, 0, "ERROR_SUCCESS", "help shown"},
};
const size_t kRunEndCount = sizeof kRunEnds / sizeof kRunEnds[0];

const RunEndRow* FindRunEnd(int status) {
  for (size_t i = 0; i < kRunEndCount; i++) {
    if (kRunEnds[i].status == status) return &kRunEnds[i];
  }
  return nullptr;
}

uint32_t ProcessExitCode(const LaunchOptions& options, const RunOutcome& outcome) {
  if (outcome.setupEnded) return outcome.setupExitCode;
  if (outcome.status == kEndHelpShown) return 0;
  if (!UsesWindowsExitCodes(options)) return static_cast<uint32_t>(outcome.status);
  int status = outcome.status;
  // A waiting run succeeds only through the setup program's own code.
  if (status == kExitSetupStarted && WaitsForSetup(options)) status = kEndWaitFailed;
  const RunEndRow* row = FindRunEnd(status);
  return row ? row->windowsCode : kErrorInternalError;
}
