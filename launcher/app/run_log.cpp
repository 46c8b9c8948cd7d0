#include "launcher/app/run_log.h"

#include <cstring>

#include "common/entry_names.h"
#include "decode/notices.h"
#include "launcher/app/wide_text.h"
#include "launcher/app/workspace_cleanup.h"
#include "launcher/res/texts.h"

namespace {

constexpr uint32_t kErrorFileExists = 80;  // ERROR_FILE_EXISTS
// The temporary folder's and the program's paths for the default log:
// longer ones are refused rather than kept in a buffer a stack cannot spare.
constexpr uint32_t kShortPathCapacity = 1024;

HeldHandle g_log = nullptr;
char16_t g_logPath[kWidePathCapacity];  // zeros: no file in the program's bytes

bool WriteToLog(const void* bytes, size_t size) {
  if (!g_log) return false;
  if (g_platform.writeLogFile(g_log, bytes, static_cast<uint32_t>(size))) return true;
  CloseRunLog();  // a log that cannot be written is given up, not the run
  return false;
}

// The file name's stem of `programPath`: from after the last separator to
// its last '.', or to its end without one.
void StemOf(const char16_t* programPath, const char16_t** begin, const char16_t** end) {
  *begin = programPath;
  for (const char16_t* c = programPath; *c; c++) {
    if (*c == u'\\' || *c == u'/') *begin = c + 1;
  }
  *end = nullptr;
  const char16_t* c = *begin;
  for (; *c; c++) {
    if (*c == u'.') *end = c;
  }
  if (!*end) *end = c;
}

bool OpenDefaultLog(uint32_t* error) {
  char16_t temp[kShortPathCapacity];
  char16_t program[kShortPathCapacity];
  if (!g_platform.getTempPathWide(temp, kShortPathCapacity) ||
      !g_platform.getProgramPathWide(program, kShortPathCapacity)) {
    *error = g_platform.lastError();
    return false;
  }
  for (unsigned attempt = 1; attempt <= kDefaultLogAttempts; attempt++) {
    if (!DefaultLogPath(temp, program, attempt, g_logPath, kWidePathCapacity)) {
      *error = 206;  // ERROR_FILENAME_EXCED_RANGE
      return false;
    }
    g_log = g_platform.createLogFile(g_logPath, 0);
    if (g_log) return true;
    *error = g_platform.lastError();
    if (*error != kErrorFileExists && *error != kErrorAlreadyExists) return false;
  }
  return false;
}

bool OpenNamedLog(const char16_t* path, uint32_t* error) {
  if (!g_platform.getFullPathWide(path, g_logPath, kWidePathCapacity)) {
    *error = g_platform.lastError();
    WideText(g_logPath, kWidePathCapacity).Add(path);  // named in the message as given
    return false;
  }
  g_log = g_platform.createLogFile(g_logPath, 1);
  if (!g_log) *error = g_platform.lastError();
  return g_log != nullptr;
}

const char* MethodName(uint16_t method) {
  switch (method) {
    case kMethodCopy:
      return "stored";
    case kMethodLz:
      return "LZ";
    case kMethodLzma:
      return "LZMA";
    default:
      return "unknown";
  }
}

// What the window would say of a final notice, in English.
void AddNoticeMessage(LogLine* line, uint32_t code, const char* path) {
  const char* format = NoticeMessageFormat(code);
  if (code == kNoticeDamagedPackage) {
    line->Add(kDamagedPackageMessage.english);
  } else if (format) {
    const char* mark = strstr(format, "%s");
    if (!mark) {
      line->Add(format);
      return;
    }
    for (const char* c = format; c < mark; c++) {
      const char one[2] = {*c, '\0'};
      line->Add(one);
    }
    line->AddAnsi(path ? path : "").Add(mark + 2);
  } else {
    line->Add("notice ").AddNumber(code).Add(", which names no end");
  }
}

const char* DisplayName(Display display) {
  switch (display) {
    case kDisplayNone:
      return "quiet: no window, no message box";
    case kDisplayProgressOnly:
      return "passive: the progress window, no message box";
    default:
      return "the window and its message boxes";
  }
}

const char* VolumeVerdictName(VolumeVerdict verdict) {
  switch (verdict) {
    case kVolumeChosen:
      return "chosen";
    case kVolumePathMissing:
      return "does not exist";
    case kVolumeNoRoom:
      return "not enough free space";
    case kVolumeNotFixed:
      return "not a fixed drive";
    case kVolumeRefused:
      return "the room, but no workspace could be made there";
    default:
      return "path too long for a workspace";
  }
}

}  // namespace

bool DefaultLogPath(const char16_t* tempPath, const char16_t* programPath, unsigned attempt,
                    char16_t* out, size_t capacity) {
  const char16_t *stem, *stemEnd;
  StemOf(programPath, &stem, &stemEnd);
  WideText text(out, capacity);
  text.Add(tempPath);
  for (const char16_t* c = stem; c < stemEnd; c++) {
    const char16_t one[2] = {*c, u'\0'};
    text.Add(one);
  }
  if (attempt > 1) text.AddAscii("-").AddNumber(attempt);
  text.AddAscii(".log");
  return !text.cut();
}

