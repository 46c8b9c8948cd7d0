#include "common/entry_names.h"

#include <cstring>

#include "common/container.h"
#include "platform/platform.h"

namespace {

// Checks one level [begin, end): non-empty, not only dots and spaces, none of
// the characters a path could escape or switch drives with.
bool IsSafeLevel(const char* begin, const char* end) {
  if (begin == end) return false;
  bool onlyDotsAndSpaces = true;
  for (const char* p = begin; p < end; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (g_platform.isLeadByte(c) && p + 1 < end) {
      onlyDotsAndSpaces = false;
      p++;
      continue;
    }
    if (c < 0x20 || c == 0x7F || c == '/' || c == ':' || c == '\\') return false;
    if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
  }
  return !onlyDotsAndSpaces;
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
