#include "launcher/app/run_control.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decode/notices.h"
#include "decode/unpack.h"
#include "launcher/app/exit_codes.h"
#include "launcher/app/exit_status.h"
#include "launcher/app/extract_folder.h"
#include "launcher/app/launch_command.h"
#include "launcher/app/room.h"
#include "launcher/app/run_log.h"
#include "launcher/app/setup_wait.h"
#include "launcher/app/switch_texts.h"
#include "launcher/app/wide_text.h"
#include "launcher/app/workspace.h"
#include "launcher/app/workspace_cleanup.h"
#include "launcher/res/product_name.h"
#include "launcher/res/texts.h"
#include "launcher/run_state.h"
#include "launcher/winfx/app.h"
#include "launcher/worker.h"
#include "qw_version.h"

namespace {

ArgumentList g_arguments;  // 64 KB: kept out of the stack
LaunchOptions g_options;
bool g_elevated = false;  // the token may schedule deletions at restart
char16_t g_setupCommandLine[kCommandLineCapacity];
constexpr size_t kTextCapacity = 4096;

bool ShowsBoxes() {
  return DisplayOf(g_options) == kDisplayFull;
}

// The run's end logged and the log closed: the process's exit code.
uint32_t CloseRun(const RunOutcome& outcome) {
  LogRunEnd(g_options, outcome);
  CloseRunLog();
  return ProcessExitCode(g_options, outcome);
}

[[noreturn]] void End(const RunOutcome& outcome) {
  exit(static_cast<int>(CloseRun(outcome)));
}

[[noreturn]] void EndAt(int status) {
  End(RunOutcome{false, 0, status});
}

const char16_t* Wide16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

// Text in the ANSI code page, widened as the narrow calls would widen it.
void Widen(const char* text, wchar_t* wide, int capacity) {
  if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide, capacity)) wide[0] = L'\0';
}

// A message captioned with the product's name, shown where the display
// allows message boxes and written to the log either way: in a quiet run
// the log says everything a box would have said.
void ReportWide(HWND owner, const wchar_t* text) {
  bool shown = ShowsBoxes();
  if (shown) {
    wchar_t caption[kProductNameCapacity];
    LoadProductName(g_runState.uiLanguage, caption);
    MessageBoxW(owner, text, caption, 0);
  }
  LogMessage(Wide16(text), shown);
}

void ReportWithProductName(HWND owner, const char* text) {
  wchar_t wide[kPathCapacity];
  Widen(text, wide, kPathCapacity);
  ReportWide(owner, wide);
}

// A per-file failure, captioned with the application's name.
void ReportFileError(HWND owner, const char* format, const char* path) {
  char message[2 * kPathCapacity];
  snprintf(message, sizeof message, format, path);
  bool shown = ShowsBoxes();
  if (shown) MessageBoxA(owner, message, AfxGetAppName(), 0);
  wchar_t wide[2 * kPathCapacity];
  Widen(message, wide, 2 * kPathCapacity);
  LogMessage(Wide16(wide), shown);
}

void ReportFailureNotice(HWND owner, uint32_t code, const char* path) {
  LogNotice(code, path);
  switch (code) {
    case kNoticeOpenError:
      return ReportFileError(owner, kOpenFileError, path);
    case kNoticeWriteError:
      return ReportFileError(owner, kWriteFileError, path);
    case kNoticeDecompressError:
      return ReportFileError(owner, kDecompressFileError, path);
    case kNoticeChecksumError:
      return ReportFileError(owner, kChecksumFileError, path);
    case kNoticeDirectoryError:
      return ReportFileError(owner, kCreateDirectoryError, path);
    case kNoticeDamagedPackage:
      return ReportWithProductName(owner,
                                   SelectText(kDamagedPackageMessage, g_runState.uiLanguage));
    default:  // unknown codes end the run without a word
      return;
  }
}

// The program's own file name, for the help's examples.
const char16_t* ProgramName(char16_t* buffer, uint32_t capacity) {
  if (!g_platform.getProgramPathWide(buffer, capacity)) return u"Setup.exe";
  const char16_t* name = buffer;
  for (const char16_t* c = buffer; *c; c++)
    if (*c == u'\\' || *c == u'/') name = c + 1;
  return name;
}

[[noreturn]] void ShowHelp() {
  static char16_t help[kTextCapacity];
  char16_t path[kPathCapacity];
  FormatHelp(ProgramName(path, kPathCapacity), help, kTextCapacity);
  g_platform.writeParentConsole(help);
  if (DisplayOf(g_options) != kDisplayNone) {
    wchar_t caption[kProductNameCapacity];
    LoadProductName(g_runState.uiLanguage, caption);
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(help), caption, 0);
  }
  EndAt(kEndHelpShown);
}

