// The paths the extraction worker opens and reports are ANSI bytes in the
// package's code page, as in the launcher, behind a stand-in for the host
// path they begin with (path_stand_ins.h). These turn them into the host's
// paths: on Linux through the POSIX platform's mapping (UTF-8, '/'); on
// Windows through wide calls after converting from the code page, so that
// they do not depend on the system's own ANSI code page.
#pragma once

#include <string>

// Makes the worker's file calls and lead bytes follow `codePage`.
void UsePathCodePage(unsigned codePage);
unsigned PathCodePage();

// A path the worker sent, as the host names it (UTF-8).
std::string HostPathFromAnsi(const char* ansiPath);
