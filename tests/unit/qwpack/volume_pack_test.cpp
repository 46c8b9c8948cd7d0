// Volume sets as the packer writes them: every entry whole in one volume,
// each volume within the size, the program file's record true to every
// volume, the same bytes at any thread count; sets made by hand and by
// themselves when the program file's limit is passed; what the packer
// refuses; and round trips through the built qwpack's list, verify and
// extract.
#include <cstdio>
#include <set>

#include "decode/lzma_decode.h"
#include "decode/volume_set.h"
#include "encode/volume_set_writer.h"
#include "tests/unit/qwpack/pack_fixture.h"

namespace {

constexpr uint64_t kVolumeSize = 64 * 1024;

struct VolumeEntry {
  std::string name;
  uint32_t checksum;
  bool operator<(const VolumeEntry& other) const { return name < other.name; }
  bool operator==(const VolumeEntry& other) const {
    return name == other.name && checksum == other.checksum;
  }
};

class VolumePackTest : public PackTest {
 protected:
  void SetUp() override {
    PackTest::SetUp();
    for (int i = 0; i < 12; i++)
      Add("d" + std::to_string(i % 3) + "/f" + std::to_string(i),
          i % 2 ? TextLike(20000 + 9000 * i, i) : RandomBytes(9000 + 3000 * i, 256, i));
    Add("d1/empty", Bytes());
    options_.volumeSize = kVolumeSize;
  }

  std::string VolumePath(size_t number) const {
    return out_ + "/Setup-" + std::to_string(number) + ".qwv";
  }

  // The entries of a volume, checked to lie whole and back to back in it.
  std::vector<VolumeEntry> VolumeEntries(const Bytes& volume) {
    std::vector<VolumeEntry> entries;
    uint64_t at = kVolumeHeaderSize;
    while (at < volume.size()) {
      EntryHeader header;
      EXPECT_LE(at + kEntryHeaderSize, volume.size());
      if (at + kEntryHeaderSize > volume.size()) break;
      ParseEntryHeader(&volume[at], &header);
      EXPECT_EQ(header.magic, kEntryMagic);
      EXPECT_EQ(header.dataStart, at + kEntryHeaderSize);
      EXPECT_LE(header.dataEnd, volume.size());
      if (header.dataEnd <= at) break;
      entries.push_back(
          {std::string(header.subdirectory) + "\\" + header.fileName, header.checksum});
      at = header.dataEnd;
    }
    EXPECT_EQ(at, volume.size());
    return entries;
  }

  // The volumes as one package: fileCount, then each volume's entries with
  // their offsets moved from the volume to the package.
  static Bytes AssembledPackage(const std::vector<Bytes>& volumes, uint32_t fileCount) {
    Bytes package(4);
    StoreLe32(package.data(), fileCount);
    for (const Bytes& volume : volumes) {
      uint32_t moved = static_cast<uint32_t>(package.size()) - kVolumeHeaderSize;
      for (uint32_t at = kVolumeHeaderSize; at + kEntryHeaderSize <= volume.size();) {
        EntryHeader header;
        ParseEntryHeader(&volume[at], &header);
        uint32_t end = header.dataEnd;
        if (end <= at || end > volume.size()) break;
        header.dataStart += moved;
        header.dataEnd += moved;
        uint8_t raw[kEntryHeaderSize];
        SerializeEntryHeader(header, raw);
        package.insert(package.end(), raw, raw + kEntryHeaderSize);
        package.insert(package.end(), volume.begin() + at + kEntryHeaderSize, volume.begin() + end);
        at = end;
      }
    }
    return package;
  }

  VolumeSet ReadSet() {
    VolumeSet set;
    FILE* program = fopen(options_.output.c_str(), "rb");
    EXPECT_EQ(ReadVolumeSet(program, &set), kSetRead);
    fclose(program);
    return set;
  }
};

}  // namespace

