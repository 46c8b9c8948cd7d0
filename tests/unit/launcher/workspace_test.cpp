// The workspace on a fake platform: volumes with set free space, drive
// kinds, names that exist, a time-stamp counter that yields chosen values.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "launcher/app/workspace.h"
#include "launcher/run_state.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kDriveRemovable = 2, kDriveRemote = 4, kDriveCdRom = 5, kDriveRamDisk = 6;
constexpr uint64_t kJustEnough = 314572800;

struct LegacyCounts {
  uint32_t sectorsPerCluster, bytesPerSector, freeClusters;
};

struct FakeSystem {
  std::string tempPath = "C:\\Temp\\";
  uint32_t tempPathLength = 0;  // what GetTempPathA reports when it does not fit; 0: fits
  std::vector<std::pair<std::string, uint32_t>> drives;  // root, drive type
  std::set<std::string> existing;                        // files and directories
  std::map<std::string, uint64_t> freeBytes;             // by volume root
  std::map<std::string, LegacyCounts> legacy;            // by volume root
  bool hasExtendedQuery = true;
  bool createMakesNothing = false;  // creation reports success, nothing appears
  std::set<std::string> refused;    // names whose creation fails
  std::vector<uint32_t> stamps;
  size_t nextStamp = 0;

  bool tokenReadable = true;
  TokenFacts token = {false, false, "S-1-5-21-7-8-9-1001"};

  // The path a held directory resolves to, where a junction or link leads
  // elsewhere; "" where the system names it by none that fits.
  std::map<std::string, std::string> finalPaths;

  std::vector<std::string> created;      // every held directory creation attempted
  std::vector<std::string> descriptors;  // and the security descriptor each asked for
  std::vector<std::string> released;     // held directories let go, in order
  int lookups = 0, extendedQueries = 0, legacyQueries = 0;
};

FakeSystem* g_fake;

std::string VolumeOf(const char* path) {
  return std::string(path).substr(0, 3);
}

uint32_t FakeGetTempPath(uint32_t size, char* buffer) {
  if (g_fake->tempPathLength) return g_fake->tempPathLength;  // too long: writes nothing
  if (g_fake->tempPath.size() + 1 > size) return static_cast<uint32_t>(g_fake->tempPath.size() + 1);
  strcpy(buffer, g_fake->tempPath.c_str());
  return static_cast<uint32_t>(g_fake->tempPath.size());
}

int FakePathExists(const char* path) {
  return g_fake->existing.count(path) != 0;
}

uint32_t FakeGetLogicalDriveStrings(uint32_t size, char* buffer) {
  std::string all;
  for (const auto& drive : g_fake->drives) all += drive.first + '\0';
  if (all.size() + 1 > size) return static_cast<uint32_t>(all.size() + 1);
  memcpy(buffer, all.data(), all.size());
  buffer[all.size()] = '\0';
  return static_cast<uint32_t>(all.size());
}

uint32_t FakeGetDriveType(const char* root) {
  for (const auto& drive : g_fake->drives) {
    if (drive.first == root) return drive.second;
  }
  return 1;  // DRIVE_NO_ROOT_DIR
}

int FakeFreeSpaceEx(const char* path, uint64_t* available, uint64_t* total, uint64_t* free) {
  g_fake->extendedQueries++;
  auto volume = g_fake->freeBytes.find(VolumeOf(path));
  if (volume == g_fake->freeBytes.end()) return 0;
  *available = 0;  // never looked at: the total free bytes decide
  *total = volume->second * 2;
  *free = volume->second;
  return 1;
}

FreeSpaceExQuery FakeFindFreeSpaceEx() {
  g_fake->lookups++;
  return g_fake->hasExtendedQuery ? FakeFreeSpaceEx : nullptr;
}

int FakeGetDiskFreeSpace(const char* path, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                         uint32_t* freeClusters, uint32_t* totalClusters) {
  g_fake->legacyQueries++;
  auto volume = g_fake->legacy.find(VolumeOf(path));
  if (volume == g_fake->legacy.end()) return 0;
  *sectorsPerCluster = volume->second.sectorsPerCluster;
  *bytesPerSector = volume->second.bytesPerSector;
  *freeClusters = volume->second.freeClusters;
  *totalClusters = volume->second.freeClusters;
  return 1;
}

