// The launcher's command line: the splitter held against Windows' own
// answers, the switches, and the quoting of the setup program's arguments,
// read back by both of Windows' parsers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "launcher/app/command_line.h"

namespace {

typedef std::vector<std::u16string> Args;

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x20 || c == '|') {
      out += "<" + std::to_string(c) + ">";  // control characters shown as numbers
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Show(const Args& args) {
  std::string out;
  for (const auto& arg : args) out += "[" + Utf8(arg) + "]";
  return out;
}

// The list is large (64 KB of text): on the heap.
std::unique_ptr<ArgumentList> NewList() {
  return std::unique_ptr<ArgumentList>(new ArgumentList());
}

Args Split(const std::u16string& line) {
  auto list = NewList();
  EXPECT_TRUE(SplitCommandLine(line.c_str(), list.get())) << Utf8(line);
  Args args;
  for (size_t i = 0; i < list->count; i++) args.push_back(list->items[i]);
  return args;
}

// The Microsoft C runtime's parser since 2008 (and the Universal CRT's),
// here only to hold the quoting against: its arguments after the program
// name differ from CommandLineToArgvW's in one rule, a doubled quote inside
// quotes, which gives a literal quote and stays inside.
Args SplitLikeCRuntime(const std::u16string& line) {
  Args args;
  size_t i = 0;
  std::u16string program;
  bool quoted = false;
  for (; i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t')); i++) {
    if (line[i] == u'"') {
      quoted = !quoted;
    } else {
      program += line[i];
    }
  }
  args.push_back(program);
  for (;;) {
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) i++;
    if (i == line.size()) return args;
    std::u16string arg;
    quoted = false;
    while (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == u'\\') backslashes++, i++;
      if (i < line.size() && line[i] == u'"') {
        arg.append(backslashes / 2, u'\\');
        if (backslashes % 2) {
          arg += u'"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          arg += u'"';
          i++;
        } else {
          quoted = !quoted;
        }
        i++;
      } else {
        arg.append(backslashes, u'\\');
        if (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t'))) arg += line[i++];
      }
    }
    args.push_back(arg);
  }
}

struct SplitCase {
  std::u16string line;
  Args args;
};

