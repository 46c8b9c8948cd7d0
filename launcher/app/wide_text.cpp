#include "launcher/app/wide_text.h"

WideText::WideText(char16_t* out, size_t capacity) : out_(out), capacity_(capacity) {
  if (capacity_ == 0) {
    cut_ = true;
    return;
  }
  out_[0] = u'\0';
}

void WideText::Put(char16_t c) {
  if (capacity_ == 0 || length_ + 1 >= capacity_) {
    cut_ = true;
    return;
  }
  out_[length_++] = c;
  out_[length_] = u'\0';
}

WideText& WideText::Add(const char16_t* text) {
  for (; *text; text++) Put(*text);
  return *this;
}

WideText& WideText::AddAscii(const char* text) {
  for (; *text; text++) Put(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return *this;
}

void FormatDecimal(uint64_t value, char (&digits)[kDecimalCapacity]) {
  char reversed[kDecimalCapacity];
  size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  for (size_t i = 0; i < count; i++) digits[i] = reversed[count - 1 - i];
  digits[count] = '\0';
}

WideText& WideText::AddNumber(uint64_t value) {
  char digits[kDecimalCapacity];
  FormatDecimal(value, digits);
  return AddAscii(digits);
}
