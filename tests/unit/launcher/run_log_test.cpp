// The log of a run with /log: where it goes, what each line says, and that
// every line reaches the file whole as it is made.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "decode/notices.h"
#include "launcher/app/run_log.h"
#include "launcher/app/setup_wait.h"

namespace {

struct FakeLogSystem {
  std::set<std::u16string> existing;  // names createLogFile(replace 0) finds taken
  uint32_t refusal = 0;               // an error every creation fails with
  std::vector<std::pair<std::u16string, int>> created;  // path, replace
  std::string written;
  std::vector<size_t> writes;   // the size of each write
  size_t failAfter = SIZE_MAX;  // bytes the file takes before a write fails
  uint32_t lastError = 0;
  // The setup program's start and wait.
  bool starts = true, waits = true;
  SetupJoin join = kSetupInJob;
  uint32_t exitCode = 3010;
  int closes = 0, waitCalls = 0, joinAsked = -1;
};
FakeLogSystem* g_fake;

uint32_t Copy(const std::u16string& text, char16_t* buffer, uint32_t capacity) {
  if (text.size() + 1 > capacity) return 0;
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  return static_cast<uint32_t>(text.size());
}

HeldHandle FakeCreateLogFile(const char16_t* path, int replace) {
  g_fake->created.emplace_back(path, replace);
  g_fake->lastError = g_fake->refusal;
  if (!replace && g_fake->existing.count(path)) g_fake->lastError = 80;  // ERROR_FILE_EXISTS
  return g_fake->lastError ? nullptr : reinterpret_cast<HeldHandle>(1);
}

int FakeWriteLogFile(HeldHandle, const void* bytes, uint32_t size) {
  if (g_fake->written.size() + size > g_fake->failAfter) return 0;
  g_fake->written.append(static_cast<const char*>(bytes), size);
  g_fake->writes.push_back(size);
  return 1;
}

int FakeStartSetup(const char16_t*, char16_t*, int joinJob, SetupProcess* process) {
  g_fake->joinAsked = joinJob;
  *process = SetupProcess();
  if (!g_fake->starts) return g_fake->lastError = 193, 0;
  process->processId = 4242;
  process->join = joinJob ? g_fake->join : kSetupJobNotAsked;
  if (process->join == kSetupJobNotJoined) process->joinError = 5;
  return 1;
}

int FakeWaitForSetup(SetupProcess*, uint32_t* exitCode) {
  g_fake->waitCalls++;
  if (!g_fake->waits) return g_fake->lastError = 6, 0;
  *exitCode = g_fake->exitCode;
  return 1;
}

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_platform;
    g_fake = &fake_;
    g_platform.createLogFile = FakeCreateLogFile;
    g_platform.writeLogFile = FakeWriteLogFile;
    g_platform.release = [](HeldHandle) {};
    g_platform.lastError = [] { return g_fake->lastError; };
    g_platform.getLocalTime = [](LocalTime* time) { *time = {2024, 3, 5, 7, 8, 9, 45}; };
    g_platform.getTempPathWide = [](char16_t* b, uint32_t c) { return Copy(u"C:\\T\\", b, c); };
    g_platform.getProgramPathWide = [](char16_t* b, uint32_t c) {
      return Copy(u"D:\\v1.2\\Setup.exe", b, c);
    };
    g_platform.getFullPathWide = [](const char16_t* path, char16_t* b, uint32_t c) {
      return Copy(u"C:\\cur\\" + std::u16string(path), b, c);
    };
    g_platform.startSetup = FakeStartSetup;
    g_platform.waitForSetup = FakeWaitForSetup;
    g_platform.closeSetup = [](SetupProcess*) { g_fake->closes++; };
    PosixSetCodePage(936);
  }
  void TearDown() override {
    CloseRunLog();
    g_platform = saved_;
  }

  // Opens the log for `line` (which must ask for one).
  bool Open(const char16_t* line, uint32_t* error) {
    ParseCommandLine(line, list_.get(), &options_);
    return OpenRunLog(options_, error);
  }

  FakeLogSystem fake_;
  PlatformOps saved_;
  std::unique_ptr<ArgumentList> list_{new ArgumentList()};
  LaunchOptions options_;
};

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