// A held directory's handle is its name, kept by the fake.
HeldHandle FakeCreateHeldDirectory(const char* path, const char* sddl) {
  g_fake->created.push_back(path);
  g_fake->descriptors.push_back(sddl);
  if (g_fake->existing.count(path) || g_fake->refused.count(path)) return nullptr;
  if (g_fake->createMakesNothing) return nullptr;  // made, yet not there to be held
  return const_cast<char*>(g_fake->existing.insert(path).first->c_str());
}

int FakeFinalPath(HeldHandle handle, char* path, uint32_t capacity) {
  std::string name = static_cast<const char*>(handle);
  auto redirected = g_fake->finalPaths.find(name);
  if (redirected != g_fake->finalPaths.end()) name = redirected->second;
  if (name.empty() || name.size() + 1 > capacity) return 0;
  memcpy(path, name.c_str(), name.size() + 1);
  return 1;
}

void FakeRelease(HeldHandle handle) {
  g_fake->released.push_back(static_cast<const char*>(handle));
}

int FakeReadToken(TokenFacts* facts) {
  if (!g_fake->tokenReadable) return 0;
  *facts = g_fake->token;
  return 1;
}

uint32_t FakeReadTimeStampLow() {
  const std::vector<uint32_t>& stamps = g_fake->stamps;
  return stamps.empty() ? 0 : stamps[g_fake->nextStamp++ % stamps.size()];
}

class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_platform;
    g_fake = &fake_;
    g_platform.getTempPath = FakeGetTempPath;
    g_platform.pathExists = FakePathExists;
    g_platform.getLogicalDriveStrings = FakeGetLogicalDriveStrings;
    g_platform.getDriveType = FakeGetDriveType;
    g_platform.findFreeSpaceEx = FakeFindFreeSpaceEx;
    g_platform.getDiskFreeSpace = FakeGetDiskFreeSpace;
    g_platform.createHeldDirectory = FakeCreateHeldDirectory;
    g_platform.finalPath = FakeFinalPath;
    g_platform.release = FakeRelease;
    g_platform.readToken = FakeReadToken;
    g_platform.readTimeStampLow = FakeReadTimeStampLow;
    memset(&g_runState, 0, sizeof g_runState);
    ResetFreeSpaceQuery();
    fake_.existing = {"C:\\Temp\\", "C:\\", "D:\\"};
    fake_.drives = {{"C:\\", kDriveFixed}, {"D:\\", kDriveFixed}};
    fake_.stamps = {0x0A1B2C3D};
  }
  void TearDown() override {
    ReleaseWorkspace();
    g_platform = saved_;
    ResetFreeSpaceQuery();
  }

  std::string Workspace() const { return g_runState.workspacePath; }

  FakeSystem fake_;
  PlatformOps saved_;
};

TEST_F(WorkspaceTest, ThresholdIsInclusive) {
  fake_.freeBytes["C:\\"] = kJustEnough;
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(Workspace(), "C:\\Temp\\QW_0A1B2C3D");
  EXPECT_STREQ(g_runState.packageCopyPath, "C:\\Temp\\QW_0A1B2C3D\\QW.tmp");
}

// The workspace's security descriptor by what the token is. An elevated
// token's user is the account of the user's unelevated programs, so it is
// named only where the launcher needs it to write (outside the
// Administrators); the High label keeps every unelevated program of the same
// user out, whatever the DACL grants. An unreadable token makes nothing.
TEST_F(WorkspaceTest, SecurityDescriptorByToken) {
  const std::string admins = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  const std::string highLabel = "S:(ML;OICI;NW;;;HI)";
  const struct {
    const char* token;
    bool readable;
    TokenFacts facts;
    WorkspaceOutcome outcome;
    std::string descriptor;  // empty: no creation attempted
  } rows[] = {
      {"administrator, elevated",
       true,
       {true, true, "S-1-5-21-7-8-9-500"},
       kWorkspaceReady,
       admins + highLabel},
      {"backup operator, elevated",
       true,
       {false, true, "S-1-5-21-7-8-9-1002"},
       kWorkspaceReady,
       admins + "(A;OICI;0x1f01bf;;;S-1-5-21-7-8-9-1002)" + highLabel},
      {"plain user",
       true,
       {false, false, "S-1-5-21-7-8-9-1003"},
       kWorkspaceReady,
       admins + "(A;OICI;0x1f01bf;;;S-1-5-21-7-8-9-1003)"},
      {"administrator, no integrity levels",
       true,
       {true, false, "S-1-5-21-7-8-9-500"},
       kWorkspaceReady,
       admins},
      {"token unreadable", false, {}, kWorkspaceTokenUnreadable, ""},
      {"user that is no SID",
       true,
       {false, true, "S-1-5)(A;;FA;;;WD"},
       kWorkspaceTokenUnreadable,
       ""},
  };
  fake_.freeBytes["C:\\"] = kJustEnough;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.token);
    fake_.tokenReadable = row.readable;
    fake_.token = row.facts;
    fake_.created.clear();
    fake_.descriptors.clear();
    ReleaseWorkspace();
    fake_.existing.erase("C:\\Temp\\QW_0A1B2C3D");
    EXPECT_EQ(PrepareWorkspace(), row.outcome);
    if (row.descriptor.empty()) {
      EXPECT_TRUE(fake_.created.empty());
      EXPECT_EQ(Workspace(), "");
    } else {
      EXPECT_EQ(fake_.descriptors, std::vector<std::string>{row.descriptor});
      EXPECT_EQ(Workspace(), "C:\\Temp\\QW_0A1B2C3D");
    }
  }
}

