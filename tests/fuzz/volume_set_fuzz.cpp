// Arbitrary bytes as a set's record, with its CRC made right so that the
// fields themselves are what is tried, and as the volumes beside it: the
// record is read, the needs are counted, and the volumes are copied out,
// which may succeed only for volumes that are exactly what the record says;
// no crash, no read past a buffer, nothing opened left open.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "common/entry_names.h"
#include "decode/package_needs.h"
#include "decode/volume_set.h"
#include "platform/platform.h"

namespace {

void Deliver(void*, uint32_t, uintptr_t) {}

void Write(const std::string& path, const uint8_t* bytes, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  fwrite(bytes, 1, size, file);
  fclose(file);
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return bytes;
  uint8_t chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  fclose(file);
  return bytes;
}

struct Beside {
  std::string program;
};

FILE* OpenBeside(void* context, uint32_t number, char* path) {
  VolumeFilePath(static_cast<Beside*>(context)->program.c_str(), number, path, kPathCapacity);
  return fopen(path, "rb");
}

// The program file: a 200-byte stub and a set's package whose set header
// and records are the input's first bytes, the CRC behind them made right.
std::vector<uint8_t> ProgramOf(const uint8_t* data, size_t size, size_t* used) {
  uint32_t volumes = size >= 9 ? data[8] % (kMaxVolumes + 2) : 0;
  size_t record = kSetHeaderSize + static_cast<size_t>(volumes) * kVolumeRecordSize;
  *used = record < size ? record : size;
  std::vector<uint8_t> package(kSetHeaderOffset, 0);
  SerializeGuardEntry(&package[kGuardEntryOffset]);
  package.insert(package.end(), data, data + *used);
  uint8_t crc[4];
  StoreLe32(crc, Crc32(package.data() + kSetHeaderOffset, package.size() - kSetHeaderOffset));
  package.insert(package.end(), crc, crc + 4);
  std::vector<uint8_t> program(200, 'S');
  StoreLe32(&program[128], 200);
  StoreLe32(&program[132], static_cast<uint32_t>(package.size()));
  program.insert(program.end(), package.begin(), package.end());
  return program;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string root = [] {
    char scratch[] = "/tmp/qwsetfuzzXXXXXX";
    return std::string(mkdtemp(scratch));
  }();
  static NoticeSink sink = {Deliver, nullptr};
  Beside beside = {root + "/Set.exe"};
  size_t used;
  std::vector<uint8_t> program = ProgramOf(data, size, &used);
  Write(beside.program, program.data(), program.size());

  // The rest of the input, cut into volumes by its own bytes.
  const uint8_t* rest = data + used;
  size_t left = size - used;
  for (uint32_t number = 1; number <= 4; number++) {
    char path[kPathCapacity];
    VolumeFilePath(beside.program.c_str(), number, path, sizeof path);
    size_t length = left > 0 ? rest[0] % (left + 1) : 0;
    if (left > 0 && rest[0] == 0xFF) {
      unlink(path);  // missing
    } else {
      Write(path, rest, length);
    }
    rest += length;
    left -= length;
  }

  FILE* file = fopen(beside.program.c_str(), "rb");
  PackageNeeds needs;
  ReadPackageNeeds(file, &needs);
  VolumeSet set;
  SetReading reading = ReadVolumeSet(file, &set);
  fclose(file);
  if (reading != kSetRead) return 0;
  std::string copyPath = root + "/QW.tmp";
  FILE* copy = fopen(copyPath.c_str(), "wb");
  char failed[kPathCapacity];
  uint32_t code = CopyOutVolumes(set, {OpenBeside, &beside}, copy, copyPath.c_str(), &sink, failed);
  fclose(copy);
  if (code != 0) return 0;
  // A copy only of volumes that match their records, their entries back to
  // back.
  std::vector<uint8_t> expected;
  for (uint32_t i = 0; i < set.header.volumeCount; i++) {
    char path[kPathCapacity];
    VolumeFilePath(beside.program.c_str(), i + 1, path, sizeof path);
    std::vector<uint8_t> volume = FileBytes(path);
    uint8_t digest[kSha256Size];
    Sha256 hash;
    Sha256Begin(&hash);
    Sha256Add(&hash, volume.data(), volume.size());
    Sha256Finish(&hash, digest);
    if (volume.size() != set.volumes[i].length || memcmp(digest, set.volumes[i].sha256, 32) != 0)
      abort();
    expected.insert(expected.end(), volume.begin() + kVolumeHeaderSize, volume.end());
  }
  if (FileBytes(copyPath) != expected) abort();
  return 0;
}
