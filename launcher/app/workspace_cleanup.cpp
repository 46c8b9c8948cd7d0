#include "launcher/app/workspace_cleanup.h"

#include "common/entry_names.h"
#include "launcher/app/run_log.h"
#include "platform/platform.h"

#include <cstring>

namespace {

// The path of the entry at hand under the workspace's path, grown and cut
// back as the walk goes down and up: only a deletion at restart takes it.
// Zeros until a removal, so no file bytes.
char16_t g_path[kWidePathCapacity];

struct Walk {
  size_t length;  // of g_path
  bool pathFits;  // g_path names the entry at hand
  unsigned depth;
  bool schedule;  // schedule for restart what cannot be removed
  CleanupReport* report;
  uint32_t left;  // entries this walk could not remove (or schedule)
};

void NoteLeft(Walk* walk, uint32_t error) {
  walk->left++;
  if (!walk->report->firstError) walk->report->firstError = error;
}

void ScheduleAtRestart(Walk* walk) {
  if (walk->schedule && walk->pathFits && g_platform.deleteAtRestart(g_path))
    walk->report->scheduled++;
}

void RemoveContents(Walk* walk, HeldHandle folder);

// Opens the entry, empties it when it is a folder (a link is no folder
// here), then deletes it through its own handle.
void RemoveEntry(Walk* walk, HeldHandle folder, const char16_t* name) {
  uint32_t attributes = 0;
  HeldHandle entry = g_platform.openEntryIn(folder, name, &attributes);
  if (!entry) {
    uint32_t error = g_platform.lastError();
    if (error == 2) return;  // ERROR_FILE_NOT_FOUND: gone meanwhile
    ScheduleAtRestart(walk);
    return NoteLeft(walk, error);
  }
  bool isFolder =
      (attributes & kFileAttributeDirectory) && !(attributes & kFileAttributeReparsePoint);
  if (isFolder) {
    if (walk->depth >= kCleanupDepth) {
      g_platform.release(entry);
      return NoteLeft(walk, 206);  // ERROR_FILENAME_EXCED_RANGE
    }
    walk->depth++;
    RemoveContents(walk, entry);
    walk->depth--;
  }
  bool deleted = g_platform.deleteHeld(entry) != 0;
  uint32_t error = g_platform.lastError();
  g_platform.release(entry);
  if (deleted) {
    walk->report->removed++;
    return;
  }
  ScheduleAtRestart(walk);
  NoteLeft(walk, error);
}

struct Listing {
  Walk* walk;
  HeldHandle folder;
};

bool VisitEntry(void* context, const char16_t* name, uint32_t) {
  Listing* listing = static_cast<Listing*>(context);
  Walk* walk = listing->walk;
  size_t length = walk->length;
  bool pathFits = walk->pathFits;
  size_t nameLength = 0;
  while (name[nameLength]) nameLength++;
  if (pathFits && length + 1 + nameLength < kWidePathCapacity) {
    g_path[length] = u'\\';
    for (size_t i = 0; i <= nameLength; i++) g_path[length + 1 + i] = name[i];
    walk->length = length + 1 + nameLength;
  } else {
    walk->pathFits = false;  // removed all the same; only never scheduled
  }
  RemoveEntry(walk, listing->folder, name);
  walk->length = length;
  walk->pathFits = pathFits;
  g_path[length] = u'\0';
  return true;
}

void RemoveContents(Walk* walk, HeldHandle folder) {
  Listing listing = {walk, folder};
  if (!g_platform.listHeld(folder, VisitEntry, &listing)) NoteLeft(walk, g_platform.lastError());
}

bool StopAtFirst(void* context, const char16_t*, uint32_t) {
  *static_cast<bool*>(context) = false;
  return false;
}

bool IsEmpty(HeldHandle folder) {
  bool empty = true;
  return g_platform.listHeld(folder, StopAtFirst, &empty) && empty;
}

// One pass: everything in the workspace while it is held, then, once it is
// empty, the workspace itself by its path after its hold is let go.
bool Pass(HeldHandle* hold, size_t rootLength, bool schedule, CleanupReport* report) {
  Walk walk = {rootLength, true, 0, schedule, report, 0};
  report->firstError = 0;
  if (*hold) RemoveContents(&walk, *hold);
  uint32_t error = 145;  // ERROR_DIR_NOT_EMPTY
  // What appeared during the walk is for the next pass, while still held.
  if (walk.left == 0 && (!*hold || IsEmpty(*hold))) {
    if (*hold) g_platform.release(*hold);
    *hold = nullptr;
    bool removed = g_platform.removeDirectoryWide(g_path) != 0;
    error = g_platform.lastError();
    if (removed || g_platform.getFileAttributesWide(g_path) == kNoFileAttributes) {
      report->removed += removed ? 1 : 0;
      report->left = 0;
      return true;
    }
  }
  ScheduleAtRestart(&walk);
  NoteLeft(&walk, error);
  report->left = walk.left;
  return false;
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

bool RemoveWorkspaceTree(HeldHandle* hold, const char* workspace, bool scheduleAtRestart,
                         CleanupReport* report) {
  *report = CleanupReport();
  // Made full first: a "\\?\" path is taken literally, "." and ".." included.
  char16_t wide[kPathCapacity], full[kPathCapacity];
  if (!g_platform.ansiToWide(workspace, wide, kPathCapacity) ||
      !g_platform.getFullPathWide(wide, full, kPathCapacity) ||
      !ExtendedLengthPath(full, g_path, kWidePathCapacity)) {
    report->left = 1;
    report->firstError = g_platform.lastError();
    if (*hold) g_platform.release(*hold);
    *hold = nullptr;
    return false;
  }
  size_t rootLength = 0;
  while (g_path[rootLength]) rootLength++;
  for (unsigned pass = 1; pass <= kCleanupPasses; pass++) {
    if (pass > 1) g_platform.sleepMilliseconds(kCleanupPauseMs);
    report->passes = pass;
    if (Pass(hold, rootLength, scheduleAtRestart && pass == kCleanupPasses, report)) {
      report->gone = true;
      return true;
    }
  }
  if (*hold) g_platform.release(*hold);
  *hold = nullptr;
  return false;
}

bool RestartDeletionIsSafe(const char* userSid, const char* workspace) {
  if (strcmp(userSid, "S-1-5-18") == 0) return true;
  bool driveRoot = workspace[0] && workspace[1] == ':' && workspace[2] == '\\';
  return driveRoot && !strchr(workspace + 3, '\\');
}
