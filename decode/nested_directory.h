#pragma once

#include "common/entry_names.h"

// Creates base + "\" + relativePath and every directory between the two.
// Returns non-zero when the final creation succeeded; otherwise 0, with the
// platform's last error being that of the final creation (183 when the
// directory exists already). Directories above `base` are never created:
// the first prefix attempted is `base` itself. The scan for separators skips
// the trail bytes of double-byte characters. Returns 0 without creating
// anything when the composed path does not fit in 520 bytes.
int CreateNestedDirectory(const char* base, const char* relativePath);

// The entry subdirectory that one unpack walk made last, every level of it
// made or found present. Entries come folder by folder, so most of them
// share it whole or in part. Belongs to one walk: never reused by another.
struct MadeSubdirectory {
  char path[kPathCapacity] = "";  // relative to the workspace; "" before the first
};

// Like CreateNestedDirectory for a base that exists, but the levels that
// `made` holds already (whole levels from the start) are not created again,
// nor is the base. A relativePath that `made` holds whole, or as one of its
// ancestors, creates nothing and returns non-zero. On a non-zero return, or
// a final creation that failed because the directory exists, `made` becomes
// relativePath.
int CreateEntrySubdirectory(const char* base, const char* relativePath, MadeSubdirectory* made);
