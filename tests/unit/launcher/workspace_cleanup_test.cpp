// After a wait: the workspace removed on a real file system (the POSIX
// seam), links removed and never followed, files in use retried and then
// scheduled for restart; and the folder of /extract=DIR made or refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "launcher/app/extract_folder.h"
#include "launcher/app/workspace_cleanup.h"

namespace {

std::u16string Wide(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

void WriteFile(const std::string& path) {
  std::ofstream(path) << "x";
}

struct FakeInUse {
  std::string busyName;  // a file whose deletion fails while `busyFor` lasts
  int busyFor = 0;
  std::vector<std::u16string> scheduled;
  int sleeps = 0;
};
FakeInUse* g_inUse;
PlatformOps g_real;

int BusyDelete(HeldHandle entry) {
  char path[4096];
  std::string name = g_real.finalPath(entry, path, sizeof path) ? path : "";
  bool busy = name.size() >= g_inUse->busyName.size() &&
              name.compare(name.size() - g_inUse->busyName.size(), std::string::npos,
                           g_inUse->busyName) == 0;
  if (busy && g_inUse->busyFor != 0) {
    if (g_inUse->busyFor > 0) g_inUse->busyFor--;
    return 0;  // the POSIX seam's last error stays as it was; the report takes any
  }
  return g_real.deleteHeld(entry);
}

class CleanupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_platform;
    g_real = g_platform;
    g_inUse = &inUse_;
    char pattern[] = "/tmp/qw-cleanup-XXXXXX";
    root_ = mkdtemp(pattern);
    workspace_ = root_ + "/QW_0A1B2C3D";
    outside_ = root_ + "/outside";
    mkdir(workspace_.c_str(), 0700);
    mkdir(outside_.c_str(), 0700);
    WriteFile(outside_ + "/keep.txt");
    g_platform.deleteHeld = BusyDelete;
    g_platform.sleepMilliseconds = [](uint32_t) { g_inUse->sleeps++; };
    g_platform.deleteAtRestart = [](const char16_t* path) {
      g_inUse->scheduled.push_back(path);
      return 1;
    };
  }
  void TearDown() override {
    g_platform = saved_;
    std::string command = "rm -rf '" + root_ + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }

  // The workspace removed as a run does: down from a hold on it.
  bool Remove(bool schedule, CleanupReport* report) {
    HeldHandle hold = g_platform.holdDirectory(workspace_.c_str());
    bool gone = RemoveWorkspaceTree(&hold, workspace_.c_str(), schedule, report);
    EXPECT_EQ(hold, nullptr);
    return gone;
  }

  FakeInUse inUse_;
  PlatformOps saved_;
  std::string root_, workspace_, outside_;
};

TEST_F(CleanupTest, RemovesTheTreeAndOnlyLinksOfWhatLeadsOut) {
  mkdir((workspace_ + "/sub").c_str(), 0700);
  mkdir((workspace_ + "/sub/deeper").c_str(), 0700);
  WriteFile(workspace_ + "/QWSetup.exe");
  WriteFile(workspace_ +
            "/sub/deeper/\xE6\x97\xA5\xE5\xBF\x97.txt");  // a name beyond any code page
  ASSERT_EQ(symlink(outside_.c_str(), (workspace_ + "/sub/junction").c_str()), 0);
  ASSERT_EQ(symlink((outside_ + "/keep.txt").c_str(), (workspace_ + "/link.txt").c_str()), 0);
  CleanupReport report;
  EXPECT_TRUE(Remove(true, &report));
  EXPECT_TRUE(report.gone);
  EXPECT_FALSE(Exists(workspace_));
  EXPECT_EQ(report.removed, 7u);
  EXPECT_EQ(report.passes, 1u);
  EXPECT_TRUE(Exists(outside_ + "/keep.txt"));
  EXPECT_TRUE(inUse_.scheduled.empty());
}

// Another program renames the held workspace away and puts a link to its
// own folder at its name: the walk goes on inside the workspace it holds,
// and at the name it removes only the link.
TEST_F(CleanupTest, AWorkspaceRenamedAndReplacedByALinkLeadsNowhere) {
  WriteFile(workspace_ + "/QWSetup.exe");
  HeldHandle hold = g_platform.holdDirectory(workspace_.c_str());
  std::string moved = root_ + "/moved";
  ASSERT_EQ(rename(workspace_.c_str(), moved.c_str()), 0);
  ASSERT_EQ(symlink(outside_.c_str(), workspace_.c_str()), 0);
  CleanupReport report;
  EXPECT_TRUE(RemoveWorkspaceTree(&hold, workspace_.c_str(), true, &report));
  EXPECT_FALSE(Exists(workspace_));
  EXPECT_FALSE(Exists(moved + "/QWSetup.exe"));
  EXPECT_TRUE(Exists(outside_ + "/keep.txt"));
  // A link swapped in for a folder inside, between its listing and its
  // opening, is opened as the link it now is.
  mkdir(workspace_.c_str(), 0700);
  mkdir((workspace_ + "/sub").c_str(), 0700);
  WriteFile(workspace_ + "/sub/a.txt");
  static std::string s_sub, s_outside;
  s_sub = workspace_ + "/sub";
  s_outside = outside_;
  g_platform.openEntryIn = [](HeldHandle folder, const char16_t* name, uint32_t* attributes) {
    if (std::u16string(name) == u"sub" && rename(s_sub.c_str(), (s_sub + "-real").c_str()) == 0) {
      EXPECT_EQ(symlink(s_outside.c_str(), s_sub.c_str()), 0);
    }
    return g_real.openEntryIn(folder, name, attributes);
  };
  EXPECT_TRUE(Remove(true, &report));
  EXPECT_TRUE(Exists(outside_ + "/keep.txt"));
}

