// The files of the folder being packed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct SourceFile {
  std::string hostPath;             // to open
  std::vector<std::string> levels;  // relative to the folder, the file's name last
  uint64_t size;
};

struct FolderScan {
  std::vector<SourceFile> files;              // in no particular order
  std::vector<std::string> emptyDirectories;  // relative, '/'-separated: no file below them
};

// Walks `root`, following symbolic links, and skips the file with the
// identity (device, inode) `skipDevice`/`skipInode` (the output, when it lies
// inside). Returns an empty string, or what stopped the walk: an unreadable
// directory, a special file, a link that loops.
std::string ScanFolder(const std::string& root, dev_t skipDevice, ino_t skipInode,
                       FolderScan* scan);
