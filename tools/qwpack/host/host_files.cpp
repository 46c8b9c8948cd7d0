// What the host file layer does the same way on every system, through its
// system-specific calls.
#include "tools/qwpack/host/host_files.h"

PackageFiles HostPackageFiles(int fd) {
  PackageFiles files;
  files.openForReading = [](const std::string& path) { return HostOpenFile(path, "rb"); };
  files.writeAt = [fd](const uint8_t* bytes, size_t length, uint64_t offset) {
    return HostWriteAt(fd, bytes, length, offset);
  };
  files.errorText = HostErrorText;
  return files;
}

bool HostReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  return HostReadSmallFile(path, UINT64_MAX, bytes).empty();
}

std::string HostReadSmallFile(const std::string& path, uint64_t most, std::vector<uint8_t>* bytes) {
  FILE* file = HostOpenFile(path, "rb");
  if (!file) return HostErrorText();
  bytes->clear();
  uint8_t buffer[1 << 16];
  for (size_t n; bytes->size() <= most && (n = fread(buffer, 1, sizeof buffer, file)) > 0;)
    bytes->insert(bytes->end(), buffer, buffer + n);
  std::string problem = ferror(file) ? HostErrorText() : "";
  fclose(file);
  if (problem.empty() && bytes->size() > most)
    problem = "larger than " + std::to_string(most >> 20) + " MiB";
  return problem;
}
