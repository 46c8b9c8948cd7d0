// CRC-32/ISO-HDLC (the CRC of PNG and IEEE 802.3): reflected polynomial
// 0xEDB88320, preset 0xFFFFFFFF, result complemented. Crc32 starts afresh
// (the CRC of zero bytes is 0); Crc32Update goes on from the CRC of the bytes
// before, so that Crc32Update(Crc32(a), b) is the CRC of a followed by b.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t Crc32(const void* bytes, size_t length);
uint32_t Crc32Update(uint32_t crc, const void* bytes, size_t length);
