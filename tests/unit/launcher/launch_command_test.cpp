// The setup program's launch: its path and its quoted command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "decode/lzma_decode.h"
#include "encode/lz/lz_codec.h"
#include "encode/lzma/lzma_encoder.h"
#include "launcher/app/exit_status.h"
#include "launcher/app/launch_command.h"
#include "launcher/app/workspace.h"
#include "launcher/run_state.h"
#include "tests/unit/launcher/worker_fixture.h"

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

// The launch at the end of a real walk, on POSIX descriptors: the workspace
// (held from its creation) and the setup program (held by the worker since
// its entry was verified) are both still held when the program is started,
// and neither is held once the launch is over, whatever its end.
class SetupLaunchTest : public WorkerTest {
 protected:
  void SetUp() override {
    WorkerTest::SetUp();
    setenv("TMPDIR", root_.c_str(), 1);
    g_platform.release(g_runState.workspace);  // the launcher's own workspace instead
    g_runState.workspace = nullptr;
    g_test = this;
    g_platform.startProgram = RecordStart;
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    WorkerTest::TearDown();
  }

  static int RecordStart(const char* program, char* commandLine) {
    g_test->started_.push_back(program);
    g_test->startCommand_ = commandLine;
    g_test->heldAtStart_ =
        IsOpenInThisProcess(g_test->workspace_) && IsOpenInThisProcess(g_test->setup_);
    return g_test->startWorks_;
  }

  enum Change { kUnchanged, kByteChanged, kByteAppended, kOffsetsShifted };

  // Runs the worker on a package holding `setup` as QWSetup.exe (none when
  // empty), changes the file as another program might between the check and
  // the start, then launches.
  int RunAndLaunch(const std::vector<uint8_t>& setup, Change change = kUnchanged) {
    PrepareFreshWorkspace();
    CLzCodec codec;
    PackageBuilder package;
    package.AddFile("", "readme.txt", std::vector<uint8_t>(100, 'r'));
    if (!setup.empty()) package.AddFile("", "QWSetup.exe", setup, &codec);
    package.AddFile("d", "after.bin", std::vector<uint8_t>(5000, 'a'));
    std::vector<uint8_t> bytes = package.Build();
    if (change == kOffsetsShifted) {  // dataStart and dataEnd moved alike: the walk goes on
      static const char kName[] = "QWSetup.exe";
      auto name = std::search(bytes.begin(), bytes.end(), kName, kName + sizeof kName);
      uint8_t* header = &*name - 104;
      StoreLe32(header + 216, LoadLe32(header + 216) + 16);
      StoreLe32(header + 220, LoadLe32(header + 220) + 16);
    }
    Run(bytes);
    ExpectOneFinal(kNoticeSuccess);
    if (change == kByteChanged || change == kByteAppended) {
      FILE* file = fopen(setup_.c_str(), change == kByteChanged ? "r+b" : "ab");
      if (change == kByteChanged) fseek(file, 4097, SEEK_SET);
      fputc('!', file);
      fclose(file);
    }
    int status = StartSetupProgram(failedPath_);
    EXPECT_FALSE(IsOpenInThisProcess(workspace_));
    EXPECT_FALSE(IsOpenInThisProcess(setup_));
    return status;
  }

  // A workspace as the launcher makes one, for each run: a launch lets go
  // of the one before.
  void PrepareFreshWorkspace() {
    if (g_runState.workspace) return;
    EXPECT_EQ(PrepareWorkspace(), kWorkspaceReady);
    workspace_ = g_runState.workspacePath;
    setup_ = workspace_ + "/QWSetup.exe";
  }

  static SetupLaunchTest* g_test;
  std::string setup_;
  std::vector<std::string> started_;
  std::string startCommand_;
  bool heldAtStart_ = false;
  int startWorks_ = 1;
  char failedPath_[kPathCapacity] = "";
};
SetupLaunchTest* SetupLaunchTest::g_test;

std::vector<uint8_t> SetupBytes() {
  std::vector<uint8_t> bytes(3 * 4096 + 77);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<uint8_t>(i * 7 / 5);
  return bytes;
}

TEST_F(SetupLaunchTest, StartsTheVerifiedBytesWhileBothAreHeld) {
  EXPECT_EQ(RunAndLaunch(SetupBytes()), kExitSetupStarted);
  ASSERT_EQ(started_.size(), 1u);
  // The path its hold resolves to: on POSIX with the system's separators.
  EXPECT_EQ(started_[0], workspace_ + "/QWSetup.exe");
  EXPECT_EQ(startCommand_, "\"" + workspace_ + "/QWSetup.exe\" -D");
  EXPECT_TRUE(heldAtStart_);
}

// The check compares with the bytes the walk wrote, whatever offsets the
// entry's header claims.
TEST_F(SetupLaunchTest, ChecksTheBlocksTheWalkDecoded) {
  EXPECT_EQ(RunAndLaunch(SetupBytes(), kOffsetsShifted), kExitSetupStarted);
  EXPECT_EQ(ReadFile("QWSetup.exe").size(), SetupBytes().size());
}

// A method-2 setup program whose stream, and so its dictionary, began in the
// entry before it: only the walk could decode it, and the check needs no
// second decode.
TEST_F(SetupLaunchTest, StartsAMethod2SetupThatGoesOnFromTheEntryBefore) {
  std::vector<uint8_t> before = SetupBytes(), setup = SetupBytes();
  setup[5000] ^= 0x5A;  // mostly matches into `before`
  std::vector<std::vector<StoredBlock>> entries = LzmaCutEntries({before, setup});
  PackageBuilder package;
  package.AddEntry("", "before.bin", static_cast<uint32_t>(before.size()), entries[0], kMethodLzma);
  package.AddEntry("", "QWSetup.exe", static_cast<uint32_t>(setup.size()), entries[1], kMethodLzma);
  PrepareFreshWorkspace();
  Run(package.Build());
  ExpectOneFinal(kNoticeSuccess);
  EXPECT_EQ(StartSetupProgram(failedPath_), kExitSetupStarted);
  EXPECT_TRUE(heldAtStart_);
  std::string written = ReadFile("QWSetup.exe");
  EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), setup);
}

TEST_F(SetupLaunchTest, BytesChangedSinceTheCheckAreNotStarted) {
  for (Change change : {kByteChanged, kByteAppended}) {
    EXPECT_EQ(RunAndLaunch(SetupBytes(), change), kExitChecksumError);
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(std::string(failedPath_), workspace_ + "\\QWSetup.exe");
  }
}

TEST_F(SetupLaunchTest, ASetupThatDoesNotStartOrIsMissingIsReported) {
  startWorks_ = 0;
  EXPECT_EQ(RunAndLaunch(SetupBytes()), kExitSetupNotStarted);
  EXPECT_EQ(started_.size(), 1u);
  EXPECT_TRUE(heldAtStart_);
  started_.clear();
  EXPECT_EQ(RunAndLaunch({}), kExitSetupNotStarted);  // no QWSetup.exe in the package
  EXPECT_TRUE(started_.empty());
}

}  // namespace
