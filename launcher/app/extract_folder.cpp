#include "launcher/app/extract_folder.h"

#include <cstring>

#include "launcher/app/run_log.h"

namespace {

constexpr uint32_t kErrorBadPathname = 161;            // ERROR_BAD_PATHNAME
constexpr uint32_t kErrorDirectory = 267;              // ERROR_DIRECTORY: not a folder
constexpr uint32_t kErrorDirNotEmpty = 145;            // ERROR_DIR_NOT_EMPTY
constexpr uint32_t kErrorFilenameExcedRange = 206;     // ERROR_FILENAME_EXCED_RANGE
constexpr uint32_t kErrorInsufficientBuffer = 122;     // ERROR_INSUFFICIENT_BUFFER
constexpr uint32_t kErrorNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION
// One made parent per level of the longest folder, at least two units each.
constexpr size_t kMaxLevels = kMaxExtractFolderLength / 2 + 1;

char16_t g_full[kWidePathCapacity];  // the folder's full wide path

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// "server\\share\\" from `at`: through the separator after the share, or
// to the end without one; 0 without a server or a share.
size_t ShareRootLength(const char16_t* path, size_t at) {
  for (int part = 0; part < 2; part++) {
    size_t begin = at;
    while (path[at] && !IsSeparator(path[at])) at++;
    if (at == begin || (part == 0 && !path[at])) return 0;
    if (path[at]) at++;
  }
  return at;
}

bool StopAtFirst(void* context, const char16_t*, uint32_t) {
  *static_cast<bool*>(context) = true;
  return false;
}

ExtractFolderOutcome Refuse(ExtractFolder* folder, ExtractFolderOutcome outcome, uint32_t error) {
  folder->error = error;
  return outcome;
}

ExtractFolderOutcome TakeExisting(ExtractFolder* folder, uint32_t attributes) {
  if (!(attributes & kFileAttributeDirectory))
    return Refuse(folder, kExtractFolderNotMade, kErrorDirectory);
  bool holdsSomething = false;
  if (!g_platform.listDirectory(g_full, StopAtFirst, &holdsSomething))
    return Refuse(folder, kExtractFolderNotMade, g_platform.lastError());
  if (holdsSomething) return Refuse(folder, kExtractFolderNotEmpty, kErrorDirNotEmpty);
  return kExtractFolderReady;
}

// The parents made so far, by the end of each in g_full, to be removed
// again should a later step fail.
struct MadeParents {
  size_t ends[kMaxLevels];
  size_t count;

  void RemoveAgain() {
    while (count) {
      size_t end = ends[--count];
      char16_t kept = g_full[end];
      g_full[end] = u'\0';
      g_platform.removeDirectoryWide(g_full);
      g_full[end] = kept;
    }
  }
};

// Makes each missing parent of g_full, from the root down.
bool MakeParents(size_t root, MadeParents* made, uint32_t* error) {
  for (size_t at = root; g_full[at]; at++) {
    if (!IsSeparator(g_full[at]) || at == root) continue;
    char16_t kept = g_full[at];
    g_full[at] = u'\0';
    uint32_t attributes = g_platform.getFileAttributesWide(g_full);
    bool fine = true;
    if (attributes == kNoFileAttributes) {
      fine = made->count < kMaxLevels && g_platform.createDirectoryWide(g_full);
      if (fine) made->ends[made->count++] = at;
      if (!fine) *error = g_platform.lastError();
    } else if (!(attributes & kFileAttributeDirectory)) {
      fine = false;
      *error = kErrorDirectory;
    }
    g_full[at] = kept;
    if (!fine) return false;
  }
  return true;
}

ExtractFolderOutcome MakeFolder(const char* sddl, ExtractFolder* folder) {
  size_t root = PathRootLength(g_full);
  if (root == 0) return Refuse(folder, kExtractFolderNotMade, kErrorBadPathname);
  MadeParents made;
  made.count = 0;
  uint32_t error = 0;
  if (MakeParents(root, &made, &error)) {
    folder->hold = g_platform.createHeldDirectory(folder->path, sddl);
    if (folder->hold) {
      folder->made = true;
      return kExtractFolderReady;
    }
    error = g_platform.lastError();
  }
  made.RemoveAgain();
  return Refuse(folder, kExtractFolderNotMade, error);
}

}  // namespace

size_t PathRootLength(const char16_t* path) {
  bool letter = (path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z');
  if (letter && path[1] == u':' && IsSeparator(path[2])) return 3;
  if (path[0] == u'\\' && path[1] == u'\\' && path[2] == u'?' && path[3] == u'\\') {
    const char16_t* rest = path + 4;
    bool unc = (rest[0] | 0x20) == u'u' && (rest[1] | 0x20) == u'n' && (rest[2] | 0x20) == u'c' &&
               rest[3] == u'\\';
    if (unc) return ShareRootLength(path, 8);
    return PathRootLength(rest) == 3 ? 7 : 0;
  }
  if (IsSeparator(path[0]) && IsSeparator(path[1])) return ShareRootLength(path, 2);
  return path[0] == u'/' ? 1 : 0;
}

ExtractFolderOutcome PrepareExtractFolder(const char16_t* requested, const char* sddl,
                                          ExtractFolder* folder) {
  memset(folder, 0, sizeof *folder);
  uint32_t length = g_platform.getFullPathWide(requested, g_full, kWidePathCapacity);
  if (!length) return Refuse(folder, kExtractFolderNotMade, g_platform.lastError());
  size_t root = PathRootLength(g_full);
  while (length > root && length > 1 && IsSeparator(g_full[length - 1])) g_full[--length] = u'\0';
  if (!g_platform.wideToAnsi(g_full, folder->path, kPathCapacity)) {
    bool tooLong = g_platform.lastError() == kErrorInsufficientBuffer;
    return Refuse(folder, kExtractFolderNotMade,
                  tooLong ? kErrorFilenameExcedRange : kErrorNoUnicodeTranslation);
  }
  if (strlen(folder->path) > kMaxExtractFolderLength)
    return Refuse(folder, kExtractFolderNotMade, kErrorFilenameExcedRange);
  uint32_t attributes = g_platform.getFileAttributesWide(g_full);
  if (attributes != kNoFileAttributes) return TakeExisting(folder, attributes);
  return MakeFolder(sddl, folder);
}
