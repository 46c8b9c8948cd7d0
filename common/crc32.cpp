#include "common/crc32.h"

namespace {

// Slicing by eight: table k gives the CRC of a byte followed by k zero
// bytes, so eight bytes fold in with eight independent look-ups instead of
// a chain of eight dependent ones.
struct CrcTables {
  uint32_t entries[8][256];
  constexpr CrcTables() : entries() {
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t crc = i;
      for (int bit = 0; bit < 8; bit++) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
      entries[0][i] = crc;
    }
    for (int k = 1; k < 8; k++)
      for (uint32_t i = 0; i < 256; i++)
        entries[k][i] = (entries[k - 1][i] >> 8) ^ entries[0][entries[k - 1][i] & 0xFF];
  }
};

constexpr CrcTables kCrcTables;

uint32_t LoadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t Crc32(const void* bytes, size_t length) {
  return Crc32Update(0, bytes, length);
}

uint32_t Crc32Update(uint32_t previous, const void* bytes, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  const auto& t = kCrcTables.entries;
  uint32_t crc = ~previous;
  for (; length >= 8; length -= 8, p += 8) {
    uint32_t low = crc ^ LoadLittle32(p);
    uint32_t high = LoadLittle32(p + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^
          t[0][high >> 24];
  }
  for (; length > 0; length--) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}