// The one directory held is the one made; names dropped along the way hold
// nothing, and the hold is let go once, when asked.
TEST_F(WorkspaceTest, HoldsTheWorkspaceItMadeUntilReleased) {
  fake_.freeBytes["C:\\"] = kJustEnough;
  fake_.stamps = {0x11111111, 0x22222222};
  fake_.refused.insert("C:\\Temp\\QW_11111111");
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_TRUE(fake_.released.empty());
  ReleaseWorkspace();
  ReleaseWorkspace();
  EXPECT_EQ(fake_.released, std::vector<std::string>{"C:\\Temp\\QW_22222222"});
}

TEST_F(WorkspaceTest, OneByteShortTriesTheFixedDrives) {
  // The temporary-files path and drive C: lie on the same volume.
  fake_.freeBytes["C:\\"] = kJustEnough - 1;
  fake_.freeBytes["D:\\"] = kJustEnough;
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(Workspace(), "D:\\QW_0A1B2C3D");
  EXPECT_STREQ(g_runState.packageCopyPath, "D:\\QW_0A1B2C3D\\QW.tmp");
}

TEST_F(WorkspaceTest, DecidesByTotalFreeBytesNotBytesAvailableToCaller) {
  fake_.freeBytes["C:\\"] = kJustEnough;  // the fake reports 0 bytes available to the caller
  EXPECT_TRUE(HasEnoughFreeSpace("C:\\Temp\\"));
  EXPECT_FALSE(HasEnoughFreeSpace("Q:\\"));  // a failing query fails the test
}

TEST_F(WorkspaceTest, OnlyExistingFixedDrivesInThePlatformsOrder) {
  fake_.existing = {"A:\\", "C:\\", "E:\\", "F:\\", "G:\\", "H:\\", "K:\\"};  // no C:\Temp\ .
  fake_.drives = {{"A:\\", kDriveRemovable}, {"C:\\", kDriveFixed},   {"E:\\", kDriveRemote},
                  {"F:\\", kDriveCdRom},     {"G:\\", kDriveRamDisk}, {"J:\\", kDriveFixed},
                  {"K:\\", kDriveFixed},     {"H:\\", kDriveFixed}};
  for (const char* root : {"A:\\", "E:\\", "F:\\", "G:\\", "H:\\", "J:\\", "K:\\"}) {
    fake_.freeBytes[root] = 1ull << 40;
  }
  fake_.freeBytes["C:\\"] = 1000;
  ASSERT_TRUE(ChooseWorkspaceBase());
  // J: is fixed and has the space but does not exist; K: precedes H: in the list.
  EXPECT_EQ(Workspace(), "K:\\");
}

TEST_F(WorkspaceTest, TemporaryFilesPathOnAnyKindOfDrive) {
  fake_.tempPath = "A:\\Temp\\";
  fake_.existing.insert("A:\\Temp\\");
  fake_.drives = {{"A:\\", kDriveRemovable}};
  fake_.freeBytes["A:\\"] = kJustEnough;
  ASSERT_TRUE(ChooseWorkspaceBase());
  EXPECT_EQ(Workspace(), "A:\\Temp\\");
}

