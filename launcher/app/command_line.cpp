#include "launcher/app/command_line.h"

#include <cstring>

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// What ends an unquoted program name: the C library's white space.
bool IsProgramNameEnd(char16_t c) {
  return IsBlank(c) || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// The splitter's output: arguments written one after another into `text`,
// each NUL-terminated. Splitting never lengthens the line, so the text has
// room once the line fits.
struct SplitWriter {
  ArgumentList* list;
  size_t used;

  char16_t* Start() {
    char16_t* at = list->text + used;
    list->items[list->count++] = at;
    return at;
  }
  void End(char16_t* end) {
    *end = u'\0';
    used = static_cast<size_t>(end - list->text) + 1;
  }
};

// The program's name; returns where its arguments begin.
const char16_t* SplitProgramName(const char16_t* s, SplitWriter* writer) {
  char16_t* d = writer->Start();
  if (*s == u'"') {
    for (s++; *s && *s != u'"'; s++) *d++ = *s;
    if (*s) s++;  // the closing quote; what follows starts the next argument
  } else {
    for (; *s && !IsProgramNameEnd(*s); s++) *d++ = *s;
    if (*s) s++;  // the one character that ended the name
  }
  writer->End(d);
  return s;
}

// One argument after the program's name, from `s` (not blank) to the blank
// outside quotes that ends it; returns where it ended.
const char16_t* SplitArgument(const char16_t* s, SplitWriter* writer) {
  char16_t* d = writer->Start();
  int quotes = 0;  // 1 inside quotes; counts a run of quotes with the opening one
  size_t backslashes = 0;
  while (*s && !(IsBlank(*s) && quotes == 0)) {
    if (*s == u'\\') {
      *d++ = *s++;
      backslashes++;
      continue;
    }
    if (*s != u'"') {
      *d++ = *s++;
      backslashes = 0;
      continue;
    }
    // A quote: the backslashes before it are halved; an odd one out escapes it.
    d -= backslashes / 2;
    if (backslashes % 2) {
      d[-1] = u'"';
    } else {
      quotes++;
    }
    backslashes = 0;
    for (s++; *s == u'"'; s++) {
      if (++quotes == 3) {
        *d++ = u'"';
        quotes = 0;
      }
    }
    if (quotes == 2) quotes = 0;
  }
  writer->End(d);
  return s;
}

bool SplitInto(const char16_t* line, ArgumentList* list) {
  size_t length = 0;
  while (line[length]) {
    if (++length >= kCommandLineCapacity) return false;
  }
  SplitWriter writer = {list, 0};
  const char16_t* s = SplitProgramName(line, &writer);
  for (;;) {
    while (IsBlank(*s)) s++;
    if (!*s) return true;
    if (list->count == kMaxArguments) return false;
    s = SplitArgument(s, &writer);
  }
}

}  // namespace

bool SplitCommandLine(const char16_t* line, ArgumentList* list) {
  list->count = 0;
  return SplitInto(line, list);
}

namespace {

// ASCII letters only fold, so that no language's case rules make a switch.
char16_t FoldAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// `text` begins with `name` (ASCII, lower case), any case; returns the rest.
const char16_t* AfterName(const char16_t* text, const char* name) {
  for (; *name; name++, text++) {
    if (FoldAscii(*text) != static_cast<char16_t>(*name)) return nullptr;
  }
  return text;
}

bool IsSwitch(const char16_t* body, const char* name) {
  const char16_t* rest = AfterName(body, name);
  return rest && *rest == u'\0';
}

void NoteProblem(LaunchOptions* options, CommandLineProblem problem, const char16_t* argument) {
  if (options->problem != kCommandLineFine) return;
  options->problem = problem;
  options->problemArgument = argument;
}

// A switch that takes a path after "=": the path, or null (a problem noted)
// when there is none. `rest` follows the switch's name.
const char16_t* PathOfSwitch(const char16_t* rest, const char16_t* argument,
                             LaunchOptions* options) {
  if (*rest == u'=' && rest[1]) return rest + 1;
  NoteProblem(options, kSwitchNeedsPath, argument);
  return nullptr;
}

void ReadLog(const char16_t* rest, const char16_t* argument, LaunchOptions* options) {
  if (*rest == u'\0') {
    options->log = true;
    options->logPath = nullptr;
    return;
  }
  if (*rest != u'=') return NoteProblem(options, kUnknownSwitch, argument);
  if (const char16_t* path = PathOfSwitch(rest, argument, options)) {
    options->log = true;
    options->logPath = path;
  }
}

void ReadExtract(const char16_t* rest, const char16_t* argument, LaunchOptions* options) {
  if (*rest != u'\0' && *rest != u'=') return NoteProblem(options, kUnknownSwitch, argument);
  if (const char16_t* path = PathOfSwitch(rest, argument, options))
    options->extractDirectory = path;
}

// One argument before "--".
void ReadSwitch(const char16_t* argument, LaunchOptions* options) {
  const char16_t* body = argument + 1;
  const char16_t* rest = nullptr;
  if (argument[0] != u'/' && argument[0] != u'-') {
    NoteProblem(options, kUnknownSwitch, argument);
  } else if (IsSwitch(body, "quiet") || IsSwitch(body, "s")) {
    options->quiet = true;
  } else if (IsSwitch(body, "passive")) {
    options->passive = true;
  } else if (IsSwitch(body, "wait")) {
    options->wait = true;
  } else if (IsSwitch(body, "keep")) {
    options->keep = true;
  } else if (IsSwitch(body, "?") || IsSwitch(body, "help")) {
    options->help = true;
  } else if ((rest = AfterName(body, "log")) != nullptr) {
    ReadLog(rest, argument, options);
  } else if ((rest = AfterName(body, "extract")) != nullptr) {
    ReadExtract(rest, argument, options);
  } else {
    NoteProblem(options, kUnknownSwitch, argument);
  }
}

// '"' program '"' " -D" and the terminator, at the longest program.
constexpr size_t kLongestSetupHead = 1 + kMaxSetupProgramLength + 1 + 3 + 1;

bool SetupArgumentsFit(const LaunchOptions& options) {
  size_t length = kLongestSetupHead;
  for (size_t i = 0; i < options.setupArgumentCount; i++) {
    length += 1 + QuotedArgumentLength(options.setupArguments[i]);
    if (length > kCommandLineCapacity) return false;
  }
  return true;
}

bool NeedsQuotes(const char16_t* argument) {
  if (*argument == u'\0') return true;
  for (const char16_t* c = argument; *c; c++) {
    if (IsProgramNameEnd(*c) || *c == u'"') return true;
  }
  return false;
}

}  // namespace

