#include "decode/volume_set.h"

#include <cstring>

#include "common/crc32.h"
#include "common/entry_names.h"
#include "decode/notices.h"
#include "decode/unpack.h"
#include "platform/platform.h"

namespace {

bool ReadExactly(FILE* stream, void* buffer, size_t length) {
  return fread(buffer, 1, length, stream) == length;
}

// The record past the guard entry: its header, the volumes, the CRC of both.
SetReading ReadSetRecord(FILE* program, uint32_t packageLength, VolumeSet* set) {
  uint8_t raw[kSetHeaderSize];
  if (!ReadExactly(program, raw, kSetHeaderSize) || !ParseSetHeader(raw, &set->header) ||
      packageLength != SetPackageLength(set->header.volumeCount))
    return kSetDamaged;
  uint32_t crc = Crc32(raw, kSetHeaderSize);
  for (uint32_t i = 0; i < set->header.volumeCount; i++) {
    uint8_t record[kVolumeRecordSize];
    if (!ReadExactly(program, record, kVolumeRecordSize)) return kSetDamaged;
    crc = Crc32Update(crc, record, kVolumeRecordSize);
    ParseVolumeRecord(record, &set->volumes[i]);
    if (set->volumes[i].length < kVolumeHeaderSize || set->volumes[i].length > kMaxVolumeLength)
      return kSetDamaged;
  }
  uint8_t stored[4];
  if (!ReadExactly(program, stored, 4) || LoadLe32(stored) != crc) return kSetDamaged;
  return kSetRead;
}

// Progress over the bytes of every volume, sent when the position moves.
struct CopyProgress {
  void* noticeTarget;
  uint64_t done;
  uint64_t total;
  uint32_t position;
};

void Advance(CopyProgress* progress, uint64_t bytes) {
  progress->done += bytes;
  uint32_t position = static_cast<uint32_t>(progress->done * 100 / progress->total);
  if (position == progress->position) return;
  progress->position = position;
  g_platform.sendNotice(progress->noticeTarget, kNoticeProgress, position);
}

// Reads the volume from its start, hashing every byte, and appends what
// follows its header to `copy`; one byte more than the record's length
// makes it longer. `written` is false when the copy failed.
VolumeProblem CopyVolumeEntries(FILE* volume, uint32_t number, const VolumeRecord& record,
                                FILE* copy, CopyProgress* progress, bool* written) {
  uint8_t chunk[kBlockSize];
  Sha256 hash;
  Sha256Begin(&hash);
  *written = true;
  bool headerSound = true;
  for (uint64_t done = 0; done < record.length;) {
    size_t wanted =
        record.length - done < kBlockSize ? static_cast<size_t>(record.length - done) : kBlockSize;
    size_t got = fread(chunk, 1, wanted, volume);
    if (got == 0) return kVolumeShorter;
    Sha256Add(&hash, chunk, got);
    size_t skipped = 0;
    if (done == 0) {
      // A first read that stops inside the header leaves the file shorter
      // than its record anyway; it is refused at the end.
      headerSound = got >= kVolumeHeaderSize && IsVolumeHeader(chunk, number);
      skipped = got < kVolumeHeaderSize ? got : kVolumeHeaderSize;
    }
    if (fwrite(chunk + skipped, 1, got - skipped, copy) != got - skipped) {
      *written = false;
      return kVolumeSound;
    }
    done += got;
    Advance(progress, got);
  }
  if (fread(chunk, 1, 1, volume) != 0) return kVolumeLonger;
  uint8_t digest[kSha256Size];
  Sha256Finish(&hash, digest);
  bool same = memcmp(digest, record.sha256, kSha256Size) == 0 && headerSound;
  return same ? kVolumeSound : kVolumeChanged;
}

uint32_t NoticeFor(VolumeProblem problem) {
  return problem == kVolumeMissing ? kNoticeOpenError : kNoticeChecksumError;
}

}  // namespace

SetReading ReadVolumeSet(FILE* program, VolumeSet* set) {
  PackageLocator locator;
  uint8_t raw[kEntryHeaderSize];
  if (!LocatePackage(program, &locator) ||
      fseek(program, static_cast<long>(locator.packageOffset), SEEK_SET) != 0 ||
      !ReadExactly(program, raw, 4) || LoadLe32(raw) != 0)
    return kNotASet;
  uint8_t guard[kEntryHeaderSize];
  SerializeGuardEntry(guard);
  if (!ReadExactly(program, raw, kEntryHeaderSize) || memcmp(raw, guard, kEntryHeaderSize) != 0)
    return kSetDamaged;
  return ReadSetRecord(program, locator.packageLength, set);
}

bool VolumeFilePath(const char* programPath, uint32_t number, char* path, size_t capacity) {
  size_t length = strlen(programPath);
  size_t stem = length;
  static const char kExe[] = ".exe";
  if (length >= 4) {
    bool isExe = true;
    for (size_t i = 0; i < 4; i++) {
      char c = programPath[length - 4 + i];
      isExe = isExe && (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) == kExe[i];
    }
    if (isExe) stem = length - 4;
  }
  char suffix[16];
  int suffixLength = snprintf(suffix, sizeof suffix, "-%u.qwv", number);
  if (suffixLength <= 0 || stem + static_cast<size_t>(suffixLength) + 1 > capacity) return false;
  memcpy(path, programPath, stem);
  memcpy(path + stem, suffix, static_cast<size_t>(suffixLength) + 1);
  return true;
}

VolumeProblem CheckVolumeLength(FILE* volume, const VolumeRecord& record) {
  if (fseek(volume, 0, SEEK_END) != 0) return kVolumeLonger;  // past what a long can say
  long end = ftell(volume);
  if (end < 0) return kVolumeLonger;
  uint64_t length = static_cast<uint64_t>(end);
  if (length < record.length) return kVolumeShorter;
  return length > record.length ? kVolumeLonger : kVolumeSound;
}

uint32_t CopyOutVolumes(const VolumeSet& set, const VolumeOpener& opener, FILE* copy,
                        const char* copyPath, void* noticeTarget, char* path,
                        VolumeProblem* problem) {
  VolumeProblem found = kVolumeSound;
  CopyProgress progress = {noticeTarget, 0, 0, 0};
  uint32_t count = set.header.volumeCount;
  for (uint32_t i = 0; i < count && found == kVolumeSound; i++) {
    FILE* volume = opener.open(opener.context, i + 1, path);
    found = volume ? CheckVolumeLength(volume, set.volumes[i]) : kVolumeMissing;
    if (volume) fclose(volume);
    progress.total += set.volumes[i].length;
  }
  for (uint32_t i = 0; i < count && found == kVolumeSound; i++) {
    FILE* volume = opener.open(opener.context, i + 1, path);
    if (!volume) {
      found = kVolumeMissing;
      break;
    }
    bool written;
    found = CopyVolumeEntries(volume, i + 1, set.volumes[i], copy, &progress, &written);
    fclose(volume);
    if (!written) {
      path[0] = '\0';
      AppendPathPart(path, kPathCapacity, 0, copyPath);
      return kNoticeDamagedPackage;
    }
  }
  if (problem) *problem = found;
  return found == kVolumeSound ? 0 : NoticeFor(found);
}
