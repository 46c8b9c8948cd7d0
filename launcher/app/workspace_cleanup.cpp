#include "launcher/app/workspace_cleanup.h"

#include "common/entry_names.h"
#include "launcher/app/run_log.h"
#include "platform/platform.h"

namespace {

// One walk over the tree: `path` is the entry at hand, grown and cut back
// as the walk goes down and up; zeros until a removal, so no file bytes.
char16_t g_path[kWidePathCapacity];

struct Walk {
  size_t length;  // of g_path
  unsigned depth;
  bool schedule;  // schedule for restart instead of removing
  CleanupReport* report;
  uint32_t left;  // entries this walk could not remove (or schedule)
};

void NoteLeft(Walk* walk, uint32_t error) {
  walk->left++;
  if (!walk->report->firstError) walk->report->firstError = error;
}

// Removes (or schedules) the entry at g_path; a folder's content first.
void RemoveEntry(Walk* walk, uint32_t attributes);

bool VisitEntry(void* context, const char16_t* name, uint32_t attributes) {
  Walk* walk = static_cast<Walk*>(context);
  size_t length = walk->length;
  size_t nameLength = 0;
  while (name[nameLength]) nameLength++;
  if (length + 1 + nameLength >= kWidePathCapacity) {
    NoteLeft(walk, 206);  // ERROR_FILENAME_EXCED_RANGE: left, never cut into another name
    return true;
  }
  g_path[length] = u'\\';
  for (size_t i = 0; i <= nameLength; i++) g_path[length + 1 + i] = name[i];
  walk->length = length + 1 + nameLength;
  RemoveEntry(walk, attributes);
  walk->length = length;
  g_path[length] = u'\0';
  return true;
}

bool RemoveNow(bool folder) {
  return (folder ? g_platform.removeDirectoryWide(g_path) : g_platform.deleteFileWide(g_path)) != 0;
}

void RemoveEntry(Walk* walk, uint32_t attributes) {
  bool folder = (attributes & kFileAttributeDirectory) != 0;
  // A link is removed itself: nothing it leads to is listed or deleted.
  bool link = (attributes & kFileAttributeReparsePoint) != 0;
  if (folder && !link) {
    if (walk->depth >= kCleanupDepth) return NoteLeft(walk, 206);  // ERROR_FILENAME_EXCED_RANGE
    walk->depth++;
    if (!g_platform.listDirectory(g_path, VisitEntry, walk)) NoteLeft(walk, g_platform.lastError());
    walk->depth--;
  }
  if (RemoveNow(folder)) {
    walk->report->removed++;
    return;
  }
  uint32_t error = g_platform.lastError();
  if (walk->schedule && g_platform.deleteAtRestart(g_path)) walk->report->scheduled++;
  NoteLeft(walk, error);
}

// One pass over the whole tree, which schedules for restart what it
// cannot remove when `schedule`; true when the workspace is gone.
bool Pass(size_t rootLength, bool schedule, CleanupReport* report) {
  uint32_t attributes = g_platform.getFileAttributesWide(g_path);
  if (attributes == kNoFileAttributes) return true;
  Walk walk = {rootLength, 0, schedule, report, 0};
  report->firstError = 0;
  RemoveEntry(&walk, attributes);
  report->left = walk.left;
  return walk.left == 0;
}

}  // namespace

bool ExtendedLengthPath(const char16_t* path, char16_t* out, size_t capacity) {
  const char16_t* prefix = u"";
  const char16_t* rest = path;
  bool drive =
      ((path[0] | 0x20) >= u'a' && (path[0] | 0x20) <= u'z') && path[1] == u':' && path[2] == u'\\';
  bool share = path[0] == u'\\' && path[1] == u'\\' && path[2] != u'?' && path[2] != u'.';
  if (drive) prefix = u"\\\\?\\";
  if (share) prefix = u"\\\\?\\UNC\\", rest = path + 2;
  size_t at = 0;
  for (const char16_t* c = prefix; *c; c++) {
    if (at + 1 >= capacity) return false;
    out[at++] = *c;
  }
  for (const char16_t* c = rest; *c; c++) {
    if (at + 1 >= capacity) return false;
    out[at++] = *c;
  }
  if (at >= capacity) return false;
  out[at] = u'\0';
  return true;
}

bool RemoveWorkspaceTree(const char* workspace, bool elevated, CleanupReport* report) {
  *report = CleanupReport();
  // Made full first: a "\\?\" path is taken literally, "." and ".." included.
  char16_t wide[kPathCapacity], full[kPathCapacity];
  if (!g_platform.ansiToWide(workspace, wide, kPathCapacity) ||
      !g_platform.getFullPathWide(wide, full, kPathCapacity) ||
      !ExtendedLengthPath(full, g_path, kWidePathCapacity)) {
    report->left = 1;
    report->firstError = g_platform.lastError();
    return false;
  }
  size_t rootLength = 0;
  while (g_path[rootLength]) rootLength++;
  for (unsigned pass = 1; pass <= kCleanupPasses; pass++) {
    if (pass > 1) g_platform.sleepMilliseconds(kCleanupPauseMs);
    report->passes = pass;
    // The last pass of an elevated run schedules what it cannot remove,
    // each folder after what it holds.
    if (Pass(rootLength, elevated && pass == kCleanupPasses, report)) {
      report->gone = true;
      return true;
    }
  }
  return false;
}