bool OpenRunLog(const LaunchOptions& options, uint32_t* error) {
  *error = 0;
  g_logPath[0] = u'\0';
  if (!options.log) return true;
  bool opened = options.logPath ? OpenNamedLog(options.logPath, error) : OpenDefaultLog(error);
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  if (opened && !WriteToLog(kByteOrderMark, 3)) {
    *error = g_platform.lastError();
    opened = false;
  }
  return opened;
}

void CloseRunLog() {
  if (g_log) g_platform.release(g_log);
  g_log = nullptr;
}

bool RunLogIsOpen() {
  return g_log != nullptr;
}

const char16_t* RunLogPath() {
  return g_logPath;
}

LogLine::LogLine() : used_(0), open_(g_log != nullptr) {
  if (!open_) return;
  LocalTime now;
  g_platform.getLocalTime(&now);
  const uint32_t fields[] = {now.year,   now.month,  now.day,        now.hour,
                             now.minute, now.second, now.millisecond};
  const int widths[] = {4, 2, 2, 2, 2, 2, 3};
  const char after[] = "-- ::. ";
  for (int i = 0; i < 7; i++) {
    PutDigits(fields[i], widths[i]);
    Put(after[i]);
  }
}

void LogLine::PutDigits(uint32_t value, int count) {
  uint32_t scale = 1;
  for (int i = 1; i < count; i++) scale *= 10;
  for (; scale; scale /= 10) Put(static_cast<char>('0' + value / scale % 10));
}

void LogLine::Flush() {
  if (used_ && open_) open_ = WriteToLog(buffer_, used_);
  used_ = 0;
}

void LogLine::Put(char c) {
  if (!open_) return;
  if (used_ == sizeof buffer_) Flush();
  buffer_[used_++] = c;
}