TEST(DefaultLogPath, NamedAfterTheLauncherInTheTemporaryFolder) {
  struct Row {
    const char16_t* program;
    unsigned attempt;
    const char* path;
  };
  const Row kRows[] = {
      {u"C:\\dl\\Setup.exe", 1, "C:\\T\\Setup.log"},
      {u"C:\\dl\\Setup.exe", 2, "C:\\T\\Setup-2.log"},
      {u"C:\\dl\\Setup.exe", 99, "C:\\T\\Setup-99.log"},
      {u"C:\\v1.2\\Setup", 1, "C:\\T\\Setup.log"},  // a dot of the folder is no extension
      {u"C:\\dl\\my.setup.exe", 1, "C:\\T\\my.setup.log"},
      {u"Setup.EXE", 1, "C:\\T\\Setup.log"},
  };
  for (const Row& row : kRows) {
    char16_t out[64];
    ASSERT_TRUE(DefaultLogPath(u"C:\\T\\", row.program, row.attempt, out, 64));
    EXPECT_EQ(Utf8(out), row.path);
  }
  char16_t small[14];
  EXPECT_FALSE(DefaultLogPath(u"C:\\T\\", u"C:\\Setup.exe", 1, small, 14));
}

// The elevated launcher never replaces a file in the temporary folder: a
// taken name is passed over, and any other refusal ends the search.
TEST_F(RunLogTest, TheDefaultLogNeverReplacesAFile) {
  fake_.existing = {u"C:\\T\\Setup.log", u"C:\\T\\Setup-2.log"};
  uint32_t error = 0;
  ASSERT_TRUE(Open(u"x /log", &error));
  ASSERT_EQ(fake_.created.size(), 3u);
  for (const auto& created : fake_.created) EXPECT_EQ(created.second, 0);
  EXPECT_EQ(Utf8(RunLogPath()), "C:\\T\\Setup-3.log");
  EXPECT_EQ(fake_.written, "\xEF\xBB\xBF");  // the byte-order mark, first
  CloseRunLog();

  fake_ = FakeLogSystem();
  fake_.refusal = 5;
  EXPECT_FALSE(Open(u"x /log", &error));
  EXPECT_EQ(error, 5u);
  EXPECT_EQ(fake_.created.size(), 1u);
  EXPECT_EQ(Utf8(RunLogPath()), "C:\\T\\Setup.log");

  fake_ = FakeLogSystem();
  for (unsigned n = 1; n <= kDefaultLogAttempts; n++) {
    char16_t path[64];
    DefaultLogPath(u"C:\\T\\", u"Setup.exe", n, path, 64);
    fake_.existing.insert(path);
  }
  EXPECT_FALSE(Open(u"x /log", &error));
  EXPECT_EQ(fake_.created.size(), kDefaultLogAttempts);
}

TEST_F(RunLogTest, ANamedLogIsFullPathedAndReplaced) {
  uint32_t error = 0;
  ASSERT_TRUE(Open(u"x /quiet /log=logs\\a.log", &error));
  ASSERT_EQ(fake_.created.size(), 1u);
  EXPECT_EQ(Utf8(fake_.created[0].first), "C:\\cur\\logs\\a.log");
  EXPECT_EQ(fake_.created[0].second, 1);
  CloseRunLog();
  fake_ = FakeLogSystem();
  EXPECT_TRUE(Open(u"x /quiet", &error));  // none asked: nothing made
  EXPECT_TRUE(fake_.created.empty());
  LogLine().Add("nothing").End();
  EXPECT_TRUE(fake_.written.empty());
}

