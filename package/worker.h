// The extraction worker: the thread that does all of a run's file work and
// reports to the progress window only through notices (run/notices.h). It
// reads g_runState, complete before the thread starts, and writes nothing
// but files.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Copies the package body out of programPath into packageCopyPath. Returns
// the package's fileCount, 0 on any failure (both files closed either way).
uint32_t CopyOutPackage();

// Thread entry: copy-out, then unpack from the package copy into the
// workspace; ends with exactly one final notice, the package copy closed
// before it. The argument is ignored; returns 0.
unsigned long QW_THREAD_CALL ExtractionWorkerMain(void* ignored);
