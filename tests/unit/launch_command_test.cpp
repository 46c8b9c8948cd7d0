// The setup program's launch: its path and its quoted command line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "run/launch_command.h"
#include "package/run_state.h"

namespace {

TEST(LaunchCommand, QuotesTheProgramSoSpacesCannotSplitIt) {
  char program[kPathCapacity], commandLine[kPathCapacity];
  ASSERT_TRUE(ComposeSetupLaunch("C:\\Documents and Settings\\me\\Temp\\QW_0A1B2C3D", program,
                                 commandLine, kPathCapacity));
  EXPECT_STREQ(program, "C:\\Documents and Settings\\me\\Temp\\QW_0A1B2C3D\\QWSetup.exe");
  EXPECT_STREQ(commandLine,
               "\"C:\\Documents and Settings\\me\\Temp\\QW_0A1B2C3D\\QWSetup.exe\" -D");
}

TEST(LaunchCommand, RefusesWhatDoesNotFitAndWritesNothing) {
  char program[kPathCapacity], commandLine[kPathCapacity];
  memset(program, 'p', sizeof program);
  memset(commandLine, 'c', sizeof commandLine);
  // '"' + workspace + "\QWSetup.exe" + '"' + " -D" + NUL: 17 bytes around the workspace.
  std::string longest(kPathCapacity - 18, 'w');
  std::string tooLong(kPathCapacity - 17, 'w');
  EXPECT_FALSE(ComposeSetupLaunch(tooLong.c_str(), program, commandLine, kPathCapacity));
  EXPECT_EQ(program[0], 'p');
  EXPECT_EQ(commandLine[0], 'c');
  ASSERT_TRUE(ComposeSetupLaunch(longest.c_str(), program, commandLine, kPathCapacity));
  EXPECT_EQ(strlen(commandLine), kPathCapacity - 1);
}

}  // namespace