TEST_F(WorkspaceTest, UnusableTemporaryFilesPathFallsBackToDrives) {
  fake_.freeBytes["C:\\"] = kJustEnough;
  fake_.freeBytes["D:\\"] = kJustEnough;

  fake_.tempPathLength = 700;  // does not fit in 520 bytes
  ASSERT_TRUE(ChooseWorkspaceBase());
  EXPECT_EQ(Workspace(), "C:\\");

  fake_.tempPathLength = 0;
  fake_.tempPath = "C:\\Gone\\";  // does not exist
  ASSERT_TRUE(ChooseWorkspaceBase());
  EXPECT_EQ(Workspace(), "C:\\");

  // Fits the buffer but leaves no room for the workspace and launch paths.
  fake_.tempPath = "C:\\" + std::string(kMaxWorkspaceBaseLength - 3, 'x') + "\\";
  fake_.existing.insert(fake_.tempPath);
  ASSERT_TRUE(ChooseWorkspaceBase());
  EXPECT_EQ(Workspace(), "C:\\");

  fake_.tempPath.erase(3, 1);  // one shorter: kMaxWorkspaceBaseLength exactly
  fake_.existing.insert(fake_.tempPath);
  ASSERT_TRUE(ChooseWorkspaceBase());
  EXPECT_EQ(Workspace(), fake_.tempPath);
}

// The room a package needs against volumes with room for the copy only, for
// the copy and the files, and for neither, tried in the usual order: the
// temporary-files path (on C:), then the fixed drives C:, D:, E:.
TEST_F(WorkspaceTest, TheFirstVolumeWithRoomForTheCopyAndEveryFile) {
  constexpr uint64_t kMiB = 1ull << 20, kGiB = 1ull << 30;
  // 1 GiB of package unpacking to 5 GiB in 2,000 files.
  const PackageNeeds large = {kGiB, 2000, 5 * kGiB};
  const uint64_t largeNeeds = 6 * kGiB + 2000 * 4096;
  // A set: a 296-byte package, three volumes of 1.9 GiB, 8 GiB of files.
  const uint64_t volumes = 3 * (19 * kGiB / 10);
  const PackageNeeds set = {296 + volumes, 40000, 8 * kGiB};
  const uint64_t setNeeds = 296 + volumes + 8 * kGiB + 40000ull * 4096;
  // 5 MiB of package, 12 MiB of files in 30 files: below the floor.
  const PackageNeeds small = {5 * kMiB, 30, 12 * kMiB};
  ASSERT_EQ(RoomNeeded(large), largeNeeds);
  ASSERT_EQ(RoomNeeded(set), setNeeds);

  struct Row {
    const char* what;
    PackageNeeds needs;
    std::vector<uint64_t> freeBytes;  // of C:, D:, E:
    const char* base;                 // where the workspace goes; null: nowhere
  };
  const Row rows[] = {
      {"room for the copy only, then for both", large, {kGiB + kMiB, largeNeeds, 0}, "D:\\"},
      {"room for both at once", large, {largeNeeds, 100 * kGiB, 0}, "C:\\Temp\\"},
      {"room for neither, then for the copy only", large, {kMiB, 2 * kGiB, kGiB}, nullptr},
      {"one byte short everywhere", large, {largeNeeds - 1, largeNeeds - 1, 0}, nullptr},
      {"the order stands: the later, roomier drive waits",
       large,
       {0, largeNeeds, largeNeeds * 10},
       "D:\\"},
      {"a set: room for the volumes' copies only", set, {volumes + kGiB, 0, setNeeds}, "E:\\"},
      {"a set: room for the files but not the copies",
       set,
       {8 * kGiB + 40000ull * 4096, setNeeds - 1, 0},
       nullptr},
      {"a set: room for all", set, {setNeeds, 0, 0}, "C:\\Temp\\"},
      {"small: the floor, exactly", small, {kRoomFloor, 500 * kGiB, 0}, "C:\\Temp\\"},
      {"small: one byte below the floor", small, {kRoomFloor - 1, kRoomFloor, 0}, "D:\\"},
      {"small: nowhere with the floor", small, {kRoomFloor - 1, 17 * kMiB, 0}, nullptr},
  };
  fake_.existing.insert("E:\\");
  fake_.drives.push_back({"E:\\", kDriveFixed});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ReleaseWorkspace();
    fake_.created.clear();
    fake_.existing.erase("C:\\Temp\\QW_0A1B2C3D");
    fake_.existing.erase("D:\\QW_0A1B2C3D");
    fake_.existing.erase("E:\\QW_0A1B2C3D");
    const char* drives[] = {"C:\\", "D:\\", "E:\\"};
    for (int i = 0; i < 3; i++) fake_.freeBytes[drives[i]] = row.freeBytes[i];
    WorkspaceOutcome outcome = PrepareWorkspace(RoomNeeded(row.needs));
    if (!row.base) {
      EXPECT_EQ(outcome, kWorkspaceNoRoom);
      EXPECT_TRUE(fake_.created.empty());
    } else {
      EXPECT_EQ(outcome, kWorkspaceReady);
      EXPECT_EQ(Workspace(), std::string(row.base) + "QW_0A1B2C3D");
    }
  }
}