void PrepareExtraction(HWND owner) {
  char sddl[kWorkspaceSecurityCapacity];
  if (!ReadWorkspaceSecurity(sddl, sizeof sddl, &g_elevated)) {
    ReportWithProductName(owner, SelectText(kTokenUnreadableMessage, g_runState.uiLanguage));
    EndAt(kExitTokenUnreadable);
  }
  static ExtractFolder folder;
  ExtractFolderOutcome outcome = PrepareExtractFolder(g_options.extractDirectory, sddl, &folder);
  if (outcome == kExtractFolderReady) {
    // The worker reaches the folder through a handle, as it does a workspace.
    HeldHandle hold = folder.hold ? folder.hold : g_platform.holdDirectory(folder.path);
    if (hold && AdoptHeldFolder(hold)) {
      LogWorkspace(g_runState.workspacePath, true);
      return;
    }
    if (hold) g_platform.release(hold);
    outcome = kExtractFolderNotMade;
  }
  wchar_t text[kTextCapacity];
  WideText message(reinterpret_cast<char16_t*>(text), kTextCapacity);
  message.AddAscii("The folder ").Add(g_options.extractDirectory);
  message.AddAscii(outcome == kExtractFolderNotEmpty ? " is not empty: nothing was extracted."
                                                     : " cannot be made: nothing was extracted.");
  ReportWide(owner, text);
  EndAt(outcome == kExtractFolderNotEmpty ? kEndExtractFolderNotEmpty : kEndExtractFolderNotMade);
}

// Lets go of the setup program and the workspace: on every end of the
// start but the one below.
void ReleaseHolds() {
  ReleaseVerifiedSetup();
  ReleaseWorkspace();
}

// Once the setup program runs, the launcher lets go of it; of the
// workspace too, unless it removes the workspace after the wait, which it
// does down from that hold.
void ReleaseAtStart() {
  ReleaseVerifiedSetup();
  if (!WaitsForSetup(g_options) || !RemovesWorkspace(g_options)) ReleaseWorkspace();
}

// After a wait: the workspace removed, or kept for /keep.
void CleanUpAfterWait() {
  if (!RemovesWorkspace(g_options)) {
    LogWorkspaceKept(g_runState.workspacePath, "/keep");
    return;
  }
  TokenFacts token;
  bool safe = g_platform.readToken(&token) &&
              RestartDeletionIsSafe(token.userSid, g_runState.workspacePath);
  const char* unscheduled = !g_elevated ? "the launcher has no administrator rights"
                            : !safe     ? "other programs of the user could point its path "
                                          "elsewhere before then"
                                        : nullptr;
  HeldHandle hold = TakeWorkspaceHold();
  CleanupReport report;
  RemoveWorkspaceTree(&hold, g_runState.workspacePath, !unscheduled, &report);
  LogCleanup(g_runState.workspacePath, report, unscheduled);
}

// The start of a run with switches: the wide call, with the arguments after
// "--", the setup program checked through its hold first as ever; waited
// for with everything it starts when the switches ask for it.
RunOutcome StartSetupWide(HWND owner, char* failedPath) {
  const VerifiedSetup& setup = VerifiedSetupProgram();
  char program[kPathCapacity], ansiCommandLine[kPathCapacity], held[kPathCapacity];
  RunOutcome outcome = {false, 0, kExitSetupNotStarted};
  if (!ComposeSetupLaunch(g_runState.workspacePath, program, ansiCommandLine, kPathCapacity)) {
    memcpy(failedPath, g_runState.workspacePath, strlen(g_runState.workspacePath) + 1);
    ReleaseHolds();
    return outcome;
  }
  memcpy(failedPath, program, strlen(program) + 1);
  char16_t wideProgram[kMaxSetupProgramLength + 1];
  if (!setup.file || !g_platform.finalPath(setup.file, held, sizeof held)) {
    ReleaseHolds();
    return outcome;
  }
  if (!HeldFileMatches(setup.file, setup.written)) {
    ReleaseHolds();
    return RunOutcome{false, 0, kExitChecksumError};
  }
  if (!g_platform.ansiToWide(held, wideProgram, kMaxSetupProgramLength + 1) ||
      !ComposeSetupCommandLine(wideProgram, g_options, g_setupCommandLine, kCommandLineCapacity)) {
    ReleaseHolds();
    return outcome;
  }
  bool wait = WaitsForSetup(g_options);
  // The window would not be drawn while the launcher waits.
  if (wait && owner) ShowWindow(owner, SW_HIDE);
  SetupRun run;
  RunSetupProgram(wideProgram, g_setupCommandLine, wait, &run, ReleaseAtStart);
  if (!run.started) ReleaseHolds();
  outcome = OutcomeOfSetupRun(run, wait);
  if (run.waited) CleanUpAfterWait();
  ReleaseWorkspace();
  return outcome;
}

