// Volume sets as the launcher reads them: the record in the program file,
// the volumes' names, every volume missing, cut, extended or changed and
// refused by name before anything of it is copied or unpacked; what a reader
// that knows no sets does with a set's program file; and the needs read
// for the choice of a volume.
#include "decode/volume_set.h"

#include "decode/package_needs.h"
#include "decode/unpack.h"
#include "encode/volume_set_writer.h"
#include "tests/unit/launcher/worker_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes VolumeOf(uint32_t number, const PackageBuilder& entries) {
  Bytes package = entries.Build();
  Bytes volume(kVolumeHeaderSize);
  SerializeVolumeHeader(number, volume.data());
  volume.insert(volume.end(), package.begin() + 4, package.end());
  return volume;
}

Bytes Text(size_t size, char seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; i++) bytes[i] = static_cast<uint8_t>(seed + i % 23);
  return bytes;
}

class VolumeSetTest : public WorkerTest {
 protected:
  void SetUp() override {
    WorkerTest::SetUp();
    PackageBuilder first, second, third;
    first.AddFile("", "QWSetup.exe", Text(5000, 'a'));
    first.AddFile("data", "one.txt", Text(9000, 'b'));
    second.AddFile("data", "two.txt", Text(300, 'c'));
    second.AddFile("data", "empty.txt", {});
    third.AddFile("data\\deep", "three.bin", Text(20000, 'd'));
    volumes_ = {VolumeOf(1, first), VolumeOf(2, second), VolumeOf(3, third)};
    header_ = {5, 3, 5000 + 9000 + 300 + 20000};
    WriteSet();
  }

  std::string VolumePath(uint32_t number) const {
    return root_ + "/Setup-" + std::to_string(number) + ".qwv";
  }

  // The program file and the volumes beside it; records from `recorded`
  // (the volumes as packed), files from volumes_ (as found).
  void WriteSet(std::vector<Bytes> recorded = {}) {
    if (recorded.empty()) recorded = volumes_;
    std::vector<VolumeRecord> records;
    for (const Bytes& volume : recorded)
      records.push_back(RecordOfVolume(volume.data(), volume.size()));
    program_bytes_ = MakeProgramFile(Bytes(200, 'S'), BuildSetPackage(header_, records));
    WriteProgram(program_bytes_);
    for (size_t i = 0; i < volumes_.size(); i++) WriteBytes(VolumePath(i + 1), volumes_[i]);
  }
  void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  static FILE* OpenBeside(void* context, uint32_t number, char* path) {
    VolumeFilePath(static_cast<VolumeSetTest*>(context)->program_.c_str(), number, path,
                   kPathCapacity);
    return fopen(path, "rb");
  }

  SetReading Read(VolumeSet* set) {
    FILE* program = fopen(program_.c_str(), "rb");
    SetReading reading = ReadVolumeSet(program, set);
    fclose(program);
    return reading;
  }

  // Copies the set out as the launcher would; returns the code and leaves
  // the copy's bytes in `copied`.
  uint32_t CopyOut(std::string* failedPath, Bytes* copied, VolumeProblem* problem = nullptr) {
    notices_.clear();
    VolumeSet set;
    EXPECT_EQ(Read(&set), kSetRead);
    std::string copyPath = workspace_ + "/QW.tmp";
    FILE* copy = fopen(copyPath.c_str(), "wb");
    char path[kPathCapacity] = "";
    uint32_t code =
        CopyOutVolumes(set, {OpenBeside, this}, copy, copyPath.c_str(), &sink_, path, problem);
    fclose(copy);
    *failedPath = path;
    std::ifstream in(copyPath, std::ios::binary);
    copied->assign(std::istreambuf_iterator<char>(in), {});
    return code;
  }

  // A final notice is the worker's to send: copying out sends progress only.
  void ExpectNoFinalNotice() const {
    for (const Notice& notice : notices_) EXPECT_EQ(notice.code, kNoticeProgress);
  }
  // The names in the workspace.
  std::vector<std::string> WorkspaceEntries() const {
    std::vector<std::string> names;
    DIR* dir = opendir(workspace_.c_str());
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
  }

