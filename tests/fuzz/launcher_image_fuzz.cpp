// Arbitrary bytes as a launcher file, through everything qwpack reads of it
// before the package: the stub checks of pack, the version resource list
// prints, and the locator and copy-out of list, verify and extract. No
// crash, and a stub the checks accept carries a package the launcher finds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "package/package_writer.h"
#include "package/unpack.h"
#include "pe/launcher_stub.h"
#include "pe/version_resource.h"

namespace {

FILE* Sink() {
  static FILE* sink = fopen("/dev/null", "wb");
  return sink;
}

// A read-only stream over the non-empty `bytes`; it seeks and sizes as a file does.
FILE* OpenBytes(std::vector<uint8_t>& bytes) {
  FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (!file) abort();
  return file;
}

void ReadAsTheToolsDo(std::vector<uint8_t>& bytes) {
  FILE* file = OpenBytes(bytes);
  VersionResource version;
  ReadVersionResource(file, &version);
  CopyPackageBody(file, Sink(), nullptr);
  fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // nothing to read; fmemopen wants a buffer
  std::vector<uint8_t> stub(data, data + size);
  ReadAsTheToolsDo(stub);
  if (!CheckLauncherStub(stub).empty()) return 0;

  // pack would take this stub: the launcher it makes must find its package.
  PackageBuilder package;
  package.AddFile("", "QWSetup.exe", std::vector<uint8_t>(10, 'x'));
  std::vector<uint8_t> program = MakeProgramFile(stub, package.Build());
  FILE* file = OpenBytes(program);
  uint32_t fileCount = CopyPackageBody(file, Sink(), nullptr);
  fclose(file);
  if (fileCount != 1) abort();
  return 0;
}
