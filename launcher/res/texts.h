// The program's texts in pairs, English and Chinese, chosen by the UI
// language. The Chinese texts are GBK (code page 936) bytes, since they go
// to the narrow platform calls; each escape was produced with
// `iconv -f UTF-8 -t GBK` from the text in the comment beside it.
#pragma once

#include <cstdint>

#include "launcher/run_state.h"

struct TextPair {
  const char* english;
  const char* chinese;
};

// Chinese for 2052 (0x0804) only; other Chinese languages (1028, 4100) get English.
inline const char* SelectText(const TextPair& pair, uint16_t uiLanguage) {
  return uiLanguage == kLangChineseSimplified ? pair.chinese : pair.english;
}

// The product's name, captions of the program's own message boxes and of
// the window's title strip, lies in the string table (res/product_name.h).

constexpr TextPair kNoSpaceMessage = {
    "No Enough Free Space For Temporary Files!",
    // 没有足够的空间存放临时文件！
    "\xC3\xBB\xD3\xD0\xD7\xE3\xB9\xBB\xB5\xC4\xBF\xD5\xBC\xE4\xB4\xE6\xB7\xC5\xC1\xD9\xCA\xB1"
    "\xCE\xC4\xBC\xFE\xA3\xA1",
};

// Volumes had the room, yet no workspace could be made on any of them.
constexpr TextPair kWorkspaceNotMadeMessage = {
    "Cannot Create A Folder For Temporary Files!",
    // 无法创建存放临时文件的文件夹！
    "\xCE\xDE\xB7\xA8\xB4\xB4\xBD\xA8\xB4\xE6\xB7\xC5\xC1\xD9\xCA\xB1\xCE\xC4\xBC\xFE\xB5\xC4"
    "\xCE\xC4\xBC\xFE\xBC\xD0\xA3\xA1",
};

constexpr TextPair kDamagedPackageMessage = {
    "This file has been damaged, please download a new one!",
    // 文件被修改，请重新下载!
    "\xCE\xC4\xBC\xFE\xB1\xBB\xD0\xDE\xB8\xC4\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xCF\xC2\xD4\xD8!",
};

constexpr TextPair kTokenUnreadableMessage = {
    "Cannot Read The Access Rights Of This Program!",
    // 无法读取本程序的访问权限！
    "\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xB1\xBE\xB3\xCC\xD0\xF2\xB5\xC4\xB7\xC3\xCE\xCA\xC8\xA8"
    "\xCF\xDE\xA3\xA1",
};

// The per-file failures exist in English only; "%s" is the path concerned.
constexpr const char kOpenFileError[] = "Open file:%s error!";
constexpr const char kWriteFileError[] = "Write file:%s error!";
constexpr const char kDecompressFileError[] = "Decompress file:%s error!";
constexpr const char kChecksumFileError[] = "CRC file:%s error!";
constexpr const char kCreateDirectoryError[] = "Create Directory:%s error!";
constexpr const char kRunFileError[] = "Run file:%s error!";  // the setup program did not start
