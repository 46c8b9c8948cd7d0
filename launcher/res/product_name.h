// The product's name from the program's string table, as a publisher's
// brand left it: the caption of the program's own message boxes and, with
// its trailing spaces, of the window's title strip.
#pragma once

#include <windows.h>

#include "common/launcher_resources.h"
#include "launcher/run_state.h"

// Name and caption strip, NUL-terminated, with room for the spaces.
constexpr int kProductNameCapacity = QW_PRODUCT_NAME_MOST + 8;

// Copies the name for `uiLanguage` (Chinese for 2052 only) into `name`;
// an empty name when the string table has none.
inline void LoadProductName(uint16_t uiLanguage, wchar_t (&name)[kProductNameCapacity]) {
  UINT id =
      uiLanguage == kLangChineseSimplified ? IDS_PRODUCT_NAME_CHINESE : IDS_PRODUCT_NAME_ENGLISH;
  int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, name, QW_PRODUCT_NAME_MOST + 1);
  name[length > 0 ? length : 0] = L'\0';
}

// The name followed by the spaces the title strip has always carried:
// three after the English name, four after the Chinese.
inline void LoadWindowCaption(uint16_t uiLanguage, wchar_t (&caption)[kProductNameCapacity]) {
  LoadProductName(uiLanguage, caption);
  int spaces = uiLanguage == kLangChineseSimplified ? 4 : 3;
  int end = ::lstrlenW(caption);
  for (int i = 0; i < spaces; i++) caption[end + i] = L' ';
  caption[end + spaces] = L'\0';
}
