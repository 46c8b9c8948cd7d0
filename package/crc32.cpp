#include "package/crc32.h"

namespace {

struct CrcTable {
  uint32_t entries[256];
  constexpr CrcTable() : entries() {
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t crc = i;
      for (int bit = 0; bit < 8; bit++) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
      entries[i] = crc;
    }
  }
};

constexpr CrcTable kCrcTable;

}  // namespace

uint32_t Crc32(const void* bytes, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; i++) crc = kCrcTable.entries[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}
