// The launch of the setup program from the workspace.
#pragma once

#include <cstddef>

// Writes the setup program's path, workspacePath + "\QWSetup.exe", into
// `program` and its command line, that path in double quotes followed by
// " -D", into `commandLine`; each buffer holds `capacity` bytes. The quotes
// keep a workspace path with spaces in it from being split at a space, so
// that no program at a prefix of the path (C:\Documents.exe) is ever run
// and the setup program sees "-D" as its only argument. False, with
// nothing composed, when either does not fit.
bool ComposeSetupLaunch(const char* workspacePath, char* program, char* commandLine,
                        size_t capacity);
