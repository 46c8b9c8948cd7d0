#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "decode/nested_directory.h"
#include "platform/platform.h"

namespace {

// A file system of directory names only, recording every creation attempted
// and the held directory each was made in.
std::set<std::string> g_directories;
std::vector<std::string> g_attempts;
std::vector<HeldHandle> g_inside;
uint32_t g_lastError;
char g_workspace[] = "the workspace";  // the held handle the walk passes

int FakeCreateDirectoryIn(HeldHandle directory, const char* relativePath) {
  g_attempts.push_back(relativePath);
  g_inside.push_back(directory);
  if (!g_directories.insert(relativePath).second) {
    g_lastError = kErrorAlreadyExists;
    return 0;
  }
  return 1;
}

class NestedDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_platform = NativePlatform();
    g_platform.createDirectoryIn = FakeCreateDirectoryIn;
    g_platform.lastError = [] { return g_lastError; };
    g_platform.isLeadByte = [](unsigned char byte) { return byte >= 0x81 && byte <= 0xFE ? 1 : 0; };
    g_directories.clear();
    g_attempts.clear();
    g_inside.clear();
  }
  void TearDown() override { g_platform = NativePlatform(); }

  int Create(const char* relativePath) {
    MadeSubdirectory fresh;
    return CreateEntrySubdirectory(g_workspace, relativePath, &fresh);
  }
};

}  // namespace

// Every level is made relative to the held workspace, never through a path
// that begins with the workspace's own.
TEST_F(NestedDirectoryTest, CreatesEveryLevelInsideTheHeldDirectory) {
  EXPECT_NE(Create("a\\b\\c"), 0);
  EXPECT_EQ(g_attempts, (std::vector<std::string>{"a", "a\\b", "a\\b\\c"}));
  EXPECT_EQ(g_inside, std::vector<HeldHandle>(3, g_workspace));
  g_attempts.clear();
  EXPECT_EQ(Create("a\\b\\c"), 0);
  EXPECT_EQ(g_lastError, kErrorAlreadyExists);
}

TEST_F(NestedDirectoryTest, TrailBytesThatLookLikeSeparatorsAreNotSplit) {
  // 0x95 0x5C is one double-byte character whose second byte is a backslash.
  EXPECT_NE(Create("\x95\x5C\\x\x95\x5C"), 0);
  EXPECT_EQ(g_attempts, (std::vector<std::string>{"\x95\x5C", "\x95\x5C\\x\x95\x5C"}));
}

TEST_F(NestedDirectoryTest, PathsBeyondTheBufferCreateNothing) {
  EXPECT_EQ(Create(std::string(520, 'r').c_str()), 0);
  EXPECT_TRUE(g_attempts.empty());
  EXPECT_NE(Create(std::string(519, 'r').c_str()), 0);
}
