// The log of a run with /log or /log=FILE: UTF-8 text (with a byte-order
// mark, for the editors that would guess a code page), one line per event,
// each line stamped with the local time and handed to the system by a
// write of its own as it is made, so that a launcher ended by a deployment
// tool's time-out has lost no line. In a quiet run the log and the exit
// code are all there is, so it says everything a message box would have.
//
// Where it goes: /log=FILE writes FILE (relative to the current folder),
// replacing a plain file there. /log alone writes the temporary folder
// (GetTempPathW) + the launcher's file name up to its last '.' + ".log"
// (%TEMP%\Setup.log for Setup.exe); where a file of that name is there
// already, "-2", "-3", ... up to "-99" are tried before ".log": a file in
// the temporary folder, which every program of the user can write, is
// never replaced by the elevated launcher.
//
// Every function here does nothing while no log is open, and a write that
// fails stops the log for the rest of the run (the run goes on).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/container.h"
#include "decode/package_needs.h"
#include "launcher/app/command_line.h"
#include "launcher/app/exit_codes.h"
#include "launcher/app/workspace_cleanup.h"
#include "platform/platform.h"

// The longest wide path the log takes, terminator included.
constexpr size_t kWidePathCapacity = kCommandLineCapacity;
constexpr unsigned kDefaultLogAttempts = 99;

// The default log's path for `attempt` (1: "<stem>.log", n > 1:
// "<stem>-n.log") in `tempPath` (ending in a separator) for the program at
// `programPath`. False when it does not fit.
bool DefaultLogPath(const char16_t* tempPath, const char16_t* programPath, unsigned attempt,
                    char16_t* out, size_t capacity);

// Opens the log the options ask for, writing its first bytes (the mark).
// True when none is asked or it was opened; false, with the Win32 error
// in *error and the path tried in RunLogPath(), when it could not be made:
// the run ends as for a problem of its command line.
bool OpenRunLog(const LaunchOptions& options, uint32_t* error);
void CloseRunLog();
bool RunLogIsOpen();
const char16_t* RunLogPath();  // the path opened or last tried; empty before

// One line of the log, put together piece by piece: a full buffer goes to
// the file and the line goes on, so that no piece is cut. End() writes the
// line's end. Pieces are UTF-8 (Add), UTF-16 (AddWide, unpaired
// surrogates as U+FFFD) or the ANSI code page (AddAnsi; bytes that do not
// convert as \xNN).
class LogLine {
 public:
  LogLine();  // begins with "YYYY-MM-DD hh:mm:ss.mmm "
  LogLine& Add(const char* text);
  LogLine& AddWide(const char16_t* text);
  LogLine& AddAnsi(const char* text);
  LogLine& AddNumber(uint64_t value);
  LogLine& AddHex(uint32_t value);  // "0x" and eight digits
  void End();

 private:
  void Put(char c);
  void PutDigits(uint32_t value, int count);  // `count` digits, leading zeros
  void PutCodePoint(uint32_t c);
  void Flush();

  char buffer_[512];
  size_t used_;
  bool open_;
};

// The run's start: the launcher's version, its command line whole, and
// what the switches made of it.
void LogRunStart(const char* version, const char16_t* commandLine, const LaunchOptions& options);

enum VolumeVerdict {
  kVolumeChosen,       // the workspace is made there
  kVolumePathMissing,  // the path does not exist
  kVolumeNoRoom,       // less free than the workspace needs (or the query failed)
  kVolumeNotFixed,     // a drive of another kind
  kVolumeTooLong,      // a base longer than the workspace path allows
  kVolumeRefused,      // the room, but no workspace could be made there
};
// A volume tried for the workspace: its base path, the verdict, and its
// free bytes where they are known (`freeKnown`).
void LogVolume(const char* base, VolumeVerdict verdict, bool freeKnown, uint64_t freeBytes);
// What the package needs on disk and the free space a volume must have.
void LogRoomNeeded(const PackageNeeds& needs, uint64_t needed);
// The workspace made (or the folder /extract=DIR unpacks into).
void LogWorkspace(const char* path, bool extractFolder);

// An entry: its name under the workspace, size, method, and "verified" for
// kNoticeSuccess or the failure notice's message with `failedPath`.
void LogEntry(const EntryHeader& entry, uint32_t noticeCode, const char* failedPath);
// A final notice that names no entry (the package copy, the damaged package).
void LogNotice(uint32_t noticeCode, const char* path);
// A message the run shows, or would have shown but for /quiet or /passive.
void LogMessage(const char16_t* text, bool shown);

// The setup program's command line as it is started (wide or ANSI).
void LogSetupCommandLine(const char16_t* commandLine);
void LogSetupCommandLineAnsi(const char* commandLine);
// Its start: the process and what the wait will cover; or why it did not start.
void LogSetupStart(bool started, const SetupProcess& process, uint32_t error);
// The wait's end: the setup program's exit code, or the error of the wait.
void LogSetupEnd(bool waited, uint32_t exitCode, uint32_t error);

// The workspace's removal; `unscheduled` says why nothing left was
// scheduled for deletion at restart (null when it may have been).
void LogCleanup(const char* workspace, const CleanupReport& report, const char* unscheduled);
void LogWorkspaceKept(const char* workspace, const char* why);

// The run's end: which side ended it, the status and its name, and the exit code.
void LogRunEnd(const LaunchOptions& options, const RunOutcome& outcome);
