#include "tools/qwpack/folder_scan.h"

namespace {

struct Walk {
  FileIdentity skip;
  std::vector<FileIdentity> open;  // the directories being walked, to catch loops
  FolderScan* scan;
};

std::string Join(const std::vector<std::string>& levels) {
  std::string path;
  for (const std::string& level : levels) {
    if (!path.empty()) path += kHostSeparator;
    path += level;
  }
  return path;
}

// Walks one directory; says whether any file lies below it.
std::string WalkDirectory(const std::string& hostPath, std::vector<std::string>* levels, Walk* walk,
                          bool* holdsFiles) {
  walk->scan->directories.push_back(hostPath);
  std::vector<std::string> names;
  std::string problem = HostListDirectory(hostPath, &names);
  if (!problem.empty()) return problem;

  *holdsFiles = false;
  for (const std::string& name : names) {
    std::string path = hostPath + kHostSeparator + name;
    HostFileInfo info;
    problem = HostStat(path, &info);
    if (!problem.empty()) return problem;
    levels->push_back(name);
    if (info.kind == HostKind::kDirectory) {
      for (const FileIdentity& open : walk->open)
        if (open == info.identity)
          return "the folder " + path + " links back to a folder that contains it";
      walk->open.push_back(info.identity);
      bool below = false;
      problem = WalkDirectory(path, levels, walk, &below);
      if (!problem.empty()) return problem;
      walk->open.pop_back();
      if (!below) walk->scan->emptyDirectories.push_back(Join(*levels));
      *holdsFiles = *holdsFiles || below;
    } else if (info.kind == HostKind::kFile) {
      if (!(info.identity == walk->skip)) {
        walk->scan->files.push_back({path, *levels, info.size});
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

std::string ScanFolder(const std::string& root, const FileIdentity& skip, FolderScan* scan) {
  HostFileInfo info;
  std::string problem = HostStat(root, &info);
  if (!problem.empty()) return problem;
  if (info.kind != HostKind::kDirectory) return root + " is not a folder";
  Walk walk = {skip, {info.identity}, scan};
  std::vector<std::string> levels;
  bool holdsFiles = false;
  return WalkDirectory(root, &levels, &walk, &holdsFiles);
}
