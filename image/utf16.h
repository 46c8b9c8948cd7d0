// UTF-8 and UTF-16, as resources hold text.
#pragma once

#include <string>

// False when `utf8` is not valid UTF-8 (overlong forms, surrogates and
// values past U+10FFFF included); `utf16` is then unspecified.
bool Utf16FromUtf8(const std::string& utf8, std::u16string* utf16);

// Unpaired surrogates come out as their three-byte forms.
std::string Utf8FromUtf16(const std::u16string& text);
