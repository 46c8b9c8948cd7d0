#include "tools/qwpack/path_stand_ins.h"

#include <cstring>
#include <vector>

namespace {

std::vector<std::string> g_hostPaths;  // the stand-in "<i>" names g_hostPaths[i - 1]

}  // namespace

std::string AddStandIn(const std::string& hostPath) {
  g_hostPaths.push_back(hostPath);
  return "<" + std::to_string(g_hostPaths.size()) + ">";
}

bool SplitStandIn(const char* workerPath, std::string* hostPath, const char** rest) {
  for (size_t i = 0; i < g_hostPaths.size(); i++) {
    std::string standIn = "<" + std::to_string(i + 1) + ">";
    size_t length = standIn.size();
    if (strncmp(workerPath, standIn.c_str(), length) == 0 &&
        (workerPath[length] == '\0' || workerPath[length] == '\\')) {
      *hostPath = g_hostPaths[i];
      *rest = workerPath + length;
      return true;
    }
  }
  return false;
}
