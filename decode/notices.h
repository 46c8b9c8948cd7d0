// The worker's notices to the progress window, what the worker and the window
// agree on: the platform seam sends each one synchronously as its message
// (kNoticeMessage), first parameter the code, second the value.
#pragma once

#include <cstdint>

#include "platform/platform.h"

enum NoticeCode : uint32_t {
  kNoticeSuccess = 1,          // value 0
  kNoticeOpenError = 2,        // value: packageCopyPath
  kNoticeWriteError = 3,       // value: output file path
  kNoticeDecompressError = 4,  // value: output file path
  kNoticeChecksumError = 5,    // value: output file path
  kNoticeDirectoryError = 6,   // value: workspacePath + "\" + subdirectory
  kNoticeDamagedPackage = 7,   // value: packageCopyPath
  kNoticeProgress = 8,         // value: bar position
};
static_assert(kNoticeProgress == kProgressNoticeCode, "the seam knows progress by this code");

// Codes 1 to 7 end the run; exactly one of them is sent, and nothing after it.
inline bool IsFinalNotice(uint32_t code) {
  return code >= kNoticeSuccess && code <= kNoticeDamagedPackage;
}

// The launcher's per-file failure messages, English in every UI language;
// %s is the notice's path. Null for the codes that have none.
inline const char* NoticeMessageFormat(uint32_t code) {
  switch (code) {
    case kNoticeOpenError:
      return "Open file:%s error!";
    case kNoticeWriteError:
      return "Write file:%s error!";
    case kNoticeDecompressError:
      return "Decompress file:%s error!";
    case kNoticeChecksumError:
      return "CRC file:%s error!";
    case kNoticeDirectoryError:
      return "Create Directory:%s error!";
    default:
      return nullptr;
  }
}