// A whole run's log, line for line: what an administrator reads after a
// quiet install.
TEST_F(RunLogTest, AQuietRunSaysEverything) {
  uint32_t error = 0;
  const char16_t* line =
      u"\"D:\\dl\\Setup.exe\" /quiet /log=r.log -- /S \"\u5B89\u88C5 \U0001F600\"";
  ASSERT_TRUE(Open(line, &error));
  LogRunStart("1.4.0", line, options_);
  LogVolume("C:\\T\\", kVolumeNoRoom, true, 200 * 1048576ull);
  LogVolume("D:\\", kVolumeChosen, true, 5000 * 1048576ull);
  LogWorkspace("D:\\QW_0A1B2C3D", false);
  EntryHeader entry = {};
  entry.method = kMethodLzma;
  entry.fileSize = 1234;
  memcpy(entry.subdirectory, "\xCE\xC4\xBC\xFE", 5);  // 文件 in GBK
  memcpy(entry.fileName, "a.dll", 6);
  LogEntry(entry, kNoticeSuccess, nullptr);
  entry.method = kMethodLz;
  LogEntry(entry, kNoticeChecksumError, "D:\\QW_0A1B2C3D\\\xCE\xC4\xBC\xFE\\a.dll");
  LogNotice(kNoticeDamagedPackage, "D:\\QW_0A1B2C3D\\QW.tmp");
  LogMessage(u"CRC file:D:\\x error!", false);
  LogRunEnd(options_, {false, 0, kExitChecksumError});
  const char* kStamp = "2024-03-05 07:08:09.045 ";
  std::vector<std::string> expected = {
      "launcher 1.4.0, log C:\\cur\\r.log",
      "command line: \"D:\\dl\\Setup.exe\" /quiet /log=r.log -- /S \"\xE5\xAE\x89\xE8\xA3\x85 "
      "\xF0\x9F\x98\x80\"",
      "mode: quiet: no window, no message box; waits for the setup program and every process it "
      "starts; removes the workspace after the wait; exit codes: Windows error codes; arguments "
      "for the setup program: 2",
      "volume C:\\T\\: not enough free space (200 MiB free)",
      "volume D:\\: chosen (5000 MiB free)",
      "workspace D:\\QW_0A1B2C3D",
      "entry \xE6\x96\x87\xE4\xBB\xB6\\a.dll: 1234 bytes, method 2 (LZMA), verified",
      "entry \xE6\x96\x87\xE4\xBB\xB6\\a.dll: 1234 bytes, method 1 (LZ), FAILED: CRC file:"
      "D:\\QW_0A1B2C3D\\\xE6\x96\x87\xE4\xBB\xB6\\a.dll error!",
      "failed: This file has been damaged, please download a new one!",
      "message not shown (no message box in this mode): CRC file:D:\\x error!",
      "end: by the launcher, status 5 (checksum error); exit code 23 (ERROR_CRC)",
  };
  std::string all = "\xEF\xBB\xBF";
  for (const auto& text : expected) all += kStamp + text + "\r\n";
  EXPECT_EQ(fake_.written, all);
}

TEST_F(RunLogTest, TheSetupProgramsStartWaitAndEnd) {
  uint32_t error = 0;
  ASSERT_TRUE(Open(u"x /passive /log=r.log", &error));
  size_t mark = fake_.written.size();
  char16_t commandLine[] = u"\"D:\\QW_1\\QWSetup.exe\" -D /S";
  SetupRun run;
  RunSetupProgram(u"D:\\QW_1\\QWSetup.exe", commandLine, true, &run);
  RunOutcome outcome = OutcomeOfSetupRun(run, true);
  LogRunEnd(options_, outcome);
  EXPECT_EQ(fake_.joinAsked, 1);
  EXPECT_EQ(fake_.closes, 1);
  EXPECT_TRUE(outcome.setupEnded);
  EXPECT_EQ(ProcessExitCode(options_, outcome), 3010u);
  std::string log = fake_.written.substr(mark);
  for (const char* text :
       {"setup command line (wide): \"D:\\QW_1\\QWSetup.exe\" -D /S\r\n",
        "setup program started, process 4242; waiting for it and every process it starts (job "
        "object)\r\n",
        "setup program ended with exit code 3010 (0x00000BC2); the wait is over\r\n",
        "end: by the setup program; exit code 3010\r\n"}) {
    EXPECT_NE(log.find(text), std::string::npos) << text << "\nin:\n" << log;
  }
}