[[noreturn]] void FinishSuccess(HWND owner) {
  if (g_options.extractDirectory) {
    ReleaseHolds();
    EndAt(kEndExtracted);
  }
  char failed[kPathCapacity] = "";
  RunOutcome outcome;
  if (StartsSetupWide(g_options)) {
    outcome = StartSetupWide(owner, failed);
  } else {
    // As without switches: the ANSI call, not waited for.
    outcome = RunOutcome{false, 0, StartSetupProgram(failed)};
  }
  if (outcome.status == kExitChecksumError) ReportFileError(owner, kChecksumFileError, failed);
  if (outcome.status == kExitSetupNotStarted) ReportFileError(owner, kRunFileError, failed);
  End(outcome);
}

// The worker's notices in a run without a window: progress is dropped,
// and the final notice ends the run on this thread.
void DeliverQuietly(void*, uint32_t code, uintptr_t value) {
  if (code == kNoticeProgress) return;
  FinishRun(nullptr, code, code == kNoticeSuccess ? "" : reinterpret_cast<const char*>(value));
}

void SendToSink(void* target, uint32_t code, uintptr_t value) {
  const NoticeSink* sink = static_cast<const NoticeSink*>(target);
  sink->deliver(sink->context, code, value);
}

}  // namespace

const LaunchOptions& RunOptions() {
  return g_options;
}

void BeginRun() {
  ParseCommandLine(g_platform.getCommandLineWide(), &g_arguments, &g_options);
  uint32_t error = 0;
  wchar_t text[kTextCapacity];
  if (!OpenRunLog(g_options, &error)) {
    FormatLogNotCreated(RunLogPath(), error, reinterpret_cast<char16_t*>(text), kTextCapacity);
    ReportWide(nullptr, text);
    EndAt(kExitBadCommandLine);
  }
  LogRunStart(QW_VERSION_STRING, g_platform.getCommandLineWide(), g_options);
  if (g_options.problem != kCommandLineFine) {
    FormatCommandLineProblem(g_options, reinterpret_cast<char16_t*>(text), kTextCapacity);
    ReportWide(nullptr, text);
    EndAt(kExitBadCommandLine);
  }
  if (g_options.help) ShowHelp();
}

void PrepareRun(HWND owner) {
  DWORD length = GetModuleFileNameA(nullptr, g_runState.programPath, kPathCapacity);
  if (length >= kPathCapacity) length = 0;  // truncated: no path rather than a wrong one
  g_runState.programPath[length] = '\0';
  if (g_options.extractDirectory) return PrepareExtraction(owner);

  char sddl[kWorkspaceSecurityCapacity];
  ReadWorkspaceSecurity(sddl, sizeof sddl, &g_elevated);
  WorkspaceOutcome workspace = PrepareWorkspace(ReadRoomNeeded());
  if (workspace == kWorkspaceReady) return;
  // Unreadable rights fail closed: no workspace whose trustees are a guess.
  const TextPair* message = &kNoSpaceMessage;
  int status = kExitNoSpace;
  if (workspace == kWorkspaceTokenUnreadable) {
    message = &kTokenUnreadableMessage;
    status = kExitTokenUnreadable;
  } else if (workspace == kWorkspaceNotMade) {
    message = &kWorkspaceNotMadeMessage;
    status = kExitWorkspaceNotMade;
  }
  ReportWithProductName(owner, SelectText(*message, g_runState.uiLanguage));
  EndAt(status);
}

void FinishRun(HWND owner, uint32_t code, const char* path) {
  // Every final notice comes after the worker has closed the package copy.
  g_platform.deleteFileIn(g_runState.workspace, kPackageCopyName);
  if (code == kNoticeSuccess) FinishSuccess(owner);
  ReportFailureNotice(owner, code, path);
  EndAt(ExitStatusOfFailureNotice(code));
}

uint32_t ExitCodeOfWindowEnd(int status) {
  return CloseRun(RunOutcome{false, 0, status});
}

void RunQuietly() {
  PrepareRun(nullptr);
  static NoticeSink sink = {DeliverQuietly, nullptr};
  g_platform.sendNotice = SendToSink;
  g_runState.noticeTarget = &sink;
  ExtractionWorkerMain(nullptr);
  EndAt(kExitUnknownNotice);  // the worker always ends with a final notice
}
