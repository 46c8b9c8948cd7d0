// Builds packages and program files. The launcher never writes a package;
// the publisher's tool and the tests do, through this one writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/container.h"

class CBlockCodec;

struct StoredBlock {
  bool coded;                  // codedFlag 1, else 0
  std::vector<uint8_t> bytes;  // the stored bytes, at most 4096
};

// One block of at most 4096 bytes, coded with `codec` when that is shorter
// than the block itself, else kept plain. A null codec keeps it plain.
StoredBlock StoreBlock(const uint8_t* data, uint32_t length, CBlockCodec* codec);

// Cuts `data` into 4096-byte blocks, each stored by StoreBlock.
std::vector<StoredBlock> CutIntoBlocks(const uint8_t* data, size_t size, CBlockCodec* codec);

// Builds one entry header while the entry's blocks go by, for writers that
// stream blocks out before the header (whose checksum and dataEnd they
// decide) can be written. Names are ANSI bytes of at most 99; the caller
// checks them.
class EntryHeaderBuilder {
 public:
  // `headerOffset`: the package-relative offset the header will occupy.
  EntryHeaderBuilder(const std::string& subdirectory, const std::string& fileName,
                     uint32_t fileSize, uint32_t headerOffset);
  // The method the entry gets once a block is coded (1 unless set).
  void SetCodedMethod(uint16_t method) { codedMethod_ = method; }
  // Accounts for the next block and gives its four header bytes.
  void AddBlock(const StoredBlock& block, uint8_t rawBlockHeader[4]);
  // The header, valid once every block has been added.
  void Serialize(uint8_t raw[kEntryHeaderSize]) const;
  uint32_t DataEnd() const { return header_.dataEnd; }
  // Places the header at another package-relative offset, its blocks
  // following it there: for an entry moved on into the next volume.
  void MoveTo(uint32_t headerOffset);

 private:
  EntryHeader header_;
  uint32_t blockCount_ = 0;
  uint16_t codedMethod_ = 1;
};

class PackageBuilder {
 public:
  // An entry from its stored blocks; method `codedMethod` when any block is
  // coded. Names are ANSI bytes; `subdirectory` uses backslashes.
  void AddEntry(const std::string& subdirectory, const std::string& fileName, uint32_t fileSize,
                const std::vector<StoredBlock>& blocks, uint16_t codedMethod = 1);
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

// Writes the package locator into the first 136 bytes of a program file.
void WriteLocator(uint8_t* programStart, uint32_t packageOffset, uint32_t packageLength);

// Writes the package locator into `stub` (at least 136 bytes) and appends
// the package: the program file.
std::vector<uint8_t> MakeProgramFile(std::vector<uint8_t> stub,
                                     const std::vector<uint8_t>& package);
