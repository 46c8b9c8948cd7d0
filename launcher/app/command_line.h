// The launcher's own command line: split as Windows splits it, read as
// switches, and the arguments meant for the setup program quoted back into
// the setup program's command line.
//
// Wide text is UTF-16 in char16_t, the representation of wchar_t on
// Windows, so that the Linux build and its tests run the very code units
// GetCommandLineW gives and CreateProcessW takes.
//
// Switches are case-insensitive and start with '/' or '-':
//   /quiet, /S     no window and no message box; wait for the setup program
//   /passive       the progress window, no message box; wait
//   /wait          the window and the message boxes as always; wait
//   /log           a UTF-8 log at the default path (run_log.h)
//   /log=FILE      a UTF-8 log at FILE
//   /extract=DIR   unpack and verify into DIR, start nothing
//   /keep          keep the workspace after a wait
//   /?, /help      the switches and the exit codes
//   --             every argument after it goes to the setup program
// How they combine:
//   - the quietest display asked for wins, whatever the order: /quiet over
//     /passive over /wait. A message box that nobody can close would hang an
//     unattended run, and deployment tools append switches of their own to
//     an administrator's; each of the three waits for the setup program.
//   - /extract=DIR starts nothing, so /wait, /keep and the arguments after
//     "--" do nothing beside it; /quiet and /passive still choose its display.
//   - a switch given twice takes its last value (/log=a /log=b logs to b).
//   - /? shows the help and does nothing else, unless the command line also
//     holds a problem, which is reported instead.
//   - anything before "--" that is no switch above is a problem (an unknown
//     switch), as are /extract and /log= without a path: it is reported by
//     name and nothing is unpacked.
// Starting the setup program: a run that neither waits nor passes arguments
// (every run without a switch among them) keeps the ANSI start,
// CreateProcessA with "\"<workspace>\QWSetup.exe\" -D" exactly as before
// (launch_command.h). Every other run starts it by CreateProcessW with the
// command line ComposeSetupCommandLine makes: the same head, the workspace
// path widened from the ANSI code page, then the quoted arguments.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest command line CreateProcessW takes, its terminator included,
// in UTF-16 units; GetCommandLineW gives no longer one.
constexpr size_t kCommandLineCapacity = 32768;
// More arguments than this are a problem of the command line.
constexpr size_t kMaxArguments = 512;
// The longest program path the setup command line's head may hold, in
// UTF-16 units: a workspace path of a 520-byte ANSI buffer widens to at
// most 519 units, plus "\QWSetup.exe".
constexpr size_t kMaxSetupProgramLength = 519 + 12;

// Arguments split from one command line; each item points into `text`.
struct ArgumentList {
  size_t count;
  const char16_t* items[kMaxArguments];
  char16_t text[kCommandLineCapacity];
};

// Splits `line` as CommandLineToArgvW does. The first argument is the
// program's name: after a '"' it runs to the next '"' (or the end) and the
// next argument starts right after that quote; otherwise it runs to the
// first space, tab, CR, LF, VT or FF, which is skipped. The other arguments
// are separated by spaces and tabs only; 2n backslashes before a '"' give n
// backslashes and the quote toggles quoting, 2n+1 give n and a literal
// '"'; other backslashes are literal; inside quotes, a run of quotes counts
// with the opening one, each third giving a literal '"', and leaves quoting
// unless the count is a multiple of three. An empty line gives one empty
// argument (where CommandLineToArgvW would give the program's path). False
// when the line is longer than kCommandLineCapacity - 1 (the list is then
// empty) or has more than kMaxArguments arguments (the list then holds the
// first kMaxArguments).
bool SplitCommandLine(const char16_t* line, ArgumentList* list);

enum CommandLineProblem {
  kCommandLineFine,
  kUnknownSwitch,     // not a switch of the launcher (named by `problemArgument`)
  kSwitchNeedsPath,   // /extract without "=DIR", or /log= with nothing after it
  kTooManyArguments,  // beyond kMaxArguments, or the line beyond its capacity
  kSetupLineTooLong,  // the setup program's command line would not fit
};

// The switches of one command line, as ReadLaunchOptions found them.
struct LaunchOptions {
  bool anySwitch;  // the line holds anything after the program's name
  bool quiet;      // /quiet or /S
  bool passive;
  bool wait;
  bool keep;
  bool help;
  bool log;
  const char16_t* logPath;                // /log=FILE; null for /log alone
  const char16_t* extractDirectory;       // /extract=DIR; null without
  const char16_t* const* setupArguments;  // after "--", in `list`
  size_t setupArgumentCount;
  CommandLineProblem problem;       // the first one met
  const char16_t* problemArgument;  // the argument it names; null for none
};

// Reads the switches of `list` (whose first item is the program's name).
// Every argument is read even after a problem, so that a /quiet anywhere
// keeps the problem's message box away. The options point into `list`.
void ReadLaunchOptions(const ArgumentList& list, LaunchOptions* options);

// Splits and reads in one; a line that cannot be split is a problem.
void ParseCommandLine(const char16_t* line, ArgumentList* list, LaunchOptions* options);

enum Display {
  kDisplayFull,          // the window and every message box, as without switches
  kDisplayProgressOnly,  // the window, no message box (/passive)
  kDisplayNone,          // neither (/quiet)
};
Display DisplayOf(const LaunchOptions& options);

// The run waits for the setup program (and everything it starts).
bool WaitsForSetup(const LaunchOptions& options);
// The run's own ends exit with Windows error codes (exit_codes.h): it
// waits or extracts. Every other run keeps the exit statuses of the README.
bool UsesWindowsExitCodes(const LaunchOptions& options);
// The workspace is removed once the wait has ended.
bool RemovesWorkspace(const LaunchOptions& options);
// The setup program is started by the wide call (see above).
bool StartsSetupWide(const LaunchOptions& options);

// The UTF-16 units `argument` takes on a command line (quoted when needed),
// without a separator.
size_t QuotedArgumentLength(const char16_t* argument);

// Appends `argument` at out[*length] so that CommandLineToArgvW and the
// Microsoft C runtime's parser (old and new) both read it back exactly: as
// it is when it is non-empty and holds no space, tab, LF, VT, CR, FF or
// '"'; otherwise in double quotes, each '"' after a backslash of its own
// and every run of backslashes before a '"' or the closing quote doubled.
// Never writes two quotes in a row except "" for the empty argument and a
// closing quote after an escaped one, the one place the parsers' rules for
// doubled quotes differ. NUL-terminates; false, with out[*length] = 0 and
// *length unchanged, when it does not fit in `capacity`.
bool AppendQuotedArgument(const char16_t* argument, char16_t* out, size_t capacity, size_t* length);

// The setup program's wide command line: '"' + `program` + '"' + " -D",
// then each of the options' setup arguments after a space, quoted by
// AppendQuotedArgument. False when it does not fit in `capacity` units
// (terminator included); out[0] is then 0.
bool ComposeSetupCommandLine(const char16_t* program, const LaunchOptions& options, char16_t* out,
                             size_t capacity);