  Bytes EntriesOf(const std::vector<Bytes>& volumes) const {
    Bytes entries;
    for (const Bytes& volume : volumes)
      entries.insert(entries.end(), volume.begin() + kVolumeHeaderSize, volume.end());
    return entries;
  }

  std::vector<Bytes> volumes_;
  SetHeader header_;
  Bytes program_bytes_;
};

}  // namespace

TEST_F(VolumeSetTest, TheRecordGivesEveryVolumesLengthAndDigest) {
  VolumeSet set;
  ASSERT_EQ(Read(&set), kSetRead);
  EXPECT_EQ(set.header.fileCount, 5u);
  EXPECT_EQ(set.header.volumeCount, 3u);
  EXPECT_EQ(set.header.fileBytes, 34300u);
  for (size_t i = 0; i < 3; i++) {
    VolumeRecord expected = RecordOfVolume(volumes_[i].data(), volumes_[i].size());
    EXPECT_EQ(set.volumes[i].length, volumes_[i].size());
    EXPECT_EQ(memcmp(set.volumes[i].sha256, expected.sha256, kSha256Size), 0);
  }

  // An ordinary package is no set.
  PackageBuilder plain;
  plain.AddFile("", "QWSetup.exe", Text(10, 'x'));
  WriteProgram(MakeProgramFile(Bytes(200, 'S'), plain.Build()));
  EXPECT_EQ(Read(&set), kNotASet);
}

// Any byte of the record changed (the CRC catches what the checks of the
// fields do not), a package length that is not the record's, and counts out
// of range: a damaged set, not volumes to go looking for.
TEST_F(VolumeSetTest, ADamagedRecordIsNoSet) {
  VolumeSet set;
  uint32_t packageLength = SetPackageLength(3);
  for (uint32_t at = 4; at < packageLength; at++) {
    Bytes damaged = program_bytes_;
    damaged[200 + at] ^= 0x10;
    WriteProgram(damaged);
    ASSERT_EQ(Read(&set), kSetDamaged) << "byte " << at;
  }
  Bytes longer = program_bytes_;
  longer.push_back(0);
  StoreLe32(longer.data() + 132, packageLength + 1);
  WriteProgram(longer);
  EXPECT_EQ(Read(&set), kSetDamaged);
  for (uint32_t count : {0u, kMaxVolumes + 1}) {
    header_.volumeCount = count;
    Bytes package = BuildSetPackage(header_, std::vector<VolumeRecord>(count));
    WriteProgram(MakeProgramFile(Bytes(200, 'S'), package));
    EXPECT_EQ(Read(&set), kSetDamaged) << count << " volumes";
  }
}

TEST(VolumeFilePath, TheProgramsPathLessExeThenTheNumber) {
  char path[kPathCapacity];
  ASSERT_TRUE(VolumeFilePath("C:\\Downloads\\Setup.exe", 1, path, sizeof path));
  EXPECT_STREQ(path, "C:\\Downloads\\Setup-1.qwv");
  ASSERT_TRUE(VolumeFilePath("C:\\Downloads\\SETUP.EXE", 255, path, sizeof path));
  EXPECT_STREQ(path, "C:\\Downloads\\SETUP-255.qwv");
  ASSERT_TRUE(VolumeFilePath("/home/p/out/Setup", 2, path, sizeof path));
  EXPECT_STREQ(path, "/home/p/out/Setup-2.qwv");
  ASSERT_TRUE(VolumeFilePath("C:\\a.exe.bak", 3, path, sizeof path));
  EXPECT_STREQ(path, "C:\\a.exe.bak-3.qwv");
  // A double-byte name (GBK "安装"): only the ASCII ".exe" is taken off.
  ASSERT_TRUE(VolumeFilePath("C:\\\xB0\xB2\xD7\xB0.exe", 1, path, sizeof path));
  EXPECT_STREQ(path, "C:\\\xB0\xB2\xD7\xB0-1.qwv");
  // "C:\ab.exe" gives "C:\ab-12.qwv", 13 bytes with the terminator.
  EXPECT_TRUE(VolumeFilePath("C:\\ab.exe", 12, path, 13));
  EXPECT_FALSE(VolumeFilePath("C:\\ab.exe", 12, path, 12));
}