// ... and the volumes hold the very package one program file would: only
// each entry's offsets differ, counted from its volume's start. Method 2's
// one stream runs on across them as across entries.
TEST_F(VolumePackTest, EveryEntryLiesWholeInOneVolumeWithinTheSize) {
  if (CanWriteLzma()) options_.method = kMethodLzma;
  Bytes singlePackage;
  std::vector<VolumeEntry> single;
  {
    PackOptions plain = options_;
    plain.volumeSize = 0;
    plain.output = root_ + "/Single.exe";
    PackReport report;
    ASSERT_EQ(PackFolder(plain, &report), "");
    Bytes launcher = ReadFile(plain.output);
    singlePackage.assign(launcher.begin() + MinimalStub().size(), launcher.end());
    for (const EntryHeader& header : Entries(launcher))
      single.push_back(
          {std::string(header.subdirectory) + "\\" + header.fileName, header.checksum});
  }
  Bytes first;
  for (unsigned threads : {1u, 2u}) {
    options_.threads = threads;
    PackReport report;
    ASSERT_EQ(PackFolder(options_, &report), "");
    ASSERT_GE(report.volumes.size(), 4u);
    VolumeSet set = ReadSet();
    EXPECT_EQ(set.header.fileCount, single.size());
    EXPECT_EQ(set.header.volumeCount, report.volumes.size());
    EXPECT_EQ(ReadFile(options_.output).size(),
              MinimalStub().size() + SetPackageLength(set.header.volumeCount));

    std::vector<VolumeEntry> entries;
    std::vector<Bytes> volumes;
    Bytes all;
    for (size_t i = 0; i < report.volumes.size(); i++) {
      SCOPED_TRACE("volume " + std::to_string(i + 1));
      EXPECT_EQ(report.volumes[i], VolumePath(i + 1));
      Bytes volume = ReadFile(VolumePath(i + 1));
      EXPECT_LE(volume.size(), kVolumeSize);
      EXPECT_TRUE(IsVolumeHeader(volume.data(), static_cast<uint32_t>(i + 1)));
      VolumeRecord record = RecordOfVolume(volume.data(), volume.size());
      EXPECT_EQ(set.volumes[i].length, record.length);
      EXPECT_EQ(memcmp(set.volumes[i].sha256, record.sha256, kSha256Size), 0);
      std::vector<VolumeEntry> inVolume = VolumeEntries(volume);
      EXPECT_FALSE(inVolume.empty());
      entries.insert(entries.end(), inVolume.begin(), inVolume.end());
      all.insert(all.end(), volume.begin(), volume.end());
      volumes.push_back(volume);
    }
    EXPECT_EQ(entries, single);
    EXPECT_TRUE(AssembledPackage(volumes, set.header.fileCount) == singlePackage);
    if (threads == 1) first = all;
    EXPECT_EQ(all, first) << threads << " threads";
  }
}

TEST_F(VolumePackTest, ASetRoundTripsThroughListVerifyAndExtract) {
  std::string stub = root_ + "/stub.exe";
  WriteFile(stub, MinimalStub());
  std::vector<std::string> methods = {"lz"};
  if (CanWriteLzma()) methods.push_back("lzma");  // one dictionary across the volumes
  for (const std::string& method : methods) {
    SCOPED_TRACE(method);
    std::string log, qwpack = std::string(QWPACK_BINARY);
    ASSERT_EQ(Shell(qwpack + " pack " + Quoted(source_) + " -o " + Quoted(options_.output) +
                        " --stub " + Quoted(stub) + " --method " + method + " --volume-size 64K",
                    &log),
              0)
        << log;
    EXPECT_NE(log.find("volume 3: " + VolumePath(3)), std::string::npos) << log;
    ASSERT_EQ(Shell(qwpack + " list " + Quoted(options_.output), &log), 0) << log;
    EXPECT_NE(log.find("d2/f11"), std::string::npos) << log;
    EXPECT_NE(log.find("QWSetup.exe"), std::string::npos) << log;
    ASSERT_EQ(Shell(qwpack + " verify " + Quoted(options_.output), &log), 0) << log;
    EXPECT_NE(log.find("14 entries"), std::string::npos) << log;
    std::string workspace = root_ + "/ws-" + method;
    ASSERT_EQ(
        Shell(qwpack + " extract " + Quoted(options_.output) + " -C " + Quoted(workspace), &log), 0)
        << log;
    EXPECT_EQ(Shell("diff -r " + Quoted(source_) + " " + Quoted(workspace), &log), 0) << log;
    EXPECT_NE(access((workspace + "/QW.tmp").c_str(), F_OK), 0);  // the copy is gone
  }
}

