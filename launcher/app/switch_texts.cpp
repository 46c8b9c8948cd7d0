#include "launcher/app/switch_texts.h"

#include "launcher/app/exit_codes.h"
#include "launcher/app/wide_text.h"

namespace {

const char16_t kHelpSwitches[] =
    u" [switches] [-- arguments for the setup program]\r\n"
    u"\r\n"
    u"  /quiet, /S     no window and no message; waits for the setup program\r\n"
    u"  /passive       the progress window, no message; waits\r\n"
    u"  /wait          the window and messages as without switches; waits\r\n";
const char16_t kHelpMore[] =
    u"  /log=FILE      writes the log to FILE\r\n"
    u"  /extract=DIR   unpacks and verifies into DIR (new or empty), starts nothing\r\n"
    u"  /keep          keeps the unpacked files after a wait\r\n"
    u"  /?, /help      shows this text\r\n"
    u"  --             passes every argument after it to the setup program\r\n"
    u"\r\n"
    u"Switches start with / or - in any case. Of /quiet, /passive and /wait\r\n"
    u"the quietest wins. A run that waits waits for every process the setup\r\n"
    u"program starts, and ends with the setup program's exit code. A run that\r\n"
    u"waits or extracts ends each failure of its own with a Windows error code:\r\n";

// The program's name up to its last '.', for the default log's name.
void AddStem(WideText* text, const char16_t* programName) {
  const char16_t* dot = nullptr;
  for (const char16_t* c = programName; *c; c++) {
    if (*c == u'.') dot = c;
  }
  for (const char16_t* c = programName; *c && c != dot; c++) {
    const char16_t one[2] = {*c, u'\0'};
    text->Add(one);
  }
}

void AddExitCodes(WideText* text) {
  for (size_t i = 0; i < kRunEndCount; i++) {
    const RunEndRow& row = kRunEnds[i];
    if (row.windowsCode == 0) continue;
    text->AddAscii("  ").AddNumber(row.windowsCode).AddAscii("  ").AddAscii(row.name);
    text->AddAscii("\r\n");
  }
  text->AddAscii("  0  every file extracted, or this help\r\n");
}

}  // namespace

bool FormatHelp(const char16_t* programName, char16_t* out, size_t capacity) {
  WideText text(out, capacity);
  text.AddAscii("Usage: ").Add(programName).Add(kHelpSwitches);
  text.AddAscii("  /log           writes a UTF-8 log to %TEMP%\\");
  AddStem(&text, programName);
  text.AddAscii(".log\r\n").Add(kHelpMore);
  AddExitCodes(&text);
  return !text.cut();
}

bool FormatCommandLineProblem(const LaunchOptions& options, char16_t* out, size_t capacity) {
  WideText text(out, capacity);
  const char16_t* argument = options.problemArgument ? options.problemArgument : u"";
  switch (options.problem) {
    case kCommandLineFine:
      return false;
    case kUnknownSwitch:
      text.AddAscii("Unknown switch: ").Add(argument);
      break;
    case kSwitchNeedsPath:
      text.AddAscii("The switch ")
          .Add(argument)
          .AddAscii(" needs a path (/extract=DIR, /log=FILE).");
      break;
    case kTooManyArguments:
      text.AddAscii("The command line is too long or has too many arguments.");
      break;
    case kSetupLineTooLong:
      text.AddAscii("The arguments after -- do not fit on the setup program's command line.");
      break;
  }
  text.AddAscii("\r\n\r\n/? lists the switches.");
  return !text.cut();
}

bool FormatLogNotCreated(const char16_t* path, uint32_t error, char16_t* out, size_t capacity) {
  WideText text(out, capacity);
  text.AddAscii("The log file cannot be created: ").Add(path);
  text.AddAscii(" (error ").AddNumber(error).AddAscii(")");
  return !text.cut();
}