TEST_F(VolumeSetTest, ASoundSetCopiesOutAsItsEntriesBackToBackAndUnpacks) {
  std::string failed;
  Bytes copied;
  ASSERT_EQ(CopyOut(&failed, &copied), 0u);
  EXPECT_EQ(copied, EntriesOf(volumes_));
  // One bar over the whole set, rising to 100 in steps, each sent once.
  std::vector<uint32_t> positions = Positions();
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 100u);
  for (size_t i = 1; i < positions.size(); i++) EXPECT_LT(positions[i - 1], positions[i]);

  // The copy walks as one package of the set's fileCount.
  FILE* body = fopen((workspace_ + "/QW.tmp").c_str(), "rb");
  char path[kPathCapacity];
  HeldHandle held = g_platform.holdDirectory(workspace_.c_str());
  ASSERT_NE(held, nullptr);
  UnpackJob job = {workspace_.c_str(), held, header_.fileCount, &sink_, true, nullptr, nullptr};
  EXPECT_EQ(UnpackPackageBody(body, job, path), kNoticeSuccess);
  fclose(body);
  g_platform.release(held);
  Bytes three = Text(20000, 'd');
  EXPECT_EQ(ReadFile("data/deep/three.bin"), std::string(three.begin(), three.end()));
  Bytes setup = Text(5000, 'a');
  EXPECT_EQ(ReadFile("QWSetup.exe"), std::string(setup.begin(), setup.end()));
  EXPECT_TRUE(Exists(workspace_ + "/data/empty.txt"));
}

// The launcher's worker reads a set through its program file: the volumes'
// entries unpacked and the setup program held as from one package; a changed
// volume refused by its path, and nothing of any volume unpacked.
TEST_F(VolumeSetTest, TheWorkerUnpacksASetAndRefusesAChangedVolumeWhole) {
  Run();
  ExpectOneFinal(kNoticeSuccess);
  EXPECT_EQ(ReadFile("data/two.txt").size(), 300u);
  EXPECT_EQ(ReadFile("data/deep/three.bin").size(), 20000u);
  EXPECT_NE(VerifiedSetupProgram().file, nullptr);
  ReleaseVerifiedSetup();
  EXPECT_EQ(system(("rm -rf '" + workspace_ + "/data' '" + workspace_ + "/QWSetup.exe'").c_str()),
            0);

  volumes_[2][volumes_[2].size() / 2] ^= 1;
  WriteBytes(VolumePath(3), volumes_[2]);
  Run();
  ExpectOneFinal(kNoticeChecksumError);
  EXPECT_EQ(Final().path, VolumePath(3));
  EXPECT_EQ(WorkspaceEntries(), std::vector<std::string>{"QW.tmp"});
  EXPECT_EQ(VerifiedSetupProgram().file, nullptr);

  unlink(VolumePath(1).c_str());
  Run();
  ExpectOneFinal(kNoticeOpenError);
  EXPECT_EQ(Final().path, VolumePath(1));
}

// Every volume in turn missing, cut by a byte, one byte longer, or changed in
// one byte: refused by its path, missing ones with the open error and the
// others with the checksum error. Lengths are checked for every volume before
// any is copied, so the copy then holds nothing; a changed volume is found
// by its digest as it is copied, and nothing after it is copied.
TEST_F(VolumeSetTest, EveryVolumeMissingCutExtendedOrChangedIsRefusedByName) {
  const std::vector<Bytes> packed = volumes_;
  for (uint32_t number = 1; number <= 3; number++) {
    for (const char* fault : {"missing", "cut", "extended", "changed"}) {
      SCOPED_TRACE(std::string(fault) + " volume " + std::to_string(number));
      volumes_ = packed;
      Bytes& volume = volumes_[number - 1];
      std::string what = fault;
      if (what == "cut") volume.pop_back();
      if (what == "extended") volume.push_back(0);
      if (what == "changed") volume[volume.size() / 2] ^= 1;
      WriteSet(packed);
      if (what == "missing") unlink(VolumePath(number).c_str());

      std::string failed;
      Bytes copied;
      VolumeProblem problem;
      uint32_t code = CopyOut(&failed, &copied, &problem);
      EXPECT_EQ(code, what == "missing" ? kNoticeOpenError : kNoticeChecksumError);
      EXPECT_EQ(failed, VolumePath(number));
      const VolumeProblem kExpected[] = {kVolumeMissing, kVolumeShorter, kVolumeLonger,
                                         kVolumeChanged};
      EXPECT_EQ(problem, kExpected[what == "missing"    ? 0
                                   : what == "cut"      ? 1
                                   : what == "extended" ? 2
                                                        : 3]);
      if (what == "changed") {
        std::vector<Bytes> before(volumes_.begin(), volumes_.begin() + number);
        EXPECT_EQ(copied, EntriesOf(before));
      } else {
        EXPECT_TRUE(copied.empty());
      }
      ExpectNoFinalNotice();
    }
  }
}

