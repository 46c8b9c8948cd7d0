#include <windows.h>

#include "platform/code_page.h"

namespace {

std::wstring WideFrom(const std::string& text, unsigned codePage, bool* sound) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(),
                                   static_cast<int>(text.size()), nullptr, 0);
  *sound = length > 0;
  if (!*sound) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      &wide[0], length);
  return wide;
}

// No best-fit substitutes (a Chinese code page would turn "é" into "e"), and
// any character that needed the default character refuses the whole name.
// UTF-8, UTF-7 and GB18030 take neither flag; they hold every character.
bool NarrowTo(const std::wstring& wide, unsigned codePage, std::string* narrow) {
  if (wide.empty()) {
    narrow->clear();
    return true;
  }
  bool exact = codePage != CP_UTF8 && codePage != CP_UTF7 && codePage != 54936;
  DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                   nullptr, 0, nullptr, exact ? &usedDefault : nullptr);
  if (length <= 0 || usedDefault) return false;
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), &out[0], length,
                      nullptr, nullptr);
  *narrow = out;
  return true;
}

}  // namespace

bool Utf8ToCodePage(const std::string& text, unsigned codePage, std::string* converted) {
  if (!IsValidCodePage(codePage)) return false;
  bool sound = true;
  std::wstring wide = WideFrom(text, CP_UTF8, &sound);
  return sound && NarrowTo(wide, codePage, converted);
}

bool CodePageToUtf8(const std::string& text, unsigned codePage, std::string* converted) {
  if (!IsValidCodePage(codePage)) return false;
  bool sound = true;
  std::wstring wide = WideFrom(text, codePage, &sound);
  return sound && NarrowTo(wide, CP_UTF8, converted);
}
