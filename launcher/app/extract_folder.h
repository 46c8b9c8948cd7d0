// The folder of /extract=DIR, made ready before anything is unpacked: DIR
// (relative to the current folder) is made where it is missing, its
// missing parents with it; an existing empty folder is taken as it is; a
// folder that holds anything, a file of that name, or a name the ANSI code
// page cannot spell (the worker's paths are ANSI) is refused, and nothing
// is written.
//
// A DIR the launcher makes is made like a workspace: with the workspace's
// security descriptor and held until the run lets go, so that, in an
// elevated run, no unelevated program can plant a link inside on which an
// entry would be written elsewhere. An existing empty DIR keeps its own
// DACL: an administrator who names one that others may write trusts them.
#pragma once

#include <cstdint>

#include "common/entry_names.h"
#include "platform/platform.h"

// The longest extraction folder: as long as a workspace path may be (a
// base of kMaxWorkspaceBaseLength and "QW_" with eight digits), so that
// every path composed below it fits as it does in a workspace.
constexpr uint32_t kMaxExtractFolderLength = 491 + 11;

enum ExtractFolderOutcome {
  kExtractFolderReady,
  kExtractFolderNotEmpty,  // an existing folder that holds something
  kExtractFolderNotMade,   // it could not be made, or is no folder, or has no ANSI name
};

struct ExtractFolder {
  char path[kPathCapacity];  // full ANSI path, no trailing separator
  HeldHandle hold;           // the folder made, held; null for an existing one
  bool made;                 // made by this run (parents too, where missing)
  uint32_t error;            // the Win32 error of an outcome other than ready
};

// Makes the folder ready; `sddl` is the workspace's security descriptor
// (WorkspaceSecurity) for a folder it makes. Folders made before a later
// step failed are removed again.
ExtractFolderOutcome PrepareExtractFolder(const char16_t* requested, const char* sddl,
                                          ExtractFolder* folder);

// The length of the root of a full path: "C:\" (3), "\\server\share\"
// (through the separator after the share), "/" (1); 0 for none of them.
size_t PathRootLength(const char16_t* path);
