// What the host file layer does the same way on every system, through its
// system-specific calls.
#include "tools/qwpack/host/host_files.h"

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