// CommandLineToArgvW's answers on Windows, gathered from its documentation,
// from published write-ups of its quirks, and from other systems' test
// suites that record what Windows returns.
const SplitCase kWindowsSplits[] = {
    {u"test.exe", {u"test.exe"}},
    {u"test.exe ", {u"test.exe"}},
    {u"test.exe\t", {u"test.exe"}},
    {u"test.exe a b c", {u"test.exe", u"a", u"b", u"c"}},
    {u"test.exe  \t  a", {u"test.exe", u"a"}},
    // The program name ends at any white space, which it takes with it;
    // arguments end at spaces and tabs only.
    {u"test.exe\r", {u"test.exe"}},
    {u"test.exe\ra", {u"test.exe", u"a"}},
    {u"test.exe\na", {u"test.exe", u"a"}},
    {u"\"This is a test.exe\"", {u"This is a test.exe"}},
    {u"\"This is a test.exe\" ", {u"This is a test.exe"}},
    {u"\"This is a test.exe\"\r", {u"This is a test.exe", u"\r"}},
    {u"\"This is a test.exe\"\n", {u"This is a test.exe", u"\n"}},
    // A quoted program name ends at its closing quote, whatever follows.
    {u"\"exe\"abc", {u"exe", u"abc"}},
    {u"\"C:\\a b\\x.exe\"c d", {u"C:\\a b\\x.exe", u"c", u"d"}},
    // No backslash rules in the program name: it is a path.
    {uR"(C:\dir\x.exe\" a)", {uR"(C:\dir\x.exe\")", u"a"}},
    {uR"("C:\dir\" a)", {uR"(C:\dir\)", u"a"}},
    // A leading blank gives an empty program name.
    {u" test leading space", {u"", u"test", u"leading", u"space"}},
    {u"test.exe a b \"c", {u"test.exe", u"a", u"b", u"c"}},
    {u"test.exe \"a b\" \"c d\"", {u"test.exe", u"a b", u"c d"}},
    {u"test.exe \"a \" d\"", {u"test.exe", u"a ", u"d"}},
    // The examples of the C runtime's documentation, which hold here too.
    {uR"(test.exe "abc" d e)", {u"test.exe", u"abc", u"d", u"e"}},
    {uR"(test.exe a\\b d"e f"g h)", {u"test.exe", uR"(a\\b)", u"de fg", u"h"}},
    {uR"(test.exe a\\\"b c d)", {u"test.exe", uR"(a\"b)", u"c", u"d"}},
    {uR"(test.exe a\\\\"b c" d e)", {u"test.exe", uR"(a\\b c)", u"d", u"e"}},
    // Where the two differ: a doubled quote inside quotes gives a quote and
    // ends the quoting here, and stays inside in the C runtime since 2008.
    {uR"(test.exe a"b"" c d)", {u"test.exe", u"ab\"", u"c", u"d"}},
    {uR"(test.exe "0 1"" 2)", {u"test.exe", u"0 1\"", u"2"}},
    {uR"(test.exe "0 1""" 2)", {u"test.exe", u"0 1\" 2"}},
    {uR"(test.exe "a ""b"" c")", {u"test.exe", u"a \"b", u"c"}},
    // The trailing backslash that swallows a closing quote.
    {uR"(test.exe "C:\Program Files\" x)", {u"test.exe", uR"(C:\Program Files" x)"}},
    {uR"(test.exe "C:\Program Files\\" x)", {u"test.exe", uR"(C:\Program Files\)", u"x"}},
    {uR"(test.exe "" x)", {u"test.exe", u"", u"x"}},
    {uR"(test.exe a\b\c)", {u"test.exe", uR"(a\b\c)"}},
};

TEST(CommandLineSplit, AnswersAsWindowsDoes) {
  for (const SplitCase& test : kWindowsSplits) {
    EXPECT_EQ(Show(Split(test.line)), Show(test.args)) << "line: " << Utf8(test.line);
  }
}

// The C runtime's documented answers, held against the model above, so
// that the quoting's second reader is right too.
TEST(CommandLineSplit, TheCRuntimeModelAnswersAsDocumented) {
  const SplitCase kCRuntime[] = {
      {uR"(x "abc" d e)", {u"x", u"abc", u"d", u"e"}},
      {uR"(x a\\b d"e f"g h)", {u"x", uR"(a\\b)", u"de fg", u"h"}},
      {uR"(x a\\\"b c d)", {u"x", uR"(a\"b)", u"c", u"d"}},
      {uR"(x a\\\\"b c" d e)", {u"x", uR"(a\\b c)", u"d", u"e"}},
      {uR"(x a"b"" c d)", {u"x", u"ab\" c d"}},
      {uR"("a b"c d)", {u"a bc", u"d"}},
  };
  for (const SplitCase& test : kCRuntime) {
    EXPECT_EQ(Show(SplitLikeCRuntime(test.line)), Show(test.args)) << Utf8(test.line);
  }
}

TEST(CommandLineSplit, EmptyLineGivesAnEmptyProgramName) {
  EXPECT_EQ(Show(Split(u"")), Show({u""}));
  EXPECT_EQ(Show(Split(u"\"")), Show({u""}));
}

TEST(CommandLineSplit, RefusesMoreArgumentsThanItHolds) {
  std::u16string line = u"x";
  for (size_t i = 0; i < kMaxArguments - 1; i++) line += u" a";
  auto list = NewList();
  EXPECT_TRUE(SplitCommandLine(line.c_str(), list.get()));
  EXPECT_EQ(list->count, kMaxArguments);
  line += u" b";
  EXPECT_FALSE(SplitCommandLine(line.c_str(), list.get()));
  EXPECT_EQ(list->count, kMaxArguments);  // the first ones, "b" left out
  EXPECT_EQ(std::u16string(list->items[kMaxArguments - 1]), u"a");
}

TEST(CommandLineSplit, TheLongestLineFitsAndALongerOneIsRefused) {
  // Every character a separate argument's worth would overflow the count;
  // one long argument tests the text's room.
  std::u16string line = u"\"" + std::u16string(kCommandLineCapacity - 4, u'p') + u"\" ";
  ASSERT_EQ(line.size(), kCommandLineCapacity - 1);
  auto list = NewList();
  ASSERT_TRUE(SplitCommandLine(line.c_str(), list.get()));
  EXPECT_EQ(list->count, 1u);
  std::u16string unquoted = std::u16string(kCommandLineCapacity - 3, u'p') + u" a";
  ASSERT_TRUE(SplitCommandLine(unquoted.c_str(), list.get()));
  EXPECT_EQ(std::u16string(list->items[1]), u"a");
  EXPECT_FALSE(SplitCommandLine((line + u"x").c_str(), list.get()));
  EXPECT_EQ(list->count, 0u);
}

struct QuoteCase {
  std::u16string argument;
  std::u16string quoted;
};

TEST(ArgumentQuoting, QuotesOnlyWhatNeedsIt) {
  const QuoteCase kCases[] = {
      {u"abc", u"abc"},
      {u"/quiet", u"/quiet"},
      {u"", u"\"\""},
      {u"a b", u"\"a b\""},
      {u"a\tb", u"\"a\tb\""},
      {u"a\nb", u"\"a\nb\""},
      {uR"(a\b)", uR"(a\b)"},
      {uR"(a\)", uR"(a\)"},
      {uR"(\\server\share\)", uR"(\\server\share\)"},
      {uR"(a"b)", uR"("a\"b")"},
      {uR"(a\"b)", uR"("a\\\"b")"},
      {uR"(a\\"b)", uR"("a\\\\\"b")"},
      {uR"(C:\Program Files\)", uR"("C:\Program Files\\")"},
      {uR"(C:\Program Files\\)", uR"("C:\Program Files\\\\")"},
      {uR"(")", uR"("\"")"},
      {uR"("")", uR"("\"\"")"},
      {uR"(a b")", uR"("a b\"")"},
      {uR"(\")", uR"("\\\"")"},
      {u"\u4E2D\u6587 \u540D", u"\"\u4E2D\u6587 \u540D\""},
      {u"\U0001F600", u"\U0001F600"},
  };
  for (const QuoteCase& test : kCases) {
    char16_t out[64];
    size_t length = 0;
    ASSERT_TRUE(AppendQuotedArgument(test.argument.c_str(), out, 64, &length));
    EXPECT_EQ(Utf8(out), Utf8(test.quoted)) << "argument: " << Utf8(test.argument);
    EXPECT_EQ(length, test.quoted.size());
    EXPECT_EQ(QuotedArgumentLength(test.argument.c_str()), test.quoted.size());
  }
}

TEST(ArgumentQuoting, RefusesWhatDoesNotFitAndLeavesTheTextEnded) {
  char16_t out[8] = u"xyz";
  size_t length = 3;
  EXPECT_FALSE(AppendQuotedArgument(u"a b c", out, 8, &length));  // 7 + 3 + NUL > 8
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(std::u16string(out), u"xyz");
  EXPECT_TRUE(AppendQuotedArgument(u"abcd", out, 8, &length));  // exactly full
  EXPECT_EQ(std::u16string(out), u"xyzabcd");
  EXPECT_FALSE(AppendQuotedArgument(u"", out, 8, &length));
  EXPECT_EQ(length, 7u);
}

// The setup program's command line for `arguments` after "--".
std::u16string SetupLineFor(const Args& arguments, const std::u16string& program) {
  Args line = {u"Setup.exe", u"/quiet", u"--"};
  line.insert(line.end(), arguments.begin(), arguments.end());
  auto list = NewList();
  list->count = line.size();
  std::u16string all;
  for (const auto& arg : line) all += arg + u'\0';
  std::copy(all.begin(), all.end(), list->text);
  size_t at = 0;
  for (size_t i = 0; i < line.size(); i++) {
    list->items[i] = list->text + at;
    at += line[i].size() + 1;
  }
  LaunchOptions options;
  ReadLaunchOptions(*list, &options);
  EXPECT_EQ(options.problem, kCommandLineFine);
  std::unique_ptr<char16_t[]> out(new char16_t[kCommandLineCapacity]);
  EXPECT_TRUE(ComposeSetupCommandLine(program.c_str(), options, out.get(), kCommandLineCapacity));
  return out.get();
}

// Arguments of the characters that matter to the parsers, and of some that
// no code page holds, in random lists: quoted and parsed back by both of
// Windows' parsers, each list must come back whole. The seed is printed;
// QW_QUOTING_SEED=N runs one again.
TEST(ArgumentQuoting, RandomListsComeBackWholeFromBothParsers) {
  const char* fixed = getenv("QW_QUOTING_SEED");
  unsigned seed = fixed ? static_cast<unsigned>(strtoul(fixed, nullptr, 10))
                        : static_cast<unsigned>(time(nullptr));
  std::mt19937 random(seed);
  const char16_t kAlphabet[] = {u'a', u'\\', u'"',  u' ',      u'\t',     u'\\',     u'"',     u'/',
                                u'-', u'=',  u'\n', u'\u00E9', u'\u4E2D', u'\xD83D', u'\xDE00'};
  const std::u16string program =
      u"C:\\Users\\\u5F20\u4F1F\\AppData\\Local\\Temp\\QW_0A1B2C3D"
      u"\\QWSetup.exe";
  for (int round = 0; round < 3000; round++) {
    Args arguments(random() % 6);
    for (auto& arg : arguments) {
      size_t length = random() % 9;
      for (size_t i = 0; i < length; i++)
        arg += kAlphabet[random() % (sizeof kAlphabet / sizeof kAlphabet[0])];
    }
    std::u16string line = SetupLineFor(arguments, program);
    Args wanted = {program, u"-D"};
    wanted.insert(wanted.end(), arguments.begin(), arguments.end());
    ASSERT_EQ(Show(Split(line)), Show(wanted))
        << "seed " << seed << " (QW_QUOTING_SEED), line: " << Utf8(line);
    ASSERT_EQ(Show(SplitLikeCRuntime(line)), Show(wanted))
        << "seed " << seed << " (QW_QUOTING_SEED), line: " << Utf8(line);
  }
}

TEST(SetupCommandLine, KeepsTheHeadOfTheRunWithoutSwitches) {
  EXPECT_EQ(Utf8(SetupLineFor({}, u"C:\\Temp\\QW_0A1B2C3D\\QWSetup.exe")),
            "\"C:\\Temp\\QW_0A1B2C3D\\QWSetup.exe\" -D");
  EXPECT_EQ(Utf8(SetupLineFor({u"/S", u"a b"}, u"C:\\T\\QWSetup.exe")),
            "\"C:\\T\\QWSetup.exe\" -D /S \"a b\"");
}

TEST(SetupCommandLine, RefusesALineBeyondItsRoom) {
  Args one = {u"abc"};
  auto list = NewList();
  const char16_t* items[] = {u"x", u"--", u"abc"};
  list->count = 3;
  for (size_t i = 0; i < 3; i++) list->items[i] = items[i];
  LaunchOptions options;
  ReadLaunchOptions(*list, &options);
  char16_t out[32];
  // '"' + "P" + '"' + " -D" + " abc" + NUL = 11 units.
  EXPECT_TRUE(ComposeSetupCommandLine(u"P", options, out, 11));
  EXPECT_EQ(Utf8(out), "\"P\" -D abc");
  EXPECT_FALSE(ComposeSetupCommandLine(u"P", options, out, 10));
  EXPECT_EQ(out[0], u'\0');
  EXPECT_FALSE(ComposeSetupCommandLine(u"P", options, out, 6));
  EXPECT_EQ(out[0], u'\0');
}

LaunchOptions Parse(const std::u16string& line, std::unique_ptr<ArgumentList>* keep) {
  *keep = NewList();
  LaunchOptions options;
  ParseCommandLine(line.c_str(), keep->get(), &options);
  return options;
}

std::string ProblemArgument(const LaunchOptions& options) {
  return options.problemArgument ? Utf8(options.problemArgument) : "(none)";
}

TEST(LaunchSwitches, NoArgumentsIsTheRunOfOld) {
  std::unique_ptr<ArgumentList> list;
  LaunchOptions options = Parse(u"\"C:\\d\\Setup.exe\"", &list);
  EXPECT_FALSE(options.anySwitch);
  EXPECT_EQ(options.problem, kCommandLineFine);
  EXPECT_EQ(DisplayOf(options), kDisplayFull);
  EXPECT_FALSE(WaitsForSetup(options));
  EXPECT_FALSE(UsesWindowsExitCodes(options));
  EXPECT_FALSE(RemovesWorkspace(options));
  EXPECT_FALSE(StartsSetupWide(options));
  // Blanks after the name are no switch either.
  options = Parse(u"Setup.exe  \t ", &list);
  EXPECT_FALSE(options.anySwitch);
}

TEST(LaunchSwitches, AnyCaseEitherPrefix) {
  std::unique_ptr<ArgumentList> list;
  for (const char16_t* line : {u"x /quiet", u"x -QUIET", u"x /Quiet", u"x /s", u"x -S"}) {
    LaunchOptions options = Parse(line, &list);
    EXPECT_EQ(options.problem, kCommandLineFine) << Utf8(line);
    EXPECT_TRUE(options.quiet) << Utf8(line);
    EXPECT_EQ(DisplayOf(options), kDisplayNone) << Utf8(line);
  }
  LaunchOptions options = Parse(u"x -Passive /WAIT /Keep -HELP /LoG", &list);
  EXPECT_EQ(options.problem, kCommandLineFine);
  EXPECT_TRUE(options.passive && options.wait && options.keep && options.help && options.log);
  EXPECT_EQ(options.logPath, nullptr);
  EXPECT_TRUE(Parse(u"x -?", &list).help);
}

TEST(LaunchSwitches, TheQuietestDisplayWinsInAnyOrder) {
  std::unique_ptr<ArgumentList> list;
  EXPECT_EQ(DisplayOf(Parse(u"x /quiet /passive", &list)), kDisplayNone);
  EXPECT_EQ(DisplayOf(Parse(u"x /passive /quiet", &list)), kDisplayNone);
  EXPECT_EQ(DisplayOf(Parse(u"x /wait /passive", &list)), kDisplayProgressOnly);
  EXPECT_EQ(DisplayOf(Parse(u"x /passive /wait", &list)), kDisplayProgressOnly);
  EXPECT_EQ(DisplayOf(Parse(u"x /wait", &list)), kDisplayFull);
  EXPECT_EQ(DisplayOf(Parse(u"x /log", &list)), kDisplayFull);
}

TEST(LaunchSwitches, WhatEachModeWaitsForAndRemoves) {
  struct Row {
    const char16_t* line;
    bool waits, windowsCodes, removes, wide;
  };
  const Row kRows[] = {
      {u"x /quiet", true, true, true, true},
      {u"x /passive", true, true, true, true},
      {u"x /wait", true, true, true, true},
      {u"x /quiet /keep", true, true, false, true},
      {u"x /log", false, false, false, false},
      {u"x /keep", false, false, false, false},
      {u"x -- a", false, false, false, true},
      {u"x /extract=D:\\out", false, true, false, false},
      {u"x /extract=D:\\out /wait /keep -- a", false, true, false, true},
      {u"x /quiet /extract=D:\\out", false, true, false, false},
  };
  std::unique_ptr<ArgumentList> list;
  for (const Row& row : kRows) {
    LaunchOptions options = Parse(row.line, &list);
    ASSERT_EQ(options.problem, kCommandLineFine) << Utf8(row.line);
    EXPECT_EQ(WaitsForSetup(options), row.waits) << Utf8(row.line);
    EXPECT_EQ(UsesWindowsExitCodes(options), row.windowsCodes) << Utf8(row.line);
    EXPECT_EQ(RemovesWorkspace(options), row.removes) << Utf8(row.line);
    EXPECT_EQ(StartsSetupWide(options), row.wide) << Utf8(row.line);
  }
}

TEST(LaunchSwitches, PathsAfterTheirSwitchAndTheLastOneWins) {
  std::unique_ptr<ArgumentList> list;
  LaunchOptions options =
      Parse(u"x \"/log=C:\\a b\\one.log\" /LOG=\u65E5\u5FD7.log /Extract=\"D:\\o u\\t\"", &list);
  EXPECT_EQ(options.problem, kCommandLineFine);
  EXPECT_TRUE(options.log);
  EXPECT_EQ(Utf8(options.logPath), "\u65E5\u5FD7.log");
  EXPECT_EQ(Utf8(options.extractDirectory), "D:\\o u\\t");
  options = Parse(u"x /log=a.log /log", &list);
  EXPECT_TRUE(options.log);
  EXPECT_EQ(options.logPath, nullptr);
}

TEST(LaunchSwitches, EverythingAfterTheSeparatorIsTheSetupProgramsEvenSwitches) {
  std::unique_ptr<ArgumentList> list;
  LaunchOptions options = Parse(u"x /quiet -- /bogus -- \"a b\" /passive", &list);
  EXPECT_EQ(options.problem, kCommandLineFine);
  EXPECT_FALSE(options.passive);
  ASSERT_EQ(options.setupArgumentCount, 4u);
  EXPECT_EQ(Utf8(options.setupArguments[0]), "/bogus");
  EXPECT_EQ(Utf8(options.setupArguments[1]), "--");
  EXPECT_EQ(Utf8(options.setupArguments[2]), "a b");
  EXPECT_EQ(Utf8(options.setupArguments[3]), "/passive");
  options = Parse(u"x --", &list);
  EXPECT_EQ(options.problem, kCommandLineFine);
  EXPECT_TRUE(options.anySwitch);
  EXPECT_EQ(options.setupArgumentCount, 0u);
  EXPECT_FALSE(StartsSetupWide(options));
}

TEST(LaunchSwitches, ProblemsAreNamedAndTheFirstOneIsKept) {
  struct Row {
    const char16_t* line;
    CommandLineProblem problem;
    const char* named;
  };
  const Row kRows[] = {
      {u"x /bogus", kUnknownSwitch, "/bogus"},
      {u"x file.txt", kUnknownSwitch, "file.txt"},
      {u"x /", kUnknownSwitch, "/"},
      {u"x -", kUnknownSwitch, "-"},
      {u"x --quiet", kUnknownSwitch, "--quiet"},
      {u"x /quiet=1", kUnknownSwitch, "/quiet=1"},
      {u"x /logfile", kUnknownSwitch, "/logfile"},
      {u"x /log:a.txt", kUnknownSwitch, "/log:a.txt"},
      {u"x /extracts=D", kUnknownSwitch, "/extracts=D"},
      {u"x /extract", kSwitchNeedsPath, "/extract"},
      {u"x /extract=", kSwitchNeedsPath, "/extract="},
      {u"x /log=", kSwitchNeedsPath, "/log="},
      {u"x /b\u00FCgus /also", kUnknownSwitch, "/b\u00FCgus"},
      {u"x /\u0130uiet", kUnknownSwitch, "/\u0130uiet"},  // no locale's case folding
      {u"x \"\"", kUnknownSwitch, ""},
  };
  std::unique_ptr<ArgumentList> list;
  for (const Row& row : kRows) {
    LaunchOptions options = Parse(row.line, &list);
    EXPECT_EQ(options.problem, row.problem) << Utf8(row.line);
    EXPECT_EQ(ProblemArgument(options), row.named) << Utf8(row.line);
  }
}

// A problem never hides a /quiet after it: the quiet run reports it
// through its log and exit code alone.
TEST(LaunchSwitches, SwitchesAfterAProblemAreStillRead) {
  std::unique_ptr<ArgumentList> list;
  LaunchOptions options = Parse(u"x /bogus /quiet /log=l.txt /extract", &list);
  EXPECT_EQ(options.problem, kUnknownSwitch);
  EXPECT_EQ(ProblemArgument(options), "/bogus");
  EXPECT_EQ(DisplayOf(options), kDisplayNone);
  EXPECT_EQ(Utf8(options.logPath), "l.txt");
  EXPECT_TRUE(UsesWindowsExitCodes(options));
}

TEST(LaunchSwitches, ALineTooLongForTheSetupProgramIsAProblem) {
  // The setup program's head, at the longest workspace, is far longer
  // than the launcher's own name; its room is judged at that longest.
  size_t room = kCommandLineCapacity - (1 + kMaxSetupProgramLength + 1 + 3 + 1);
  std::unique_ptr<ArgumentList> list;
  LaunchOptions options = Parse(u"x /quiet -- " + std::u16string(room - 1, u'a'), &list);
  EXPECT_EQ(options.problem, kCommandLineFine);
  options = Parse(u"x /quiet -- " + std::u16string(room, u'a'), &list);
  EXPECT_EQ(options.problem, kSetupLineTooLong);
  // A quote takes a backslash of its own there.
  options = Parse(uR"(x /quiet -- \")" + std::u16string(room - 4, u'a'), &list);
  EXPECT_EQ(options.problem, kSetupLineTooLong);
}

TEST(LaunchSwitches, ALineThatCannotBeSplitIsAProblem) {
  std::u16string line = u"x";
  for (size_t i = 0; i < kMaxArguments; i++) line += u" /quiet";
  std::unique_ptr<ArgumentList> list;
  LaunchOptions options = Parse(line, &list);
  EXPECT_EQ(options.problem, kTooManyArguments);
  EXPECT_TRUE(options.anySwitch);
  EXPECT_EQ(DisplayOf(options), kDisplayNone);  // the switches split before the limit count
}

}  // namespace
