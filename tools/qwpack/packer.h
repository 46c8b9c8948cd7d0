// qwpack pack without its command line: a folder into a launcher.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/container.h"
#include "encode/pipeline/package_stream.h"
#include "image/brand/brand.h"

constexpr unsigned kDefaultPackCodePage = 936;

struct PackOptions {
  std::string folder;
  std::string output;         // the launcher to write
  std::vector<uint8_t> stub;  // the program the package is appended to
  Brand brand;                // written into the stub's resources first, when not empty
  unsigned codePage = kDefaultPackCodePage;
  unsigned threads = 1;
  bool store = false;   // keep every block plain
  uint16_t method = 1;  // of coded blocks: 1 (LZ) or 2 (LZMA, where CanWriteLzma())
  uint64_t lzmaStretchBytes = kLzmaStretchBytes;  // method 2's unit of parallel work
  bool strict = false;  // refuse, rather than warn of, paths too long for a typical workspace
  // Non-zero: a volume set, NAME-1.qwv, NAME-2.qwv, ... beside the program
  // file, each at most this long (and below 2 GiB). Zero: one program file,
  // or a set of the longest volumes when the package would pass it.
  uint64_t volumeSize = 0;
  uint64_t programLimit = kMaxProgramSize;  // the program file's longest; less only in tests
  // A file packed as QWSetup.exe at the package's top; the folder then must
  // not hold one there.
  std::string setupProgram;
  // When set, a depfile naming the output and every file and folder the
  // launcher was made from, so that a build tool remakes it when a file
  // changes, appears or goes; written before the launcher is put in place.
  std::string depfile;
  std::vector<std::string> depfileInputs;  // files read outside the folder: the stub's, ...
  std::function<void(uint64_t inputDone, uint64_t inputTotal)> progress;  // optional
};

struct PackReport {
  size_t files = 0;
  uint64_t inputBytes = 0;
  uint64_t packageBytes = 0;
  uint64_t launcherBytes = 0;
  uint64_t blocks = 0;
  uint64_t codedBlocks = 0;
  std::vector<std::string> warnings;  // what the launcher will do that the user may not expect
  std::vector<std::string> notes;     // what qwpack did of its own accord
  std::vector<std::string> volumes;   // of a set, in order
  std::vector<uint64_t> volumeLengths;
};

// Checks everything first (stub, names, sizes), then writes the launcher
// (the stub with the package locator filled in, the package behind it) to a
// temporary file beside `output` and renames it into place. Entries go in
// bytewise order of their package paths (subdirectory, backslash, name), so
// the launcher is the same on any machine and at any thread count. Returns
// an empty string, or the reasons for refusing or failing, one per line;
// nothing is then left at or beside `output`. A set's volumes are renamed
// into place before the program file; volumes of an earlier set beyond the
// new one's last are removed (with a note), so that the volumes beside a
// program file are exactly its own.
std::string PackFolder(const PackOptions& options, PackReport* report);
