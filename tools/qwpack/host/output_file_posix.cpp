#include "tools/qwpack/host/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

namespace {

// The temporary file a signal must remove; one at a time. Written only
// while the signals are blocked, read by the handler.
char g_pendingPath[4096];

void RemovePendingAndDie(int signal) {
  if (g_pendingPath[0]) unlink(g_pendingPath);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Sets the pending path with the signals blocked, so that the handler never
// sees half of it.
void SetPendingPath(const std::string& path) {
  sigset_t block, previous;
  sigemptyset(&block);
  for (int signal : kCleanupSignals) sigaddset(&block, signal);
  pthread_sigmask(SIG_BLOCK, &block, &previous);
  size_t length = path.size() < sizeof g_pendingPath - 1 ? path.size() : 0;
  memcpy(g_pendingPath, path.data(), length);
  g_pendingPath[length] = '\0';
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void InstallHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal : kCleanupSignals) {
    struct sigaction action = {};
    action.sa_handler = RemovePendingAndDie;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace

OutputFile::~OutputFile() {
  Discard();
}

std::string OutputFile::Open(const std::string& finalPath) {
  finalPath_ = finalPath;
  std::vector<char> name(finalPath.begin(), finalPath.end());
  const char suffix[] = ".part-XXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  InstallHandlers();
  // Block the signals across creation, so the file never exists unrecorded.
  sigset_t block, previous;
  sigemptyset(&block);
  for (int signal : kCleanupSignals) sigaddset(&block, signal);
  pthread_sigmask(SIG_BLOCK, &block, &previous);
  fd_ = mkstemp(name.data());
  int error = errno;
  if (fd_ >= 0) {
    temporaryPath_ = name.data();
    SetPendingPath(temporaryPath_);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (fd_ < 0) return "cannot create a file beside " + finalPath + ": " + strerror(error);
  return "";
}

std::string OutputFile::Commit() {
  mode_t mask = umask(0);
  umask(mask);
  bool closed = fchmod(fd_, 0777 & ~mask) == 0;
  closed = close(fd_) == 0 && closed;
  fd_ = -1;
  if (!closed || rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
    std::string problem = "cannot finish " + finalPath_ + ": " + strerror(errno);
    Discard();
    return problem;
  }
  SetPendingPath("");
  temporaryPath_.clear();
  return "";
}

void OutputFile::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporaryPath_.empty()) {
    unlink(temporaryPath_.c_str());
    SetPendingPath("");
    temporaryPath_.clear();
  }
}
