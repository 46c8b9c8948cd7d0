// The worker's file calls for qwpack on Linux: the POSIX platform's mapping
// (the code page to UTF-8, backslashes to '/'), after a stand-in for a host
// path (path_stand_ins.h) has become that path, byte for byte.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "launcher/run_state.h"
#include "platform/platform.h"
#include "tools/qwpack/host/ansi_paths.h"
#include "tools/qwpack/path_stand_ins.h"

namespace {

std::string MapAnsiPath(const char* ansiPath) {
  char mapped[kPathCapacity * 4];
  return PosixMapPath(ansiPath, mapped, sizeof mapped) ? mapped : ansiPath;
}

FILE* ToolOpenFile(const char* path, const char* mode) {
  return fopen(HostPathFromAnsi(path).c_str(), mode);
}

HeldHandle ToolHoldDirectory(const char* path) {
  int descriptor = open(HostPathFromAnsi(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return descriptor < 0 ? nullptr : PosixHeldDescriptor(descriptor);
}

int ToolDeleteFile(const char* path) {
  return unlink(HostPathFromAnsi(path).c_str()) == 0;
}

}  // namespace

void UsePathCodePage(unsigned codePage) {
  PosixSetCodePage(codePage);
  g_platform.openFile = ToolOpenFile;
  g_platform.deleteFile = ToolDeleteFile;
  g_platform.holdDirectory = ToolHoldDirectory;
}

unsigned PathCodePage() {
  return PosixCodePage();
}

std::string HostPathFromAnsi(const char* ansiPath) {
  std::string host;
  const char* rest = ansiPath;
  SplitStandIn(ansiPath, &host, &rest);
  return host + MapAnsiPath(rest);
}
