#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "decode/nested_directory.h"
#include "platform/platform.h"

namespace {

// A file system of directory names only, recording every creation attempted.
std::set<std::string> g_directories;
std::vector<std::string> g_attempts;
uint32_t g_lastError;

int FakeCreateDirectory(const char* path) {
  g_attempts.push_back(path);
  if (!g_directories.insert(path).second) {
    g_lastError = kErrorAlreadyExists;
    return 0;
  }
  return 1;
}

class NestedDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_platform = NativePlatform();
    g_platform.createDirectory = FakeCreateDirectory;
    g_platform.lastError = [] { return g_lastError; };
    g_platform.isLeadByte = [](unsigned char byte) { return byte >= 0x81 && byte <= 0xFE ? 1 : 0; };
    g_directories = {"C:\\W"};
    g_attempts.clear();
  }
  void TearDown() override { g_platform = NativePlatform(); }
};

}  // namespace

TEST_F(NestedDirectoryTest, CreatesEveryLevelBelowTheBaseOnly) {
  EXPECT_NE(CreateNestedDirectory("C:\\W", "a\\b\\c"), 0);
  EXPECT_EQ(g_attempts,
            (std::vector<std::string>{"C:\\W", "C:\\W\\a", "C:\\W\\a\\b", "C:\\W\\a\\b\\c"}));
  g_attempts.clear();
  EXPECT_EQ(CreateNestedDirectory("C:\\W", "a\\b\\c"), 0);
  EXPECT_EQ(g_lastError, kErrorAlreadyExists);
}

TEST_F(NestedDirectoryTest, TrailBytesThatLookLikeSeparatorsAreNotSplit) {
  // 0x95 0x5C is one double-byte character whose second byte is a backslash.
  EXPECT_NE(CreateNestedDirectory("C:\\W", "\x95\x5C\\x\x95\x5C"), 0);
  EXPECT_EQ(g_attempts,
            (std::vector<std::string>{"C:\\W", "C:\\W\\\x95\x5C", "C:\\W\\\x95\x5C\\x\x95\x5C"}));
}

TEST_F(NestedDirectoryTest, WorkspaceBaseWithTrailingSeparator) {
  g_directories = {"C:\\Temp\\"};
  EXPECT_NE(CreateNestedDirectory("C:\\Temp\\", "QW_0A1B2C3D"), 0);
  EXPECT_EQ(g_attempts.front(), "C:\\Temp\\");  // the base itself comes first
  EXPECT_EQ(g_attempts.back(), "C:\\Temp\\\\QW_0A1B2C3D");
}

TEST_F(NestedDirectoryTest, PathsBeyondTheBufferCreateNothing) {
  std::string base(400, 'b');
  EXPECT_EQ(CreateNestedDirectory(base.c_str(), std::string(119, 'r').c_str()), 0);
  EXPECT_TRUE(g_attempts.empty());
  EXPECT_NE(CreateNestedDirectory(base.c_str(), std::string(118, 'r').c_str()), 0);
}
