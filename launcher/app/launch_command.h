// The launch of the setup program from the workspace.
#pragma once

#include <cstddef>

#include "launcher/worker.h"

// Writes the setup program's path, workspacePath + "\QWSetup.exe", into
// `program` and its command line, that path in double quotes followed by
// " -D", into `commandLine`; each buffer holds `capacity` bytes. The quotes
// keep a workspace path with spaces in it from being split at a space, so
// that no program at a prefix of the path (C:\Documents.exe) is ever run
// and the setup program sees "-D" as its only argument. False, with
// nothing composed, when either does not fit.
bool ComposeSetupLaunch(const char* workspacePath, char* program, char* commandLine,
                        size_t capacity);
// The command line alone for `program`: its path in double quotes and " -D".
bool ComposeCommandLine(const char* program, char* commandLine, size_t capacity);

// The end of a run whose every entry was verified: the setup program, held
// since the worker verified it (VerifiedSetupProgram), is read once more
// through the hold and compared with the SHA-256 of the bytes the walk
// wrote, started by the path the hold resolves to, and only then let go,
// together with the workspace, so that what starts is what was checked.
// Returns the run's exit status: kExitSetupStarted; kExitChecksumError when
// the held file is not the entry's bytes; kExitSetupNotStarted when there
// is no held setup program or it did not start. `failedPath` (520 bytes)
// receives the path that a message names.
int StartSetupProgram(char* failedPath);
