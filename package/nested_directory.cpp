#include "package/nested_directory.h"

#include <cstring>

#include "platform/platform.h"
#include "package/run_state.h"

int CreateNestedDirectory(const char* base, const char* relativePath) {
  char path[kPathCapacity];
  size_t baseLength = strlen(base);
  size_t relativeLength = strlen(relativePath);
  if (baseLength + 1 + relativeLength + 1 > kPathCapacity) return 0;
  memcpy(path, base, baseLength);
  path[baseLength] = '\\';
  memcpy(path + baseLength + 1, relativePath, relativeLength + 1);

  for (size_t i = baseLength; path[i] != '\0'; i++) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (g_platform.isLeadByte(c) && path[i + 1] != '\0') {
      i++;  // its trail byte may be 0x5C without being a separator
      continue;
    }
    if (c != '\\') continue;
    path[i] = '\0';
    g_platform.createDirectory(path);  // most often it exists already
    path[i] = '\\';
  }
  return g_platform.createDirectory(path);
}
