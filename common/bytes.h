// Bytes as the formats store them: little-endian loads and stores,
// alignment, and a bounded view of bytes read from a file. Every reader of
// a file's structure checks its reads through ByteView::Has, the one bounds
// check, with offsets and lengths in 64 bits: a sum of two 32-bit fields of
// a hostile file never wraps into the bytes that were read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint16_t LoadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadLe32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint64_t LoadLe64(const uint8_t* p) {
  return LoadLe32(p) | static_cast<uint64_t>(LoadLe32(p + 4)) << 32;
}
inline void StoreLe64(uint8_t* p, uint64_t v) {
  StoreLe32(p, static_cast<uint32_t>(v));
  StoreLe32(p + 4, static_cast<uint32_t>(v >> 32));
}
// Big-endian: LZMA2's chunk headers and range coder, and the method-1 bit
// reader, which takes its bits most significant first.
inline uint16_t LoadBe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t LoadBe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline void StoreBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline uint64_t LoadBe64(const uint8_t* p) {
  uint64_t v;
  memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

inline bool IsPowerOfTwo(uint64_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}
// `value` rounded up to a multiple of `alignment`, a power of two.
inline uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

// `size` bytes at `data`, read by offsets that may come from the bytes
// themselves.
struct ByteView {
  const uint8_t* data;
  uint64_t size;

  bool Has(uint64_t offset, uint64_t length) const {
    return length <= size && offset <= size - length;
  }
  // Loads that give 0 for bytes outside the view, for readers that treat a
  // field they cannot see as absent.
  uint16_t Le16(uint64_t at) const { return Has(at, 2) ? LoadLe16(data + at) : 0; }
  uint32_t Le32(uint64_t at) const { return Has(at, 4) ? LoadLe32(data + at) : 0; }
};

// The view of a whole container of bytes (a std::vector, a std::string).
template <typename Bytes>
ByteView ViewOf(const Bytes& bytes) {
  return ByteView{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}
