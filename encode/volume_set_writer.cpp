#include "encode/volume_set_writer.h"

#include "common/crc32.h"

std::vector<uint8_t> BuildSetPackage(const SetHeader& header,
                                     const std::vector<VolumeRecord>& volumes) {
  std::vector<uint8_t> package(SetPackageLength(static_cast<uint32_t>(volumes.size())), 0);
  SerializeGuardEntry(&package[kGuardEntryOffset]);
  SerializeSetHeader(header, &package[kSetHeaderOffset]);
  uint8_t* record = &package[kFirstVolumeRecordOffset];
  for (const VolumeRecord& volume : volumes) {
    SerializeVolumeRecord(volume, record);
    record += kVolumeRecordSize;
  }
  uint32_t crc = Crc32(&package[kSetHeaderOffset], record - &package[kSetHeaderOffset]);
  StoreLe32(record, crc);
  return package;
}

VolumeRecord RecordOfVolume(const uint8_t* bytes, uint64_t length) {
  VolumeRecord record;
  record.length = length;
  Sha256 hash;
  Sha256Begin(&hash);
  Sha256Add(&hash, bytes, static_cast<size_t>(length));
  Sha256Finish(&hash, record.sha256);
  return record;
}