// Another program swaps volume 2 between the check of every volume's length
// and the copy: a changed volume of the same length, or one grown by a
// byte. The worker hashes the very bytes it copies, so either is refused
// by name, and nothing of any volume is unpacked.
TEST_F(VolumeSetTest, AVolumeSwappedBetweenItsCheckAndItsCopyIsRefused) {
  struct Swapper {
    std::string program;
    Bytes replacement;
    int opensOfTwo;
  };
  const Bytes sound = volumes_[1];
  Bytes changed = sound, grown = sound;
  changed[changed.size() - 10] ^= 0x40;
  grown.push_back('!');
  for (const Bytes& replacement : {changed, grown}) {
    WriteSet();
    Swapper swapper = {program_, replacement, 0};
    g_runState.volumes = {[](void* context, uint32_t number, char* path) {
                            Swapper* s = static_cast<Swapper*>(context);
                            VolumeFilePath(s->program.c_str(), number, path, kPathCapacity);
                            if (number == 2 && ++s->opensOfTwo == 2)
                              std::ofstream(path, std::ios::binary)
                                  .write(reinterpret_cast<const char*>(s->replacement.data()),
                                         static_cast<std::streamsize>(s->replacement.size()));
                            return fopen(path, "rb");
                          },
                          &swapper};
    Run();
    g_runState.volumes = {};
    EXPECT_EQ(swapper.opensOfTwo, 2);
    ExpectOneFinal(kNoticeChecksumError);
    EXPECT_EQ(Final().path, VolumePath(2));
    EXPECT_EQ(WorkspaceEntries(), std::vector<std::string>{"QW.tmp"});
    unlink((workspace_ + "/QW.tmp").c_str());
  }
}

// A volume of the right length and digest must also carry its own number:
// the record of another set's volume 2 in place of volume 1 is no match.
TEST_F(VolumeSetTest, AVolumeWhoseHeaderNamesAnotherNumberIsChanged) {
  Bytes renumbered = volumes_[0];
  renumbered[3] = 2;
  volumes_[0] = renumbered;
  WriteSet();
  std::string failed;
  Bytes copied;
  VolumeProblem problem;
  EXPECT_EQ(CopyOut(&failed, &copied, &problem), kNoticeChecksumError);
  EXPECT_EQ(problem, kVolumeChanged);
  EXPECT_EQ(failed, VolumePath(1));
}

// What a reader built before sets does with a set's program file: the copy-
// out finds fileCount 0, which such a worker reports as a damaged package
// (status 7) before it unpacks anything; a walk that went on regardless
// meets the guard entry first, whose name the name check refuses before any
// file or folder is made.
TEST_F(VolumeSetTest, AReaderThatKnowsNoSetsRefusesTheProgramFileAndMakesNothing) {
  FILE* program = fopen(program_.c_str(), "rb");
  std::string copyPath = workspace_ + "/QW.tmp";
  FILE* copy = fopen(copyPath.c_str(), "wb");
  EXPECT_EQ(CopyPackageBody(program, copy, &sink_), 0u);
  fclose(program);
  fclose(copy);

  FILE* body = fopen(copyPath.c_str(), "rb");
  char path[kPathCapacity];
  HeldHandle held = g_platform.holdDirectory(workspace_.c_str());
  ASSERT_NE(held, nullptr);
  UnpackJob job = {workspace_.c_str(), held, 1, &sink_, true, nullptr, nullptr};
  EXPECT_EQ(UnpackPackageBody(body, job, path), kNoticeWriteError);
  fclose(body);
  g_platform.release(held);
  EXPECT_EQ(std::string(path), workspace_ + "\\" + kGuardFileName);
  unlink(copyPath.c_str());
  EXPECT_TRUE(WorkspaceEntries().empty());
}

