// An entry's subdirectory, every level of it, made inside the workspace
// through the workspace's held handle.
#pragma once

#include "common/entry_names.h"
#include "platform/platform.h"

// The entry subdirectory that one unpack walk made last, every level of it
// made or found present. Entries come folder by folder, so most of them
// share it whole or in part. Belongs to one walk: never reused by another.
struct MadeSubdirectory {
  char path[kPathCapacity] = "";  // relative to the workspace; "" before the first
};

// Creates `relativePath` inside `directory` and every level above it, each
// level relative to the held directory, but not the levels that `made`
// holds already (whole levels from the start). Returns non-zero when the
// final creation succeeded, or when `made` holds relativePath whole or as
// one of its ancestors (nothing is created then); otherwise 0, with the
// platform's last error being that of the final creation (183 when the
// directory exists already). The scan for separators skips the trail bytes
// of double-byte characters. On a non-zero return, or a final creation that
// failed because the directory exists, `made` becomes relativePath.
// Returns 0 without creating anything when relativePath does not fit in
// 520 bytes.
int CreateEntrySubdirectory(HeldHandle directory, const char* relativePath, MadeSubdirectory* made);
