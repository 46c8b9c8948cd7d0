// Conversions between the host's UTF-8 and a Windows ANSI code page: iconv
// on Linux (code_page_posix.cpp), the system's own conversion functions on
// Windows (code_page_win32.cpp), where every name must survive the round
// trip unchanged (no best-fit substitutes).
#pragma once

#include <string>

// False when `text` holds a character the code page cannot represent (or the
// code page is unknown to iconv).
bool Utf8ToCodePage(const std::string& text, unsigned codePage, std::string* converted);
bool CodePageToUtf8(const std::string& text, unsigned codePage, std::string* converted);
