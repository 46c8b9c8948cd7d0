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
  FILE* file = HostOpenFile(path, "rb");
  if (!file) return false;
  bytes->clear();
  uint8_t buffer[1 << 16];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;)
    bytes->insert(bytes->end(), buffer, buffer + n);
  bool read = !ferror(file);
  fclose(file);
  return read;
}
