// The exit codes of runs with switches: the Windows error code of each of
// the launcher's own ends, the setup program's code passed through, and the
// texts that tell an administrator about them.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "launcher/app/command_line.h"
#include "launcher/app/exit_codes.h"
#include "launcher/app/switch_texts.h"

namespace {

std::string Narrow(const char16_t* text) {
  std::string out;
  for (; *text; text++) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

struct Parsed {
  std::unique_ptr<ArgumentList> list{new ArgumentList()};
  LaunchOptions options;
  explicit Parsed(const char16_t* line) { ParseCommandLine(line, list.get(), &options); }
};

// What the consoles read as success, "restart needed", "restart started"
// or "retry later", and what reads as success itself.
const std::set<uint32_t> kReservedCodes = {0, 1618, 1641, 1707, 3010};

TEST(ExitCodes, EveryFailureHasADistinctCodeNoConsoleMisreads) {
  std::set<uint32_t> seen;
  for (size_t i = 0; i < kRunEndCount; i++) {
    const RunEndRow& row = kRunEnds[i];
    bool succeeds = row.status == kExitSetupStarted || row.status == kEndExtracted ||
                    row.status == kEndHelpShown;
    if (succeeds) {
      EXPECT_EQ(row.windowsCode, 0u) << row.name;
      continue;
    }
    EXPECT_EQ(kReservedCodes.count(row.windowsCode), 0u) << row.name << " " << row.windowsCode;
    EXPECT_TRUE(seen.insert(row.windowsCode).second) << row.name << " repeats " << row.windowsCode;
  }
  // The three that succeed, and every failure with a code of its own.
  EXPECT_EQ(seen.size(), kRunEndCount - 3);
}

TEST(ExitCodes, EveryStatusOfTheReadmeHasARowInOrder) {
  for (int status = kExitSetupStarted; status <= kEndHelpShown; status++) {
    const RunEndRow* row = FindRunEnd(status);
    ASSERT_NE(row, nullptr) << status;
    EXPECT_EQ(row->status, status);
    EXPECT_EQ(row, &kRunEnds[status]);
  }
  EXPECT_EQ(FindRunEnd(kEndHelpShown + 1), nullptr);
  EXPECT_EQ(FindRunEnd(-1), nullptr);
}

// The codes administrators look up first, each naming its end truly.
TEST(ExitCodes, TheCodesAdministratorsLookUp) {
  const std::map<int, uint32_t> kNamed = {
      {kExitChecksumError, 23}, {kExitNoSpace, 112},        {kExitDamagedPackage, 1392},
      {kExitCancelled, 1602},   {kExitBadCommandLine, 160}, {kEndExtractFolderNotEmpty, 145},
  };
  for (const auto& named : kNamed) EXPECT_EQ(FindRunEnd(named.first)->windowsCode, named.second);
}

TEST(ExitCodes, TheSetupProgramsCodePassesThroughUnchanged) {
  Parsed quiet(u"x /quiet");
  for (uint32_t code : {0u, 1u, 3010u, 1641u, 1603u, 1618u, 23u, 0xC0000005u}) {
    EXPECT_EQ(ProcessExitCode(quiet.options, {true, code, kExitSetupStarted}), code);
  }
}

TEST(ExitCodes, WaitingAndExtractingRunsEndWithWindowsCodes) {
  for (const char16_t* line : {u"x /quiet", u"x /passive", u"x /wait", u"x /extract=D:\\o"}) {
    Parsed parsed(line);
    EXPECT_EQ(ProcessExitCode(parsed.options, {false, 0, kExitChecksumError}), 23u) << Narrow(line);
    EXPECT_EQ(ProcessExitCode(parsed.options, {false, 0, kExitCancelled}), 1602u);
    EXPECT_EQ(ProcessExitCode(parsed.options, {false, 0, kExitBadCommandLine}), 160u);
    EXPECT_EQ(ProcessExitCode(parsed.options, {false, 0, 99}), 1359u);  // no such end
  }
  Parsed extract(u"x /extract=D:\\o");
  EXPECT_EQ(ProcessExitCode(extract.options, {false, 0, kEndExtracted}), 0u);
  EXPECT_EQ(ProcessExitCode(extract.options, {false, 0, kEndExtractFolderNotEmpty}), 145u);
}

// A waiting run that claims the setup program started, yet brings no code
// of the setup program's, has lost its wait: never a success.
TEST(ExitCodes, AWaitingRunNeverSucceedsWithoutTheSetupProgramsCode) {
  Parsed quiet(u"x /quiet");
  EXPECT_EQ(ProcessExitCode(quiet.options, {false, 0, kExitSetupStarted}), 6u);
}

TEST(ExitCodes, OtherRunsKeepTheStatusesOfOld) {
  for (const char16_t* line : {u"x", u"x /log", u"x /keep", u"x -- a b", u"x /bogus"}) {
    Parsed parsed(line);
    for (int status = kExitSetupStarted; status <= kExitBadCommandLine; status++) {
      EXPECT_EQ(ProcessExitCode(parsed.options, {false, 0, status}), static_cast<uint32_t>(status))
          << Narrow(line);
    }
  }
  Parsed help(u"x /?");
  EXPECT_EQ(ProcessExitCode(help.options, {false, 0, kEndHelpShown}), 0u);
  Parsed quietHelp(u"x /? /quiet");
  EXPECT_EQ(ProcessExitCode(quietHelp.options, {false, 0, kEndHelpShown}), 0u);
}

TEST(SwitchTexts, TheHelpNamesEverySwitchAndEveryFailureCode) {
  char16_t out[4096];
  ASSERT_TRUE(FormatHelp(u"Setup.exe", out, 4096));
  std::string help = Narrow(out);
  for (const char* name : {"/quiet", "/S", "/passive", "/wait", "/log=FILE", "/extract=DIR",
                           "/keep", "/?", "/help", "--", "%TEMP%\\Setup.log", "Usage: Setup.exe"}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
  for (size_t i = 0; i < kRunEndCount; i++) {
    if (kRunEnds[i].windowsCode == 0) continue;
    std::string line = "  " + std::to_string(kRunEnds[i].windowsCode) + "  " + kRunEnds[i].name;
    EXPECT_NE(help.find(line + "\r\n"), std::string::npos) << line;
  }
  // A name of several dots keeps all but its extension.
  ASSERT_TRUE(FormatHelp(u"my.setup.v2.exe", out, 4096));
  EXPECT_NE(Narrow(out).find("%TEMP%\\my.setup.v2.log"), std::string::npos);
  EXPECT_FALSE(FormatHelp(u"Setup.exe", out, 100));
  EXPECT_EQ(Narrow(out).size(), 99u);
}

TEST(SwitchTexts, AProblemNamesItsArgumentWhole) {
  Parsed unknown(u"x /quiet \"/b\u00FCgus x\"");
  char16_t out[256];
  ASSERT_TRUE(FormatCommandLineProblem(unknown.options, out, 256));
  EXPECT_EQ(std::u16string(out).find(u"Unknown switch: /b\u00FCgus x\r\n"), 0u);
  Parsed needsPath(u"x /extract=");
  ASSERT_TRUE(FormatCommandLineProblem(needsPath.options, out, 256));
  EXPECT_EQ(Narrow(out).find("The switch /extract= needs a path"), 0u);
  Parsed fine(u"x /quiet");
  EXPECT_FALSE(FormatCommandLineProblem(fine.options, out, 256));
  EXPECT_EQ(out[0], u'\0');
  ASSERT_TRUE(FormatLogNotCreated(u"C:\\l\\a.log", 5, out, 256));
  EXPECT_EQ(Narrow(out), "The log file cannot be created: C:\\l\\a.log (error 5)");
}

}  // namespace
