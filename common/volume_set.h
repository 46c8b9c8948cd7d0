// A volume set: a program file whose package holds, instead of entries, the
// record of the side-car volumes (NAME-1.qwv, NAME-2.qwv, ... beside
// NAME.exe) that hold them. The record gives each volume's length and
// SHA-256, so whatever vouches for the program file (its signature) vouches
// for every volume.
//
//   package of a set = fileCount:u32 = 0, guard entry header (224 bytes),
//                      set header (20 bytes), one volume record (40 bytes)
//                      per volume, recordCrc:u32
//   set header       = magic:u32 "QWVS", fileCount:u32 (entries of the whole
//                      set), volumeCount:u32 (1..255), fileBytes:u64 (the
//                      entries' fileSize summed)
//   volume record    = length:u64, sha256:32 bytes (of the whole volume file)
//   recordCrc        = Crc32 of the set header and the volume records
//   volume           = 'Q' 'W' 'V' number:u8, then entries back to back,
//                      none cut across two volumes
//
// Entry offsets in a volume count from the volume's first byte, so the first
// entry's dataStart is 228 as in a package. The fileCount of 0 is what a
// launcher that knows no sets refuses as a damaged package; the guard entry,
// which a launcher finds first should it walk on regardless, has a name
// that the name check refuses before anything is created.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/container.h"
#include "common/sha256.h"

constexpr uint32_t kMaxVolumes = 255;
constexpr uint32_t kVolumeHeaderSize = 4;
constexpr uint32_t kSetMagic = 0x53565751;  // "QWVS"
constexpr uint32_t kSetHeaderSize = 20;
constexpr uint32_t kVolumeRecordSize = 8 + kSha256Size;
constexpr uint32_t kGuardEntryOffset = 4;  // package-relative, behind fileCount 0
constexpr uint32_t kSetHeaderOffset = kGuardEntryOffset + kEntryHeaderSize;
constexpr uint32_t kFirstVolumeRecordOffset = kSetHeaderOffset + kSetHeaderSize;
// The guard entry's file name: ':' is refused in every name.
constexpr char kGuardFileName[] = "QW:VOLUME-SET";
// The longest volume a set may hold: a volume stays below 2 GiB, as a
// program file does.
constexpr uint64_t kMaxVolumeLength = kMaxProgramSize;

struct VolumeRecord {
  uint64_t length;
  uint8_t sha256[kSha256Size];
};

struct SetHeader {
  uint32_t fileCount;
  uint32_t volumeCount;
  uint64_t fileBytes;
};

// The package length of a set of `volumeCount` volumes.
inline uint32_t SetPackageLength(uint32_t volumeCount) {
  return kFirstVolumeRecordOffset + volumeCount * kVolumeRecordSize + 4;
}

// Parses the set header: false when its magic is wrong or its counts are
// out of range (no entries, no volumes, more than kMaxVolumes).
bool ParseSetHeader(const uint8_t raw[kSetHeaderSize], SetHeader* header);
void SerializeSetHeader(const SetHeader& header, uint8_t raw[kSetHeaderSize]);
void ParseVolumeRecord(const uint8_t raw[kVolumeRecordSize], VolumeRecord* record);
void SerializeVolumeRecord(const VolumeRecord& record, uint8_t raw[kVolumeRecordSize]);

// The guard entry header: an empty entry named kGuardFileName.
void SerializeGuardEntry(uint8_t raw[kEntryHeaderSize]);

// A volume's four leading bytes: "QWV" and its number (1..255).
void SerializeVolumeHeader(uint32_t number, uint8_t raw[kVolumeHeaderSize]);
bool IsVolumeHeader(const uint8_t raw[kVolumeHeaderSize], uint32_t number);
