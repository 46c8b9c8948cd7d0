#include "tools/qwpack/host/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The temporary files a signal must remove: each slot holds a complete copy
// of a path or null, stored in one step, so that a handler on any thread
// sees the one or the other.
std::atomic<char*> g_pendingPaths[kMostPendingOutputs];
static_assert(std::atomic<char*>::is_always_lock_free, "the handler reads the slots");

void RemovePendingAndDie(int signal) {
  for (std::atomic<char*>& slot : g_pendingPaths) {
    char* path = slot.load();
    if (path) unlink(path);
  }
  ::signal(signal, SIG_DFL);
  raise(signal);
}

const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Records `path` in a free slot; -1 when every slot is taken.
int ClaimPendingSlot(const char* path) {
  for (int i = 0; i < kMostPendingOutputs; i++) {
    char* expected = nullptr;
    char* copy = strdup(path);
    if (g_pendingPaths[i].compare_exchange_strong(expected, copy)) return i;
    free(copy);
  }
  return -1;
}

void ReleasePendingSlot(int* slot) {
  if (*slot < 0) return;
  char* path = g_pendingPaths[*slot].exchange(nullptr);
  free(path);
  *slot = -1;
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
    pendingSlot_ = ClaimPendingSlot(name.data());
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (fd_ < 0) return "cannot create a file beside " + finalPath + ": " + strerror(error);
  if (pendingSlot_ < 0) {
    Discard();
    return "cannot create a file beside " + finalPath + ": too many output files at once";
  }
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
  ReleasePendingSlot(&pendingSlot_);
  temporaryPath_.clear();
  return "";
}

void OutputFile::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporaryPath_.empty()) {
    unlink(temporaryPath_.c_str());
    ReleasePendingSlot(&pendingSlot_);
    temporaryPath_.clear();
  }
}