TEST_F(RunLogTest, AWaitWithoutAJobOrThatFailsSaysSo) {
  uint32_t error = 0;
  ASSERT_TRUE(Open(u"x /quiet /log=r.log", &error));
  fake_.join = kSetupJobNotJoined;
  fake_.waits = false;
  char16_t commandLine[] = u"\"S\" -D";
  SetupRun run;
  RunSetupProgram(u"S", commandLine, true, &run);
  RunOutcome outcome = OutcomeOfSetupRun(run, true);
  EXPECT_EQ(fake_.closes, 1);  // let go of on every path
  EXPECT_EQ(outcome.status, kEndWaitFailed);
  EXPECT_EQ(ProcessExitCode(options_, outcome), 6u);
  EXPECT_NE(fake_.written.find("waiting for the setup program alone: it could not join a job "
                               "object, error 5; a process it leaves running is not waited for"),
            std::string::npos);
  EXPECT_NE(fake_.written.find("the wait for the setup program failed: error 6"),
            std::string::npos);

  fake_.starts = false;
  RunSetupProgram(u"S", commandLine, true, &run);
  EXPECT_EQ(OutcomeOfSetupRun(run, true).status, kExitSetupNotStarted);
  EXPECT_NE(fake_.written.find("setup program not started: error 193"), std::string::npos);
  EXPECT_EQ(fake_.waitCalls, 1);  // only the first run's

  fake_.starts = true;
  RunSetupProgram(u"S", commandLine, false, &run);  // not waited for: no job asked
  EXPECT_EQ(fake_.joinAsked, 0);
  EXPECT_EQ(fake_.waitCalls, 1);
  EXPECT_EQ(OutcomeOfSetupRun(run, false).status, kExitSetupStarted);
}

// A line longer than the buffer reaches the file whole, in several writes;
// text no UTF-8 holds is marked, never dropped.
TEST_F(RunLogTest, LongLinesAndOddTextComeWhole) {
  uint32_t error = 0;
  ASSERT_TRUE(Open(u"x /log=r.log", &error));
  size_t mark = fake_.written.size();
  size_t writesBefore = fake_.writes.size();
  std::u16string longText(3000, u'\u4E2D');  // 9000 bytes of UTF-8
  LogLine().AddWide(longText.c_str()).End();
  EXPECT_GT(fake_.writes.size() - writesBefore, 10u);
  std::string line = fake_.written.substr(mark);
  EXPECT_EQ(line.size(), 24 + 9000 + 2u);
  EXPECT_EQ(line.substr(line.size() - 5), "\xE4\xB8\xAD\r\n");

  mark = fake_.written.size();
  const char16_t kHalfPairs[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  LogLine().AddWide(kHalfPairs).AddAnsi("x\x81").AddHex(0xBC2).End();
  EXPECT_EQ(fake_.written.substr(mark + 24),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBDx\\x81"
            "0x00000BC2\r\n");
}

// A log that cannot be written is given up; the run goes on without it.
TEST_F(RunLogTest, AFailedWriteStopsTheLogNotTheRun) {
  uint32_t error = 0;
  ASSERT_TRUE(Open(u"x /log=r.log", &error));
  fake_.failAfter = fake_.written.size() + 30;
  LogLine().Add("first line that does not fit whole").End();
  EXPECT_FALSE(RunLogIsOpen());
  size_t size = fake_.written.size();
  LogWorkspace("C:\\QW_1", false);
  EXPECT_EQ(fake_.written.size(), size);
}

}  // namespace