TEST_F(WorkspaceTest, NoQualifyingBaseCreatesNothing) {
  fake_.freeBytes["C:\\"] = kJustEnough - 1;
  fake_.freeBytes["D:\\"] = 0;
  EXPECT_EQ(PrepareWorkspace(), kWorkspaceNoRoom);
  EXPECT_TRUE(fake_.created.empty());
  EXPECT_EQ(Workspace(), "");
}

TEST_F(WorkspaceTest, NamesAreEightUpperCaseHexDigits) {
  fake_.freeBytes["C:\\"] = kJustEnough;
  fake_.stamps = {0x00000001};
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(Workspace(), "C:\\Temp\\QW_00000001");
  fake_.stamps = {0xABCDEF12};
  fake_.nextStamp = 0;
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(Workspace(), "C:\\Temp\\QW_ABCDEF12");
  EXPECT_EQ(fake_.created.back(), "C:\\Temp\\QW_ABCDEF12");
}

TEST_F(WorkspaceTest, DrawsANewNameUntilOneIsCreatedHere) {
  fake_.freeBytes["C:\\"] = kJustEnough;
  fake_.stamps = {0x11111111, 0x22222222, 0x33333333};
  fake_.existing.insert("C:\\Temp\\QW_11111111");  // exists already (a file, say)
  fake_.refused.insert("C:\\Temp\\QW_22222222");   // cannot be created
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(Workspace(), "C:\\Temp\\QW_33333333");
  // The existing name is never even attempted.
  EXPECT_EQ(fake_.created,
            (std::vector<std::string>{"C:\\Temp\\QW_22222222", "C:\\Temp\\QW_33333333"}));
}

// Each base with room is tried for the attempt bound, then given up for the
// next; when none is left, the workspace could not be made, which is not
// the same as no room.
TEST_F(WorkspaceTest, GivesUpAfterTheAttemptBoundOnEveryBase) {
  fake_.freeBytes["C:\\"] = kJustEnough;  // C:\Temp\ and C:\ have the room, D: none
  fake_.createMakesNothing = true;        // "created", yet never there afterwards
  EXPECT_EQ(PrepareWorkspace(), kWorkspaceNotMade);
  ASSERT_EQ(fake_.created.size(), 2 * static_cast<size_t>(kWorkspaceAttempts));
  EXPECT_EQ(fake_.created.front().rfind("C:\\Temp\\QW_", 0), 0u);
  EXPECT_EQ(fake_.created.back().rfind("C:\\QW_", 0), 0u);
  EXPECT_EQ(Workspace(), "");
}

// A base that refuses every workspace (access denied, a descriptor it will
// not take) passes the run on to the next base with room.
TEST_F(WorkspaceTest, ABaseThatMakesNoWorkspacePassesToTheNext) {
  fake_.freeBytes["C:\\"] = kJustEnough;
  fake_.freeBytes["D:\\"] = kJustEnough;
  fake_.stamps = {0x0A1B2C3D};
  fake_.refused = {"C:\\Temp\\QW_0A1B2C3D", "C:\\QW_0A1B2C3D"};
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(Workspace(), "D:\\QW_0A1B2C3D");
  EXPECT_EQ(fake_.created.size(), 2 * static_cast<size_t>(kWorkspaceAttempts) + 1);
}

