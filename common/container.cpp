#include "common/container.h"

#include <cstring>

#include "common/crc32.h"

bool IsLocatorValid(const PackageLocator& locator, uint64_t fileSize) {
  uint64_t end = static_cast<uint64_t>(locator.packageOffset) + locator.packageLength;
  return end <= fileSize && locator.packageLength >= 4;
}

void ParseEntryHeader(const uint8_t raw[kEntryHeaderSize], EntryHeader* header) {
  header->magic = LoadLe16(raw);
  header->method = LoadLe16(raw + 2);
  memcpy(header->subdirectory, raw + 4, kNameFieldSize);
  memcpy(header->fileName, raw + 104, kNameFieldSize);
  header->fileSize = LoadLe32(raw + 204);
  header->lastBlockSize = LoadLe32(raw + 208);
  header->checksum = LoadLe32(raw + 212);
  header->dataStart = LoadLe32(raw + 216);
  header->dataEnd = LoadLe32(raw + 220);
}

void SerializeEntryHeader(const EntryHeader& header, uint8_t raw[kEntryHeaderSize]) {
  StoreLe16(raw, header.magic);
  StoreLe16(raw + 2, header.method);
  memcpy(raw + 4, header.subdirectory, kNameFieldSize);
  memcpy(raw + 104, header.fileName, kNameFieldSize);
  StoreLe32(raw + 204, header.fileSize);
  StoreLe32(raw + 208, header.lastBlockSize);
  StoreLe32(raw + 212, header.checksum);
  StoreLe32(raw + 216, header.dataStart);
  StoreLe32(raw + 220, header.dataEnd);
}

uint32_t BlockChecksum(const uint8_t header[4], const uint8_t* stored, uint32_t storedLength) {
  return Crc32(header, 4) + Crc32(stored, storedLength);
}