// Without --volume-size a package that would pass the program file's limit
// goes into volumes of their longest, with a note; one that fits is the very
// launcher it always was.
TEST_F(VolumePackTest, APackageThatWouldPassTheProgramFilesLimitGoesIntoVolumes) {
  options_.volumeSize = 0;
  PackReport report;
  ASSERT_EQ(PackFolder(options_, &report), "");
  Bytes plain = ReadFile(options_.output);
  ASSERT_TRUE(report.volumes.empty());
  options_.programLimit = plain.size();  // just fits
  ASSERT_EQ(PackFolder(options_, &report), "");
  EXPECT_TRUE(report.volumes.empty());
  EXPECT_TRUE(report.notes.empty());
  EXPECT_EQ(ReadFile(options_.output), plain);

  options_.programLimit = plain.size() - 1;
  ASSERT_EQ(PackFolder(options_, &report), "");
  ASSERT_EQ(report.volumes.size(), 2u);
  ASSERT_EQ(report.notes.size(), 1u);
  EXPECT_NE(report.notes[0].find("went into 2 volumes"), std::string::npos) << report.notes[0];
  // Volume 1 holds what the program file had room for, volume 2 the rest.
  Bytes first = ReadFile(VolumePath(1)), second = ReadFile(VolumePath(2));
  EXPECT_LE(first.size() + MinimalStub().size(), options_.programLimit);
  EXPECT_EQ(first.size() + second.size(), plain.size() - MinimalStub().size() + 4);
  std::vector<VolumeEntry> entries = VolumeEntries(first), rest = VolumeEntries(second);
  entries.insert(entries.end(), rest.begin(), rest.end());
  EXPECT_EQ(entries.size(), 14u);
  EXPECT_EQ(ReadSet().header.volumeCount, 2u);
  std::string log;
  EXPECT_EQ(Shell(std::string(QWPACK_BINARY) + " verify " + Quoted(options_.output), &log), 0)
      << log;
}

TEST_F(VolumePackTest, RefusesAFileThatPassesAVolumeAloneAndMoreThan255Volumes) {
  Add("d0/huge.bin", RandomBytes(kVolumeSize, 256, 7));
  ExpectRefusal("d0/huge.bin: packed, it passes the 65536 bytes a volume may hold");

  // Nothing is left of the 255 volumes written before the refusal.
  Shell("rm -rf " + Quoted(source_) + " && mkdir " + Quoted(source_));
  for (int i = 0; i < 256; i++)
    Add("noise" + std::to_string(1000 + i), RandomBytes(kVolumeSize / 2 + 1, 256, i));
  ExpectRefusal("a set holds at most 255 volumes");
}

// Volumes of an earlier, longer set beside the program file would pass for
// its own: they go, each named in a note. A file that only shares the name
// pattern stays, and so does everything past it.
TEST_F(VolumePackTest, VolumesOfAnEarlierLongerSetAreRemoved) {
  PackReport report;
  ASSERT_EQ(PackFolder(options_, &report), "");
  size_t earlier = report.volumes.size();
  ASSERT_GE(earlier, 5u);
  WriteFile(VolumePath(5), TextLike(100, 1));  // not a volume
  Shell("rm -rf " + Quoted(source_ + "/d1") + " " + Quoted(source_ + "/d2"));
  ASSERT_EQ(PackFolder(options_, &report), "");
  ASSERT_LT(report.volumes.size(), 4u);
  std::set<std::string> removed;
  for (size_t number = report.volumes.size() + 1; number < 5; number++) {
    removed.insert("removed " + VolumePath(number) + ", a volume of an earlier set");
    EXPECT_NE(access(VolumePath(number).c_str(), F_OK), 0) << number;
  }
  EXPECT_EQ(std::set<std::string>(report.notes.begin(), report.notes.end()), removed);
  EXPECT_EQ(access(VolumePath(5).c_str(), F_OK), 0);
  for (size_t number = 6; number <= earlier; number++)
    EXPECT_EQ(access(VolumePath(number).c_str(), F_OK), 0) << number;
}
