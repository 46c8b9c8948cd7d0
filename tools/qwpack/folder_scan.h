// The files of the folder being packed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/qwpack/host/host_files.h"

struct SourceFile {
  std::string hostPath;             // to open
  std::vector<std::string> levels;  // relative to the folder, the file's name last
  uint64_t size;
};

struct FolderScan {
  std::vector<SourceFile> files;              // in no particular order
  std::vector<std::string> emptyDirectories;  // relative, host separators: no file below them
  std::vector<std::string> directories;       // host paths of every folder walked, the root first
};

// Walks `root`, following symbolic links, and skips the file `skip` (the
// output, when it lies inside). Returns an empty string, or what stopped the
// walk: an unreadable directory, a special file, a link that loops.
std::string ScanFolder(const std::string& root, const FileIdentity& skip, FolderScan* scan);