// The run goes by the path the held directory resolves to: a junction in
// the temporary-files path is followed once, at the creation, and the path
// it led to is the one used from then on. A workspace the system names by
// no usable path is let go, and the next base tried.
TEST_F(WorkspaceTest, TheWorkspaceIsNamedByThePathItsHandleResolvesTo) {
  fake_.freeBytes["C:\\"] = kJustEnough;
  fake_.finalPaths["C:\\Temp\\QW_0A1B2C3D"] = "C:\\Users\\Real\\Temp\\QW_0A1B2C3D";
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(Workspace(), "C:\\Users\\Real\\Temp\\QW_0A1B2C3D");
  EXPECT_STREQ(g_runState.packageCopyPath, "C:\\Users\\Real\\Temp\\QW_0A1B2C3D\\QW.tmp");
  EXPECT_STREQ(static_cast<const char*>(g_runState.workspace), "C:\\Temp\\QW_0A1B2C3D");
  ReleaseWorkspace();

  fake_.nextStamp = 0;
  fake_.existing.erase("C:\\Temp\\QW_0A1B2C3D");
  fake_.finalPaths["C:\\Temp\\QW_0A1B2C3D"] = "";  // no path the code page holds
  fake_.released.clear();
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(fake_.released, std::vector<std::string>{"C:\\Temp\\QW_0A1B2C3D"});
  EXPECT_EQ(Workspace(), "C:\\QW_0A1B2C3D");

  // A path too long for the launch command is no usable path either.
  ReleaseWorkspace();
  fake_.nextStamp = 0;
  fake_.existing.erase("C:\\Temp\\QW_0A1B2C3D");
  fake_.existing.erase("C:\\QW_0A1B2C3D");
  fake_.finalPaths["C:\\Temp\\QW_0A1B2C3D"] =
      "C:\\" + std::string(kMaxWorkspaceBaseLength - 3, 'x') + "\\QW_0A1B2C3D";
  ASSERT_EQ(PrepareWorkspace(), kWorkspaceReady);
  EXPECT_EQ(Workspace(), "C:\\QW_0A1B2C3D");
}

TEST_F(WorkspaceTest, WithoutTheExtendedQueryMultipliesClustersIn64Bits) {
  fake_.hasExtendedQuery = false;
  fake_.legacy["C:\\"] = {8, 512, 76800};  // 314,572,800 bytes exactly
  fake_.legacy["D:\\"] = {8, 512, 76799};
  fake_.legacy["E:\\"] = {128, 65536, 0xFFFFFFFF};     // overflows 32 bits many times over
  fake_.legacy["F:\\"] = {0x10000, 0x10000, 0x10000};  // 2^48, wraps to 0 in 32 bits
  EXPECT_TRUE(HasEnoughFreeSpace("C:\\"));
  EXPECT_FALSE(HasEnoughFreeSpace("D:\\"));
  EXPECT_TRUE(HasEnoughFreeSpace("E:\\"));
  EXPECT_TRUE(HasEnoughFreeSpace("F:\\"));
  EXPECT_FALSE(HasEnoughFreeSpace("G:\\"));  // the query fails
  EXPECT_EQ(fake_.extendedQueries, 0);
  // While it is missing, the entry point is looked up at every test.
  EXPECT_EQ(fake_.lookups, 5);
}

TEST_F(WorkspaceTest, ExtendedQueryIsKeptOnceFound) {
  fake_.freeBytes["C:\\"] = kJustEnough;
  fake_.legacy["C:\\"] = {0, 0, 0};
  for (int i = 0; i < 3; i++) EXPECT_TRUE(HasEnoughFreeSpace("C:\\"));
  EXPECT_EQ(fake_.lookups, 1);
  EXPECT_EQ(fake_.extendedQueries, 3);
  EXPECT_EQ(fake_.legacyQueries, 0);
}

TEST(PrivateDirectory, OnPosixOnlyTheOwnerGetsIn) {
  PlatformOps native = NativePlatform();
  char scratch[] = "/tmp/qwprivateXXXXXX";
  ASSERT_NE(mkdtemp(scratch), nullptr);
  std::string path = std::string(scratch) + "/QW_0A1B2C3D";
  HeldHandle held = native.createHeldDirectory(path.c_str(), "D:P(A;OICI;FA;;;SY)");
  ASSERT_NE(held, nullptr);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  // A second creation fails the way CreateDirectoryA does.
  EXPECT_EQ(native.createHeldDirectory(path.c_str(), "D:P(A;OICI;FA;;;SY)"), nullptr);
  EXPECT_EQ(native.lastError(), kErrorAlreadyExists);
  native.release(held);
  rmdir(path.c_str());
  rmdir(scratch);
}

}  // namespace
