// A UTF-16 text put together in a caller's fixed buffer: appended pieces
// are cut at the capacity, always NUL-terminated, and the cut is remembered.
#pragma once

#include <cstddef>
#include <cstdint>

// The decimal digits of `value`, most significant first, NUL-terminated.
constexpr size_t kDecimalCapacity = 21;  // 2^64 - 1 has 20 digits
void FormatDecimal(uint64_t value, char (&digits)[kDecimalCapacity]);

class WideText {
 public:
  WideText(char16_t* out, size_t capacity);

  WideText& Add(const char16_t* text);
  WideText& AddAscii(const char* text);  // bytes below 0x80, one unit each
  WideText& AddNumber(uint64_t value);   // decimal

  size_t length() const { return length_; }
  bool cut() const { return cut_; }

 private:
  void Put(char16_t c);

  char16_t* out_;
  size_t capacity_;
  size_t length_ = 0;
  bool cut_ = false;
};