void LogLine::PutCodePoint(uint32_t c) {
  if (c < 0x80) {
    Put(static_cast<char>(c));
  } else if (c < 0x800) {
    Put(static_cast<char>(0xC0 | (c >> 6)));
    Put(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    Put(static_cast<char>(0xE0 | (c >> 12)));
    Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    Put(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    Put(static_cast<char>(0xF0 | (c >> 18)));
    Put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    Put(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

LogLine& LogLine::Add(const char* text) {
  for (; open_ && *text; text++) Put(*text);
  return *this;
}

LogLine& LogLine::AddWide(const char16_t* text) {
  for (; open_ && *text; text++) {
    uint32_t c = *text;
    bool high = c >= 0xD800 && c < 0xDC00;
    if (high && text[1] >= 0xDC00 && text[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (*++text - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // half a pair: no UTF-8 holds it
    }
    PutCodePoint(c);
  }
  return *this;
}

LogLine& LogLine::AddAnsi(const char* text) {
  if (!open_) return *this;
  char16_t wide[kPathCapacity];
  if (strlen(text) < kPathCapacity && g_platform.ansiToWide(text, wide, kPathCapacity))
    return AddWide(wide);
  static const char kDigits[] = "0123456789ABCDEF";
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; c++) {
    if (*c < 0x80) {
      Put(static_cast<char>(*c));
    } else {
      Add("\\x");
      Put(kDigits[*c >> 4]);
      Put(kDigits[*c & 0xF]);
    }
  }
  return *this;
}

LogLine& LogLine::AddNumber(uint64_t value) {
  char digits[kDecimalCapacity];
  FormatDecimal(value, digits);
  return Add(digits);
}

LogLine& LogLine::AddHex(uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  Add("0x");
  for (int shift = 28; shift >= 0; shift -= 4) Put(kDigits[(value >> shift) & 0xF]);
  return *this;
}

void LogLine::End() {
  Put('\r');
  Put('\n');
  Flush();
}

void LogRunStart(const char* version, const char16_t* commandLine, const LaunchOptions& options) {
  LogLine().Add("launcher ").Add(version).Add(", log ").AddWide(RunLogPath()).End();
  LogLine().Add("command line: ").AddWide(commandLine).End();
  LogLine line;
  line.Add("mode: ").Add(DisplayName(DisplayOf(options)));
  if (options.extractDirectory) {
    line.Add("; extracts into ").AddWide(options.extractDirectory).Add(", starts nothing");
  } else if (WaitsForSetup(options)) {
    line.Add("; waits for the setup program and every process it starts");
    line.Add(RemovesWorkspace(options) ? "; removes the workspace after the wait"
                                       : "; keeps the workspace");
  } else {
    line.Add("; does not wait for the setup program");
  }
  line.Add(UsesWindowsExitCodes(options) ? "; exit codes: Windows error codes"
                                         : "; exit codes: the launcher's statuses");
  line.Add("; arguments for the setup program: ").AddNumber(options.setupArgumentCount).End();
}

void LogVolume(const char* base, VolumeVerdict verdict, bool freeKnown, uint64_t freeBytes) {
  LogLine line;
  line.Add("volume ").AddAnsi(base).Add(": ").Add(VolumeVerdictName(verdict));
  if (freeKnown) line.Add(" (").AddNumber(freeBytes / 1048576).Add(" MiB free)");
  line.End();
}

void LogRoomNeeded(const PackageNeeds& needs, uint64_t needed) {
  LogLine line;
  line.Add("room needed: ").AddNumber(needed / 1048576).Add(" MiB (package copy ");
  line.AddNumber(needs.copyBytes).Add(" bytes, ").AddNumber(needs.fileCount).Add(" files of ");
  line.AddNumber(needs.fileBytes).Add(" bytes)").End();
}

void LogWorkspace(const char* path, bool extractFolder) {
  LogLine().Add(extractFolder ? "extraction folder " : "workspace ").AddAnsi(path).End();
}

void LogEntry(const EntryHeader& entry, uint32_t noticeCode, const char* failedPath) {
  LogLine line;
  line.Add("entry ");
  if (entry.subdirectory[0]) line.AddAnsi(entry.subdirectory).Add("\\");
  line.AddAnsi(entry.fileName).Add(": ").AddNumber(entry.fileSize).Add(" bytes, method ");
  line.AddNumber(entry.method).Add(" (").Add(MethodName(entry.method)).Add("), ");
  if (noticeCode == kNoticeSuccess) {
    line.Add("verified").End();
    return;
  }
  line.Add("FAILED: ");
  AddNoticeMessage(&line, noticeCode, failedPath);
  line.End();
}

void LogNotice(uint32_t noticeCode, const char* path) {
  LogLine line;
  line.Add("failed: ");
  AddNoticeMessage(&line, noticeCode, path);
  line.End();
}

void LogMessage(const char16_t* text, bool shown) {
  LogLine line;
  line.Add(shown ? "message shown: " : "message not shown (no message box in this mode): ");
  line.AddWide(text).End();
}

void LogSetupCommandLine(const char16_t* commandLine) {
  LogLine().Add("setup command line (wide): ").AddWide(commandLine).End();
}

void LogSetupCommandLineAnsi(const char* commandLine) {
  LogLine().Add("setup command line (ANSI): ").AddAnsi(commandLine).End();
}

void LogSetupStart(bool started, const SetupProcess& process, uint32_t error) {
  LogLine line;
  if (!started) {
    line.Add("setup program not started: error ").AddNumber(error).End();
    return;
  }
  line.Add("setup program started, process ").AddNumber(process.processId).Add("; ");
  switch (process.join) {
    case kSetupInJob:
      line.Add("waiting for it and every process it starts (job object)");
      break;
    case kSetupJobNotMade:
      line.Add("waiting for the setup program alone: no job object could be made, error ");
      line.AddNumber(process.joinError).Add("; a process it leaves running is not waited for");
      break;
    case kSetupJobNotJoined:
      line.Add("waiting for the setup program alone: it could not join a job object, error ");
      line.AddNumber(process.joinError).Add("; a process it leaves running is not waited for");
      break;
    default:
      line.Add("not waited for");
      break;
  }
  line.End();
}

void LogSetupEnd(bool waited, uint32_t exitCode, uint32_t error) {
  LogLine line;
  if (!waited) {
    line.Add("the wait for the setup program failed: error ").AddNumber(error).End();
    return;
  }
  line.Add("setup program ended with exit code ").AddNumber(exitCode).Add(" (");
  line.AddHex(exitCode).Add("); the wait is over").End();
}

void LogCleanup(const char* workspace, const CleanupReport& report, const char* unscheduled) {
  LogLine line;
  line.Add("workspace ").AddAnsi(workspace);
  if (report.gone) {
    line.Add(" removed (").AddNumber(report.removed).Add(" entries, ");
    line.AddNumber(report.passes).Add(" passes)").End();
    return;
  }
  line.Add(": ").AddNumber(report.left).Add(" entries could not be removed (first error ");
  line.AddNumber(report.firstError).Add("); ");
  if (report.scheduled) {
    line.AddNumber(report.scheduled).Add(" scheduled for deletion when Windows next starts");
  } else if (unscheduled) {
    line.Add("none scheduled for deletion at restart: ").Add(unscheduled);
  } else {
    line.Add("none scheduled for deletion at restart");
  }
  line.End();
}

void LogWorkspaceKept(const char* workspace, const char* why) {
  LogLine().Add("workspace ").AddAnsi(workspace).Add(" kept: ").Add(why).End();
}

void LogRunEnd(const LaunchOptions& options, const RunOutcome& outcome) {
  uint32_t code = ProcessExitCode(options, outcome);
  LogLine line;
  if (outcome.setupEnded) {
    line.Add("end: by the setup program; exit code ").AddNumber(code).End();
    return;
  }
  const RunEndRow* row = FindRunEnd(outcome.status);
  line.Add("end: by the launcher, status ").AddNumber(static_cast<uint32_t>(outcome.status));
  line.Add(" (").Add(row ? row->name : "unknown").Add("); exit code ").AddNumber(code);
  if (row && UsesWindowsExitCodes(options) && code == row->windowsCode)
    line.Add(" (").Add(row->windowsName).Add(")");
  line.End();
}
