// The extraction worker composes its paths from ANSI strings: the program,
// the workspace, and below it the entries' names. The program and the
// workspace are host paths, which may hold any name the host does; only the
// names come from the package and belong to its code page. So the worker
// gets a stand-in for each host path, "<1>", "<2>" and so on, and qwpack's
// file calls put the host path back in its place.
#pragma once

#include <string>

// Registers `hostPath` (UTF-8) for the run and returns its stand-in.
std::string AddStandIn(const std::string& hostPath);

// When `workerPath` begins with a stand-in as a whole level (followed by its
// end or a backslash): its host path, and in `rest` what follows the
// stand-in. False for any other path.
bool SplitStandIn(const char* workerPath, std::string* hostPath, const char** rest);
