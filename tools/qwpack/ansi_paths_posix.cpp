#include "platform/code_page.h"
#include "platform/platform.h"
#include "package/run_state.h"
#include "tools/qwpack/ansi_paths.h"

void UsePathCodePage(unsigned codePage) {
  PosixSetCodePage(codePage);
}

unsigned PathCodePage() {
  return PosixCodePage();
}

std::string HostPathFromAnsi(const char* ansiPath) {
  char mapped[kPathCapacity * 4];
  return PosixMapPath(ansiPath, mapped, sizeof mapped) ? mapped : ansiPath;
}

bool WorkerPathFromHost(const std::string& hostPath, std::string* workerPath) {
  return Utf8ToCodePage(hostPath, PosixCodePage(), workerPath);
}
