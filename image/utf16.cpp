#include "image/utf16.h"

#include <cstdint>

bool Utf16FromUtf8(const std::string& utf8, std::u16string* utf16) {
  utf16->clear();
  for (size_t i = 0; i < utf8.size();) {
    uint8_t lead = static_cast<uint8_t>(utf8[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > utf8.size()) return false;
    uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; k++) {
      uint8_t trail = static_cast<uint8_t>(utf8[i + k]);
      if ((trail & 0xC0) != 0x80) return false;
      c = c << 6 | (trail & 0x3F);
    }
    const uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
    if (c >= 0x10000) {
      utf16->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      utf16->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      utf16->push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return true;
}

std::string Utf8FromUtf16(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}