TEST_F(VolumeSetTest, NeedsComeFromTheRecordOrFromTheEntryHeaders) {
  FILE* program = fopen(program_.c_str(), "rb");
  PackageNeeds needs;
  ASSERT_TRUE(ReadPackageNeeds(program, &needs));
  fclose(program);
  uint64_t volumeBytes = volumes_[0].size() + volumes_[1].size() + volumes_[2].size();
  EXPECT_EQ(needs.copyBytes, SetPackageLength(3) + volumeBytes);
  EXPECT_EQ(needs.fileCount, 5u);
  EXPECT_EQ(needs.fileBytes, 34300u);

  PackageBuilder plain;
  plain.AddFile("", "QWSetup.exe", Text(5000, 'a'));
  plain.AddFile("d", "empty", {});
  plain.AddFile("d", "big", Text(70000, 'e'));
  Bytes package = plain.Build();
  WriteProgram(MakeProgramFile(Bytes(200, 'S'), package));
  program = fopen(program_.c_str(), "rb");
  ASSERT_TRUE(ReadPackageNeeds(program, &needs));
  fclose(program);
  EXPECT_EQ(needs.copyBytes, package.size());
  EXPECT_EQ(needs.fileCount, 3u);
  EXPECT_EQ(needs.fileBytes, 75000u);
}

// Headers that point backwards, at themselves, past the package or nowhere
// sensible end the count there; the count never runs longer than the
// package has room for headers, whatever the bytes.
TEST_F(VolumeSetTest, HostileHeadersEndTheCountOfNeeds) {
  PackageBuilder plain;
  plain.AddFile("", "a", Text(100, 'a'));
  plain.AddFile("", "b", Text(100, 'b'));
  Bytes package = plain.Build();
  EntryHeader first;
  ParseEntryHeader(&package[4], &first);
  const uint32_t second = first.dataEnd;
  struct Damage {
    const char* what;
    uint32_t offset;  // in the second header
    uint32_t value;
  };
  const Damage kDamages[] = {
      {"dataEnd behind dataStart", 220, second + 100},
      {"dataEnd past the package", 220, static_cast<uint32_t>(package.size()) + 1},
      {"dataStart not behind the header", 216, second + 225},
      {"dataEnd at its own header", 220, second},
      {"a foreign magic", 0, 0x1234}};
  for (const Damage& damage : kDamages) {
    Bytes damaged = package;
    if (damage.offset == 0)
      StoreLe16(&damaged[second], static_cast<uint16_t>(damage.value));
    else
      StoreLe32(&damaged[second + damage.offset], damage.value);
    WriteProgram(MakeProgramFile(Bytes(200, 'S'), damaged));
    FILE* program = fopen(program_.c_str(), "rb");
    PackageNeeds needs;
    ASSERT_TRUE(ReadPackageNeeds(program, &needs));
    fclose(program);
    EXPECT_EQ(needs.fileCount, 1u) << damage.what;
    EXPECT_EQ(needs.fileBytes, 100u) << damage.what;
  }

  // No package, or a set whose record is damaged: nothing to go by.
  WriteProgram(Bytes(100, 'S'));
  FILE* program = fopen(program_.c_str(), "rb");
  PackageNeeds needs;
  EXPECT_FALSE(ReadPackageNeeds(program, &needs));
  fclose(program);
  Bytes damagedSet = program_bytes_;
  damagedSet[200 + kSetHeaderOffset + 5] ^= 1;
  WriteProgram(damagedSet);
  program = fopen(program_.c_str(), "rb");
  EXPECT_FALSE(ReadPackageNeeds(program, &needs));
  fclose(program);
}
