#include "decode/package_needs.h"

#include "common/container.h"
#include "decode/unpack.h"
#include "decode/volume_set.h"

namespace {

bool ReadAt(FILE* program, uint64_t offset, uint8_t* bytes, uint32_t length) {
  return fseek(program, static_cast<long>(offset), SEEK_SET) == 0 &&
         fread(bytes, 1, length, program) == length;
}

// Counts the entries from header to header, stopping at the first one that
// does not follow the rules a sound package keeps.
void CountEntries(FILE* program, const PackageLocator& locator, PackageNeeds* needs) {
  uint64_t length = locator.packageLength;
  for (uint64_t offset = 4; offset + kEntryHeaderSize <= length;) {
    uint8_t raw[kEntryHeaderSize];
    EntryHeader header;
    if (!ReadAt(program, locator.packageOffset + offset, raw, kEntryHeaderSize)) return;
    ParseEntryHeader(raw, &header);
    bool consistent = header.magic == kEntryMagic &&
                      header.dataStart == offset + kEntryHeaderSize &&
                      header.dataEnd >= header.dataStart && header.dataEnd <= length;
    if (!consistent) return;
    needs->fileCount++;
    needs->fileBytes += header.fileSize;
    offset = header.dataEnd;
  }
}

}  // namespace

bool ReadPackageNeeds(FILE* program, PackageNeeds* needs) {
  *needs = PackageNeeds{0, 0, 0};
  VolumeSet set;
  SetReading reading = ReadVolumeSet(program, &set);
  if (reading == kSetDamaged) return false;
  PackageLocator locator;
  if (!LocatePackage(program, &locator)) return false;
  needs->copyBytes = locator.packageLength;
  if (reading == kSetRead) {
    for (uint32_t i = 0; i < set.header.volumeCount; i++) needs->copyBytes += set.volumes[i].length;
    needs->fileCount = set.header.fileCount;
    needs->fileBytes = set.header.fileBytes;
    return true;
  }
  CountEntries(program, locator, needs);
  return true;
}
