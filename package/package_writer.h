// Builds packages and program files. The launcher never writes a package;
// the publisher's tool and the tests do, through this one writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/format.h"

class CBlockCodec;

struct StoredBlock {
  bool coded;                  // codedFlag 1, else 0
  std::vector<uint8_t> bytes;  // the stored bytes, at most 4096
};

// Cuts `data` into 4096-byte blocks; each is coded with `codec` when that is
// shorter than the block itself, else kept plain. A null codec keeps all plain.
std::vector<StoredBlock> CutIntoBlocks(const uint8_t* data, size_t size, CBlockCodec* codec);

class PackageBuilder {
 public:
  // An entry from its stored blocks; method 1 when any block is coded.
  // Names are ANSI bytes; `subdirectory` uses backslashes.
  void AddEntry(const std::string& subdirectory, const std::string& fileName, uint32_t fileSize,
                const std::vector<StoredBlock>& blocks);
  void AddFile(const std::string& subdirectory, const std::string& fileName,
               const std::vector<uint8_t>& data, CBlockCodec* codec = nullptr);

  // The package: fileCount (the number of entries unless overridden) and the
  // entries. Offsets in it are package-relative.
  std::vector<uint8_t> Build() const;
  std::vector<uint8_t> Build(uint32_t fileCount) const;
  size_t EntryCount() const { return entryCount_; }

 private:
  std::vector<uint8_t> body_;  // entries back to back
  size_t entryCount_ = 0;
};

// Writes the package locator into `stub` (at least 136 bytes) and appends
// the package: the program file.
std::vector<uint8_t> MakeProgramFile(std::vector<uint8_t> stub,
                                     const std::vector<uint8_t>& package);
