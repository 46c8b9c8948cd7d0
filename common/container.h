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
#include <type_traits>

#include "common/bytes.h"

constexpr uint32_t kLocatorOffset = 128;
// The locator's end: a program file holds a locator only when it is at
// least this long, and its PE header must begin here or later.
constexpr uint32_t kLocatorEnd = 136;
constexpr uint32_t kMaxProgramSize = 0x7FFFFFFFu;  // readers position with signed 32-bit offsets
constexpr uint32_t kEntryHeaderSize = 224;
constexpr uint16_t kEntryMagic = 0x890A;
constexpr uint32_t kBlockSize = 4096;
constexpr uint32_t kNameFieldSize = 100;
constexpr uint32_t kFirstDataStart = 4 + kEntryHeaderSize;  // 228

// How an entry's blocks are stored: methods 1 and 2 code them
// (decode/lz_decode.h, decode/lzma_decode.h); a block that coding cannot
// shorten is stored plain in any method.
constexpr uint16_t kMethodCopy = 0;
constexpr uint16_t kMethodLz = 1;
constexpr uint16_t kMethodLzma = 2;

// Calls visit(offset, length) for each block of `size` bytes cut as entries
// are: 4096 bytes each, the last one shorter, none for no bytes. A visitor
// that returns bool stops the walk by returning false; ForEachBlock then
// returns false.
template <typename Visit>
bool ForEachBlock(uint64_t size, Visit visit) {
  for (uint64_t offset = 0; offset < size; offset += kBlockSize) {
    uint32_t length =
        size - offset < kBlockSize ? static_cast<uint32_t>(size - offset) : kBlockSize;
    if constexpr (std::is_same_v<decltype(visit(offset, length)), bool>) {
      if (!visit(offset, length)) return false;
    } else {
      visit(offset, length);
    }
  }
  return true;
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
