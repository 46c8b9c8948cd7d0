// The paths the extraction worker opens and reports are ANSI bytes in the
// package's code page, as in the launcher. These turn them into the host's
// paths and back: on Linux through the POSIX platform (UTF-8, '/'); on
// Windows through wide calls after converting from the code page, so that
// they do not depend on the system's own ANSI code page.
#pragma once

#include <string>

// Makes the worker's file calls and lead bytes follow `codePage`.
void UsePathCodePage(unsigned codePage);
unsigned PathCodePage();

// A path the worker sent, as the host names it (UTF-8).
std::string HostPathFromAnsi(const char* ansiPath);

// The path to give the worker for a host path (UTF-8): the program, the
// workspace, the package copy. Only the names the worker appends to it come
// from the package and belong to its code page. On Windows it is a stand-in
// that the file calls and HostPathFromAnsi put the host path back for, so
// any name Windows holds is reached; on Linux the host path in the code page,
// and false when it has a character the code page cannot hold.
bool WorkerPathFromHost(const std::string& hostPath, std::string* workerPath);
