// The worker's file calls for qwpack on Linux: the POSIX platform's mapping
// (the code page to UTF-8, backslashes to '/'), after a stand-in for a host
// path (path_stand_ins.h) has become that path, byte for byte.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "launcher/run_state.h"
#include "platform/platform.h"
#include "tools/qwpack/host/ansi_paths.h"
#include "tools/qwpack/path_stand_ins.h"

namespace {

constexpr uint32_t kErrorGenFailure = 31;  // ERROR_GEN_FAILURE

thread_local uint32_t t_lastError = 0;

std::string MapAnsiPath(const char* ansiPath) {
  char mapped[kPathCapacity * 4];
  return PosixMapPath(ansiPath, mapped, sizeof mapped) ? mapped : ansiPath;
}

FILE* ToolOpenFile(const char* path, const char* mode) {
  return fopen(HostPathFromAnsi(path).c_str(), mode);
}

int ToolDeleteFile(const char* path) {
  return unlink(HostPathFromAnsi(path).c_str()) == 0;
}

// The worker tells an existing directory apart from every other failure.
int ToolCreateDirectory(const char* path) {
  if (mkdir(HostPathFromAnsi(path).c_str(), 0777) == 0) return 1;
  t_lastError = errno == EEXIST ? kErrorAlreadyExists : kErrorGenFailure;
  return 0;
}

uint32_t ToolLastError() {
  return t_lastError;
}

}  // namespace

void UsePathCodePage(unsigned codePage) {
  PosixSetCodePage(codePage);
  g_platform.openFile = ToolOpenFile;
  g_platform.deleteFile = ToolDeleteFile;
  g_platform.createDirectory = ToolCreateDirectory;
  g_platform.lastError = ToolLastError;
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
