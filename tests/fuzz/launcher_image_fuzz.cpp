// Arbitrary bytes as a launcher file, through everything qwpack reads of it
// before the package: the stub checks of pack, the version resource list
// prints, and the locator and copy-out of list, verify and extract. No
// crash; and a stub the checks accept makes a launcher whose package the
// launcher finds and whose version resource reads as the stub's did.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decode/unpack.h"
#include "encode/package_writer.h"
#include "image/launcher_stub.h"
#include "image/version_resource.h"

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

struct Reading {
  std::string versionProblem;
  VersionResource version;
  uint32_t fileCount = 0;
};

Reading ReadAsTheToolsDo(std::vector<uint8_t>& bytes) {
  Reading reading;
  FILE* file = OpenBytes(bytes);
  reading.versionProblem = ReadVersionResource(file, &reading.version);
  reading.fileCount = CopyPackageBody(file, Sink(), nullptr);
  fclose(file);
  return reading;
}

bool SameVersion(const Reading& a, const Reading& b) {
  for (int i = 0; i < 4; i++)
    if (a.version.fileVersion[i] != b.version.fileVersion[i] ||
        a.version.productVersion[i] != b.version.productVersion[i])
      return false;
  return a.versionProblem == b.versionProblem && a.version.strings == b.version.strings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // nothing to read; fmemopen wants a buffer
  std::vector<uint8_t> stub(data, data + size);
  ReadAsTheToolsDo(stub);
  if (!CheckLauncherStub(stub).empty()) return 0;

  // pack would take this stub. The launcher it makes finds its package, and
  // list reads the same version resource with or without the package behind.
  PackageBuilder package;
  package.AddFile("", "QWSetup.exe", std::vector<uint8_t>(10, 'x'));
  std::vector<uint8_t> program = MakeProgramFile(stub, package.Build());
  std::vector<uint8_t> image(program.begin(), program.begin() + stub.size());
  Reading packed = ReadAsTheToolsDo(program);
  if (packed.fileCount != 1 || !SameVersion(packed, ReadAsTheToolsDo(image))) abort();
  return 0;
}