void ReadLaunchOptions(const ArgumentList& list, LaunchOptions* options) {
  memset(options, 0, sizeof *options);
  options->anySwitch = list.count > 1;
  size_t i = 1;
  for (; i < list.count; i++) {
    const char16_t* argument = list.items[i];
    if (argument[0] == u'-' && argument[1] == u'-' && argument[2] == u'\0') break;
    ReadSwitch(argument, options);
  }
  if (i < list.count) {
    options->setupArguments = list.items + i + 1;
    options->setupArgumentCount = list.count - i - 1;
  }
  if (!SetupArgumentsFit(*options)) NoteProblem(options, kSetupLineTooLong, nullptr);
}

void ParseCommandLine(const char16_t* line, ArgumentList* list, LaunchOptions* options) {
  bool split = SplitCommandLine(line, list);
  // What was split still counts: a /quiet among it keeps the problem's box away.
  ReadLaunchOptions(*list, options);
  if (!split) {
    options->anySwitch = true;
    options->problem = kTooManyArguments;
    options->problemArgument = nullptr;
  }
}

Display DisplayOf(const LaunchOptions& options) {
  if (options.quiet) return kDisplayNone;
  return options.passive ? kDisplayProgressOnly : kDisplayFull;
}

bool WaitsForSetup(const LaunchOptions& options) {
  return (options.quiet || options.passive || options.wait) && !options.extractDirectory;
}

bool UsesWindowsExitCodes(const LaunchOptions& options) {
  return WaitsForSetup(options) || options.extractDirectory;
}

bool RemovesWorkspace(const LaunchOptions& options) {
  return WaitsForSetup(options) && !options.keep;
}

bool StartsSetupWide(const LaunchOptions& options) {
  return WaitsForSetup(options) || options.setupArgumentCount > 0;
}

size_t QuotedArgumentLength(const char16_t* argument) {
  size_t length = 0;
  for (const char16_t* c = argument; *c; c++) length++;
  if (!NeedsQuotes(argument)) return length;
  length += 2;
  size_t backslashes = 0;
  for (const char16_t* c = argument; *c; c++) {
    if (*c == u'\\') {
      backslashes++;
      continue;
    }
    if (*c == u'"') length += backslashes + 1;
    backslashes = 0;
  }
  return length + backslashes;  // those before the closing quote
}

bool AppendQuotedArgument(const char16_t* argument, char16_t* out, size_t capacity,
                          size_t* length) {
  size_t at = *length;
  size_t needed = QuotedArgumentLength(argument);
  if (at >= capacity || needed >= capacity - at) {
    if (at < capacity) out[at] = u'\0';
    return false;
  }
  if (!NeedsQuotes(argument)) {
    for (const char16_t* c = argument; *c; c++) out[at++] = *c;
  } else {
    out[at++] = u'"';
    size_t backslashes = 0;
    for (const char16_t* c = argument; *c; c++) {
      if (*c == u'\\') {
        backslashes++;
      } else {
        // Backslashes before a quote are doubled, and the quote gets one of its own.
        size_t copies = *c == u'"' ? 2 * backslashes + 1 : backslashes;
        for (size_t k = 0; k < copies; k++) out[at++] = u'\\';
        backslashes = 0;
      }
      if (*c != u'\\') out[at++] = *c;
    }
    for (size_t k = 0; k < 2 * backslashes; k++) out[at++] = u'\\';
    out[at++] = u'"';
  }
  out[at] = u'\0';
  *length = at;
  return true;
}

bool ComposeSetupCommandLine(const char16_t* program, const LaunchOptions& options, char16_t* out,
                             size_t capacity) {
  size_t programLength = 0;
  while (program[programLength]) programLength++;
  size_t length = 1 + programLength + 1 + 3;
  if (capacity == 0) return false;
  out[0] = u'\0';
  if (length >= capacity) return false;
  out[0] = u'"';
  memcpy(out + 1, program, programLength * sizeof(char16_t));
  memcpy(out + 1 + programLength, u"\" -D", 4 * sizeof(char16_t));
  for (size_t i = 0; i < options.setupArgumentCount; i++) {
    bool fits = length + 1 < capacity;
    if (fits) out[length++] = u' ';
    if (!fits || !AppendQuotedArgument(options.setupArguments[i], out, capacity, &length)) {
      out[0] = u'\0';
      return false;
    }
  }
  out[length] = u'\0';
  return true;
}
