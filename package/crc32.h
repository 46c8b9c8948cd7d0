// CRC-32/ISO-HDLC (the CRC of PNG and IEEE 802.3): reflected polynomial
// 0xEDB88320, preset 0xFFFFFFFF, result complemented. Each call starts
// afresh; the CRC of zero bytes is 0.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t Crc32(const void* bytes, size_t length);
