#include "common/volume_set.h"

#include <cstring>

bool ParseSetHeader(const uint8_t raw[kSetHeaderSize], SetHeader* header) {
  header->fileCount = LoadLe32(raw + 4);
  header->volumeCount = LoadLe32(raw + 8);
  header->fileBytes = LoadLe64(raw + 12);
  return LoadLe32(raw) == kSetMagic && header->fileCount != 0 && header->volumeCount != 0 &&
         header->volumeCount <= kMaxVolumes;
}

void SerializeSetHeader(const SetHeader& header, uint8_t raw[kSetHeaderSize]) {
  StoreLe32(raw, kSetMagic);
  StoreLe32(raw + 4, header.fileCount);
  StoreLe32(raw + 8, header.volumeCount);
  StoreLe64(raw + 12, header.fileBytes);
}

void ParseVolumeRecord(const uint8_t raw[kVolumeRecordSize], VolumeRecord* record) {
  record->length = LoadLe64(raw);
  memcpy(record->sha256, raw + 8, kSha256Size);
}

void SerializeVolumeRecord(const VolumeRecord& record, uint8_t raw[kVolumeRecordSize]) {
  StoreLe64(raw, record.length);
  memcpy(raw + 8, record.sha256, kSha256Size);
}

void SerializeGuardEntry(uint8_t raw[kEntryHeaderSize]) {
  EntryHeader guard;
  memset(&guard, 0, sizeof guard);
  guard.magic = kEntryMagic;
  memcpy(guard.fileName, kGuardFileName, sizeof kGuardFileName);
  guard.dataStart = guard.dataEnd = kGuardEntryOffset + kEntryHeaderSize;
  SerializeEntryHeader(guard, raw);
}

void SerializeVolumeHeader(uint32_t number, uint8_t raw[kVolumeHeaderSize]) {
  raw[0] = 'Q';
  raw[1] = 'W';
  raw[2] = 'V';
  raw[3] = static_cast<uint8_t>(number);
}

bool IsVolumeHeader(const uint8_t raw[kVolumeHeaderSize], uint32_t number) {
  return raw[0] == 'Q' && raw[1] == 'W' && raw[2] == 'V' && raw[3] == number;
}
