// The package and its place in the program file.
//
// The program file carries an eight-byte locator at offset 128, in the DOS
// header area behind the DOS stub and in front of the PE header, so it plays
// no part in loading. It names the package appended to the image:
//
//   package   = fileCount:u32, then entries back to back
//   entry     = 224-byte header, then blocks (none for an empty file)
//   block     = header:u32 (storedLength:16 | codedFlag:16 << 16), stored bytes
//
// All integers are unsigned little-endian. Blocks decode to 4096 bytes each,
// the last one to lastBlockSize. The entry checksum is the u32 sum over the
// blocks of Crc32(block header bytes) + Crc32(stored bytes).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kLocatorOffset = 128;
constexpr uint32_t kMinProgramSize = 136;  // the locator's end; the PE header starts here or later
constexpr uint32_t kMaxProgramSize = 0x7FFFFFFFu;  // readers position with signed 32-bit offsets
constexpr uint32_t kEntryHeaderSize = 224;
constexpr uint16_t kEntryMagic = 0x890A;
constexpr uint32_t kBlockSize = 4096;
constexpr uint32_t kNameFieldSize = 100;
constexpr uint32_t kFirstDataStart = 4 + kEntryHeaderSize;  // 228

inline uint32_t LoadLe32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t LoadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void StoreLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

struct PackageLocator {
  uint32_t packageOffset;  // absolute file offset of fileCount
  uint32_t packageLength;  // fileCount included
};

// Valid when the package, computed without overflow, ends inside the file and
// holds at least its file count. The caller has checked fileSize >= 136.
bool IsLocatorValid(const PackageLocator& locator, uint64_t fileSize);

struct EntryHeader {
  uint16_t magic;
  uint16_t method;  // 0 copy, 1 LZ
  char subdirectory[kNameFieldSize];
  char fileName[kNameFieldSize];
  uint32_t fileSize;
  uint32_t lastBlockSize;
  uint32_t checksum;
  uint32_t dataStart;  // package-relative
  uint32_t dataEnd;
};

void ParseEntryHeader(const uint8_t raw[kEntryHeaderSize], EntryHeader* header);
void SerializeEntryHeader(const EntryHeader& header, uint8_t raw[kEntryHeaderSize]);

struct BlockHeader {
  uint16_t storedLength;
  uint16_t codedFlag;
};

inline BlockHeader ParseBlockHeader(const uint8_t raw[4]) {
  return BlockHeader{LoadLe16(raw), LoadLe16(raw + 2)};
}
inline void SerializeBlockHeader(const BlockHeader& block, uint8_t raw[4]) {
  StoreLe16(raw, block.storedLength);
  StoreLe16(raw + 2, block.codedFlag);
}

// One block's share of the entry checksum.
uint32_t BlockChecksum(const uint8_t header[4], const uint8_t* stored, uint32_t storedLength);
