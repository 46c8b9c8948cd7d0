#include "tools/qwpack/folder_scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

struct Walk {
  dev_t skipDevice;
  ino_t skipInode;
  std::vector<std::pair<dev_t, ino_t>> open;  // the directories being walked, to catch loops
  FolderScan* scan;
};

std::string Join(const std::vector<std::string>& levels) {
  std::string path;
  for (const std::string& level : levels) path += (path.empty() ? "" : "/") + level;
  return path;
}

// Walks one directory; returns whether any file lies below it.
std::string WalkDirectory(const std::string& hostPath, std::vector<std::string>* levels, Walk* walk,
                          bool* holdsFiles) {
  DIR* dir = opendir(hostPath.c_str());
  if (!dir) return "cannot read the folder " + hostPath + ": " + strerror(errno);
  std::vector<std::string> names;
  errno = 0;
  while (dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..")) names.push_back(entry->d_name);
  }
  int readError = errno;
  closedir(dir);
  if (readError) return "cannot read the folder " + hostPath + ": " + strerror(readError);

  *holdsFiles = false;
  for (const std::string& name : names) {
    std::string path = hostPath + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return "cannot read " + path + ": " + strerror(errno);
    levels->push_back(name);
    if (S_ISDIR(st.st_mode)) {
      for (const auto& open : walk->open)
        if (open.first == st.st_dev && open.second == st.st_ino)
          return "the folder " + path + " links back to a folder that contains it";
      walk->open.emplace_back(st.st_dev, st.st_ino);
      bool below = false;
      std::string problem = WalkDirectory(path, levels, walk, &below);
      if (!problem.empty()) return problem;
      walk->open.pop_back();
      if (!below) walk->scan->emptyDirectories.push_back(Join(*levels));
      *holdsFiles = *holdsFiles || below;
    } else if (S_ISREG(st.st_mode)) {
      if (!(st.st_dev == walk->skipDevice && st.st_ino == walk->skipInode)) {
        walk->scan->files.push_back({path, *levels, static_cast<uint64_t>(st.st_size)});
        *holdsFiles = true;
      }
    } else {
      return path + " is neither a file nor a folder";
    }
    levels->pop_back();
  }
  return "";
}

}  // namespace

std::string ScanFolder(const std::string& root, dev_t skipDevice, ino_t skipInode,
                       FolderScan* scan) {
  struct stat st;
  if (stat(root.c_str(), &st) != 0) return "cannot read " + root + ": " + strerror(errno);
  if (!S_ISDIR(st.st_mode)) return root + " is not a folder";
  Walk walk = {skipDevice, skipInode, {{st.st_dev, st.st_ino}}, scan};
  std::vector<std::string> levels;
  bool holdsFiles = false;
  return WalkDirectory(root, &levels, &walk, &holdsFiles);
}
