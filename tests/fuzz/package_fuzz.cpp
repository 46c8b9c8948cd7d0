// Arbitrary program files through the whole worker into a scratch
// workspace: exactly one final notice, last; nothing created outside the
// workspace; no crash.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "decode/notices.h"
#include "launcher/run_state.h"
#include "launcher/worker.h"
#include "platform/platform.h"

namespace {

int g_finals;
bool g_afterFinal;

void Deliver(void*, uint32_t code, uintptr_t) {
  if (g_finals > 0) g_afterFinal = true;
  if (IsFinalNotice(code)) g_finals++;
}

void RemoveTree(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") RemoveTree(path + "/" + name);
    }
    closedir(dir);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

size_t CountEntries(const std::string& path) {
  size_t count = 0;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.' ? 1 : 0;
    closedir(dir);
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string root = [] {
    char scratch[] = "/tmp/qwfuzzXXXXXX";
    return std::string(mkdtemp(scratch));
  }();
  std::string workspace = root + "/ws";
  std::string program = root + "/p.exe";
  RemoveTree(workspace);
  mkdir(workspace.c_str(), 0777);
  FILE* f = fopen(program.c_str(), "wb");
  fwrite(data, 1, size, f);
  fclose(f);

  static NoticeSink sink = {Deliver, nullptr};
  snprintf(g_runState.programPath, kPathCapacity, "%s", program.c_str());
  snprintf(g_runState.workspacePath, kPathCapacity, "%s", workspace.c_str());
  snprintf(g_runState.packageCopyPath, kPathCapacity, "%s\\QW.tmp", workspace.c_str());
  g_runState.noticeTarget = &sink;
  g_runState.workspace = g_platform.holdDirectory(workspace.c_str());
  if (!g_runState.workspace) abort();
  g_finals = 0;
  g_afterFinal = false;
  ExtractionWorkerMain(nullptr);
  ReleaseVerifiedSetup();
  g_platform.release(g_runState.workspace);
  g_runState.workspace = nullptr;
  if (g_finals != 1 || g_afterFinal) abort();
  if (CountEntries(root) != 2) abort();  // only the program and the workspace
  return 0;
}