TEST_F(CleanupTest, AFileInUseForAMomentIsRetried) {
  WriteFile(workspace_ + "/busy.dll");
  inUse_.busyName = "busy.dll";
  inUse_.busyFor = 3;
  CleanupReport report;
  EXPECT_TRUE(Remove(true, &report));
  EXPECT_EQ(report.passes, 4u);
  EXPECT_EQ(inUse_.sleeps, 3);
  EXPECT_TRUE(inUse_.scheduled.empty());
}

// What stays in use is scheduled when elevated, each folder after what it
// holds; otherwise it is left, and said to be.
TEST_F(CleanupTest, WhatStaysInUseIsScheduledForRestartWhenElevated) {
  mkdir((workspace_ + "/sub").c_str(), 0700);
  WriteFile(workspace_ + "/sub/busy.dll");
  WriteFile(workspace_ + "/free.txt");
  inUse_.busyName = "busy.dll";
  inUse_.busyFor = -1;
  CleanupReport report;
  EXPECT_FALSE(Remove(false, &report));
  EXPECT_EQ(report.passes, kCleanupPasses);
  EXPECT_EQ(inUse_.sleeps, static_cast<int>(kCleanupPasses) - 1);
  EXPECT_EQ(report.left, 3u);  // the file, its folder, the workspace
  EXPECT_TRUE(inUse_.scheduled.empty());
  EXPECT_FALSE(Exists(workspace_ + "/free.txt"));

  EXPECT_FALSE(Remove(true, &report));
  std::vector<std::u16string> expected = {Wide(workspace_ + "\\sub\\busy.dll"),
                                          Wide(workspace_ + "\\sub"), Wide(workspace_)};
  EXPECT_EQ(inUse_.scheduled, expected);
  EXPECT_EQ(report.scheduled, 3u);
  EXPECT_EQ(report.left, 3u);
}

TEST_F(CleanupTest, AFolderTooDeepIsLeftNotFollowedForever) {
  std::string path = workspace_;
  for (unsigned i = 0; i <= kCleanupDepth; i++) {
    path += "/d";
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  }
  CleanupReport report;
  EXPECT_FALSE(Remove(false, &report));
  EXPECT_EQ(report.firstError, 206u);
  EXPECT_TRUE(Exists(workspace_));
}

TEST(RestartDeletion, OnlyWhereNoUserCanRenameTheWorkspace) {
  EXPECT_TRUE(RestartDeletionIsSafe("S-1-5-21-1-2-3-1001", "C:\\QW_0A1B2C3D"));
  EXPECT_TRUE(RestartDeletionIsSafe("S-1-5-18", "C:\\Windows\\Temp\\QW_0A1B2C3D"));
  EXPECT_FALSE(RestartDeletionIsSafe("S-1-5-21-1-2-3-1001", "C:\\Users\\u\\Temp\\QW_0A1B2C3D"));
  EXPECT_FALSE(RestartDeletionIsSafe("S-1-5-21-1-2-3-1001", "\\\\srv\\share\\QW_0A1B2C3D"));
  EXPECT_FALSE(RestartDeletionIsSafe("S-1-5-18-1", "C:\\T\\QW_0A1B2C3D"));
}

TEST(ExtendedLengthPath, PrefixesDrivesAndShares) {
  struct Row {
    const char16_t* path;
    const char16_t* extended;
  };
  const Row kRows[] = {
      {u"C:\\T\\QW_1", u"\\\\?\\C:\\T\\QW_1"},
      {u"\\\\srv\\sh\\QW_1", u"\\\\?\\UNC\\srv\\sh\\QW_1"},
      {u"\\\\?\\C:\\QW_1", u"\\\\?\\C:\\QW_1"},
      {u"\\\\.\\pipe\\x", u"\\\\.\\pipe\\x"},
      {u"/tmp/QW_1", u"/tmp/QW_1"},
  };
  for (const Row& row : kRows) {
    char16_t out[64];
    ASSERT_TRUE(ExtendedLengthPath(row.path, out, 64));
    EXPECT_EQ(std::u16string(out), row.extended);
  }
  char16_t small[14];  // 13 units and the terminator
  EXPECT_FALSE(ExtendedLengthPath(u"C:\\T\\QW_1", small, 13));
  EXPECT_TRUE(ExtendedLengthPath(u"C:\\T\\QW_1", small, 14));
}

