// The extraction worker: the thread that does all of a run's file work and
// reports to the progress window only through notices (run/notices.h). It
// reads g_runState, complete before the thread starts, and writes nothing
// but files.
#pragma once

#include <cstdint>

#include "common/container.h"
#include "decode/unpack.h"
#include "platform/platform.h"

// Copies the package body out of programPath into packageCopyPath, or, for
// a set, every volume beside programPath, each checked against the set's
// record as it goes by. Returns 0 with the package's *fileCount, or the
// final notice of a failure with `path` (kPathCapacity bytes) its value:
// damaged package with packageCopyPath, or a volume's open or checksum
// error with the volume's path. Both files are closed either way.
uint32_t CopyOutPackage(uint32_t* fileCount, char* path);

// Thread entry: copy-out, then unpack from the package copy into the
// workspace; ends with exactly one final notice, the package copy closed
// before it. The argument is ignored; returns 0.
unsigned long QW_THREAD_CALL ExtractionWorkerMain(void* ignored);

// The setup program ("QWSetup.exe" at the workspace's root, any case) as
// the worker left it: held (platform holdFile) from the moment its entry
// was verified, or null when the package has none or it could not be held;
// and the digest of the bytes the walk wrote to it. Complete when the
// success notice is sent; the window releases the hold once the program has
// been started.
struct VerifiedSetup {
  HeldHandle file;
  HeldDigest written;  // of the bytes the walk wrote and verified
};
const VerifiedSetup& VerifiedSetupProgram();
void ReleaseVerifiedSetup();
