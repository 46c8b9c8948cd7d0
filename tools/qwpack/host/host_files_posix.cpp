#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tools/qwpack/host/host_files.h"

std::string HostStat(const std::string& path, HostFileInfo* info) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "cannot read " + path + ": " + strerror(errno);
  info->kind = S_ISREG(st.st_mode)   ? HostKind::kFile
               : S_ISDIR(st.st_mode) ? HostKind::kDirectory
                                     : HostKind::kOther;
  info->size = static_cast<uint64_t>(st.st_size);
  info->identity.volume = static_cast<uint64_t>(st.st_dev);
  info->identity.file = static_cast<uint64_t>(st.st_ino);
  return "";
}

std::string HostListDirectory(const std::string& path, std::vector<std::string>* names) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return "cannot read the folder " + path + ": " + strerror(errno);
  errno = 0;
  while (dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..")) names->push_back(entry->d_name);
  }
  int readError = errno;
  closedir(dir);
  if (readError) return "cannot read the folder " + path + ": " + strerror(readError);
  return "";
}

FILE* HostOpenFile(const std::string& path, const char* mode) {
  return fopen(path.c_str(), mode);
}

FILE* HostTemporaryFile() {
  return tmpfile();
}

std::string HostMakeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); i++) {
    if (i == path.size() || path[i] == '/') {
      std::string prefix = path.substr(0, i);
      if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
        return "cannot create " + prefix + ": " + strerror(errno);
    }
  }
  return "";
}

std::string HostAbsolutePath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string HostOwnProgram() {
  char self[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "";
  return std::string(self, static_cast<size_t>(length));
}

std::string HostDirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

bool HostWriteAt(int fd, const uint8_t* bytes, size_t length, uint64_t offset) {
  while (length > 0) {
    ssize_t written = pwrite(fd, bytes, length, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    length -= static_cast<size_t>(written);
    offset += static_cast<uint64_t>(written);
  }
  return true;
}

bool HostTruncate(int fd, uint64_t length) {
  return ftruncate(fd, static_cast<off_t>(length)) == 0;
}

bool HostRemoveFile(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

bool HostReadAt(int fd, uint8_t* bytes, size_t length, uint64_t offset) {
  while (length > 0) {
    ssize_t read = pread(fd, bytes, length, static_cast<off_t>(offset));
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) return false;
    bytes += read;
    length -= static_cast<size_t>(read);
    offset += static_cast<uint64_t>(read);
  }
  return true;
}

std::string HostErrorText() {
  return strerror(errno);
}

bool HostIsTerminal(FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

unsigned HostProcessorCount() {
  return std::thread::hardware_concurrency();
}

double HostThreadCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}