class ExtractFolderTest : public CleanupTest {
 protected:
  ExtractFolderOutcome Prepare(const std::string& path) {
    return PrepareExtractFolder(Wide(path).c_str(), "D:P(A;OICI;FA;;;SY)", &folder_);
  }
  void TearDown() override {
    if (folder_.hold) g_platform.release(folder_.hold);
    CleanupTest::TearDown();
  }
  ExtractFolder folder_ = {};
};

TEST_F(ExtractFolderTest, AMissingFolderIsMadeWithItsParentsAndHeld) {
  ASSERT_EQ(Prepare(root_ + "/out/a/b/"), kExtractFolderReady);
  EXPECT_EQ(std::string(folder_.path), root_ + "/out/a/b");
  EXPECT_TRUE(folder_.made);
  EXPECT_NE(folder_.hold, nullptr);
  struct stat st;
  ASSERT_EQ(stat(folder_.path, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);  // made as a workspace is
  // Relative to the current folder.
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(root_.c_str()), 0);
  ExtractFolder relative = {};
  EXPECT_EQ(PrepareExtractFolder(u"rel", "", &relative), kExtractFolderReady);
  EXPECT_EQ(chdir(here), 0);
  EXPECT_EQ(std::string(relative.path), root_ + "/rel");
  g_platform.release(relative.hold);
}

TEST_F(ExtractFolderTest, AnEmptyFolderIsTakenAndAFullOneRefusedUntouched) {
  mkdir((root_ + "/empty").c_str(), 0755);
  EXPECT_EQ(Prepare(root_ + "/empty"), kExtractFolderReady);
  EXPECT_FALSE(folder_.made);
  EXPECT_EQ(folder_.hold, nullptr);
  EXPECT_EQ(Prepare(outside_), kExtractFolderNotEmpty);
  EXPECT_EQ(folder_.error, 145u);
  EXPECT_EQ(Prepare(outside_ + "/keep.txt"), kExtractFolderNotMade);
  EXPECT_EQ(folder_.error, 267u);
  // A file where a parent would be: nothing is made.
  EXPECT_EQ(Prepare(outside_ + "/keep.txt/x/y"), kExtractFolderNotMade);
  EXPECT_EQ(folder_.error, 267u);
  EXPECT_EQ(Prepare(root_ + "/" + std::string(kMaxExtractFolderLength, 'n')),
            kExtractFolderNotMade);
  EXPECT_EQ(folder_.error, 206u);
  EXPECT_FALSE(Exists(root_ + "/" + std::string(kMaxExtractFolderLength, 'n')));
}

TEST_F(ExtractFolderTest, ANameTheCodePageCannotSpellIsRefused) {
  PosixSetCodePage(936);
  std::u16string thai = Wide(root_ + "/") + u"\u0E01";  // no GBK character
  EXPECT_EQ(PrepareExtractFolder(thai.c_str(), "", &folder_), kExtractFolderNotMade);
  EXPECT_EQ(folder_.error, 1113u);
  std::u16string chinese = Wide(root_ + "/") + u"\u4E2D";
  EXPECT_EQ(PrepareExtractFolder(chinese.c_str(), "", &folder_), kExtractFolderReady);
  EXPECT_EQ(std::string(folder_.path), root_ + "/\xD6\xD0");  // the GBK bytes
}

TEST_F(ExtractFolderTest, ParentsMadeForAFolderThatFailsAreRemovedAgain) {
  g_platform.createHeldDirectory = [](const char*, const char*) -> HeldHandle { return nullptr; };
  EXPECT_EQ(Prepare(root_ + "/new/a/b"), kExtractFolderNotMade);
  EXPECT_FALSE(Exists(root_ + "/new"));
}

TEST(PathRootLength, DrivesSharesAndPosix) {
  EXPECT_EQ(PathRootLength(u"C:\\x"), 3u);
  EXPECT_EQ(PathRootLength(u"c:/x"), 3u);
  EXPECT_EQ(PathRootLength(u"\\\\srv\\sh\\x"), 9u);
  EXPECT_EQ(PathRootLength(u"\\\\srv\\sh"), 8u);
  EXPECT_EQ(PathRootLength(u"\\\\srv"), 0u);
  EXPECT_EQ(PathRootLength(u"\\\\?\\C:\\x"), 7u);
  EXPECT_EQ(PathRootLength(u"\\\\?\\UNC\\srv\\sh\\x"), 15u);
  EXPECT_EQ(PathRootLength(u"/tmp"), 1u);
  EXPECT_EQ(PathRootLength(u"x\\y"), 0u);
}

}  // namespace
