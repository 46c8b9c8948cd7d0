#include "decode/nested_directory.h"

#include <cstring>

namespace {

// Creates the prefix of `path` ending at each separator from `from` on,
// ignoring the results (most often the directory exists), then the whole
// path, whose result it returns.
int CreateLevelsFrom(HeldHandle directory, char* path, size_t from) {
  for (size_t i = from; path[i] != '\0'; i++) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (g_platform.isLeadByte(c) && path[i + 1] != '\0') {
      i++;  // its trail byte may be 0x5C without being a separator
      continue;
    }
    if (c != '\\') continue;
    path[i] = '\0';
    g_platform.createDirectoryIn(directory, path);
    path[i] = '\\';
  }
  return g_platform.createDirectoryIn(directory, path);
}

constexpr size_t kHeldWhole = static_cast<size_t>(-1);

// How many leading bytes of `relative` are whole levels of `made`: the index
// of a separator of `relative` up to which both agree level for level, 0
// when they share no level, kHeldWhole when `made` holds all of `relative`.
size_t SharedLevels(const char* relative, const char* made) {
  size_t shared = 0;
  for (size_t i = 0;; i++) {
    char c = relative[i];
    if (c == '\0' || c == '\\') {
      if (made[i] != '\0' && made[i] != '\\') return shared;  // made's level goes on
      if (c == '\0') return kHeldWhole;
      if (made[i] == '\0') return i;  // made ends here; relative goes deeper
      shared = i;
      continue;
    }
    if (made[i] != c) return shared;
    if (g_platform.isLeadByte(static_cast<unsigned char>(c)) && relative[i + 1] != '\0') {
      if (made[i + 1] != relative[i + 1]) return shared;
      i++;
    }
  }
}

}  // namespace

int CreateEntrySubdirectory(HeldHandle directory, const char* relativePath,
                            MadeSubdirectory* made) {
  size_t shared = SharedLevels(relativePath, made->path);
  if (shared == kHeldWhole) return 1;
  size_t length = strlen(relativePath);
  if (length + 1 > kPathCapacity) return 0;
  char path[kPathCapacity];
  memcpy(path, relativePath, length + 1);
  // Past the separator that ends the shared levels.
  int created = CreateLevelsFrom(directory, path, shared ? shared + 1 : 0);
  if (created || g_platform.lastError() == kErrorAlreadyExists)
    memcpy(made->path, relativePath, length + 1);
  return created;
}
