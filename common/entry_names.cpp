#include "common/entry_names.h"

#include <cstring>

#include "common/container.h"
#include "platform/platform.h"

namespace {

// Checks one level [begin, end): non-empty, none of the characters a path
// could escape or switch drives with, and not ending in a dot or a space
// (which covers the levels of dots and spaces only, ".." among them):
// Windows drops those, so "QWSetup.exe." would be written as QWSetup.exe
// under a name the walk does not know it by.
bool IsSafeLevel(const char* begin, const char* end) {
  if (begin == end) return false;
  unsigned char last = 0;  // the last single-byte character, 0 after a double-byte one
  for (const char* p = begin; p < end; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (g_platform.isLeadByte(c) && p + 1 < end) {
      last = 0;
      p++;
      continue;
    }
    if (c < 0x20 || c == 0x7F || c == '/' || c == ':' || c == '\\') return false;
    last = c;
  }
  return last != '.' && last != ' ';
}

}  // namespace

bool IsNameFieldTerminated(const char* field) {
  return memchr(field, '\0', kNameFieldSize) != nullptr;
}

bool IsSafeSubdirectory(const char* subdirectory) {
  if (*subdirectory == '\0') return true;
  const char* levelStart = subdirectory;
  for (const char* p = subdirectory;; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c != '\0' && g_platform.isLeadByte(c) && p[1] != '\0') {
      p++;
      continue;
    }
    if (c == '\\' || c == '\0') {
      if (!IsSafeLevel(levelStart, p)) return false;
      if (c == '\0') return true;
      levelStart = p + 1;
    }
  }
}

bool IsSafeFileName(const char* fileName) {
  return IsSafeLevel(fileName, fileName + strlen(fileName));
}

bool AppendPathPart(char* path, size_t capacity, char separator, const char* part) {
  size_t length = strlen(path);
  size_t partLength = strlen(part);
  size_t needed = length + (separator ? 1 : 0) + partLength + 1;
  if (separator && length + 1 < capacity) path[length++] = separator;
  size_t room = capacity - 1 - length;
  size_t copied = partLength < room ? partLength : room;
  memcpy(path + length, part, copied);
  path[length + copied] = '\0';
  return needed <= capacity;
}
