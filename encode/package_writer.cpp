#include "encode/package_writer.h"

#include <cstring>
#include <stdexcept>

#include "common/crc32.h"
#include "decode/lzma_decode.h"
#include "encode/lz/lz_codec.h"

namespace {

void AppendBytes(std::vector<uint8_t>* out, const uint8_t* bytes, size_t length) {
  size_t at = out->size();
  out->resize(at + length);
  if (length) memcpy(out->data() + at, bytes, length);
}

}  // namespace

StoredBlock StoreBlock(const uint8_t* data, uint32_t length, CBlockCodec* codec) {
  uint8_t coded[kBlockSize];
  // The coded form must be strictly shorter, or the block stays plain.
  uint32_t codedLength = codec && length > 1 ? codec->Compress(data, length, coded, length - 1) : 0;
  if (codedLength > 0 && codedLength < length)
    return {true, std::vector<uint8_t>(coded, coded + codedLength)};
  return {false, std::vector<uint8_t>(data, data + length)};
}

std::vector<StoredBlock> CutIntoBlocks(const uint8_t* data, size_t size, CBlockCodec* codec) {
  std::vector<StoredBlock> blocks;
  ForEachBlock(size, [&](uint64_t start, uint32_t length) {
    blocks.push_back(StoreBlock(data + start, length, codec));
  });
  return blocks;
}

EntryHeaderBuilder::EntryHeaderBuilder(const std::string& subdirectory, const std::string& fileName,
                                       uint32_t fileSize, uint32_t headerOffset)
    : header_() {
  header_.magic = kEntryMagic;
  memcpy(header_.subdirectory, subdirectory.data(), subdirectory.size());
  memcpy(header_.fileName, fileName.data(), fileName.size());
  header_.fileSize = fileSize;
  header_.dataStart = headerOffset + kEntryHeaderSize;
  header_.dataEnd = header_.dataStart;
}

void EntryHeaderBuilder::AddBlock(const StoredBlock& block, uint8_t rawBlockHeader[4]) {
  uint32_t storedLength = static_cast<uint32_t>(block.bytes.size());
  SerializeBlockHeader(
      {static_cast<uint16_t>(storedLength), block.coded ? uint16_t{1} : uint16_t{0}},
      rawBlockHeader);
  header_.checksum += BlockChecksum(rawBlockHeader, block.bytes.data(), storedLength);
  // A method-2 entry keeps its method with stored blocks alone: they still
  // enter the decoder's dictionary.
  if (block.coded || codedMethod_ == kMethodLzma) header_.method = codedMethod_;
  header_.dataEnd += 4 + storedLength;
  blockCount_++;
  header_.lastBlockSize = header_.fileSize - kBlockSize * (blockCount_ - 1);
}

void EntryHeaderBuilder::MoveTo(uint32_t headerOffset) {
  uint32_t stored = header_.dataEnd - header_.dataStart;
  header_.dataStart = headerOffset + kEntryHeaderSize;
  header_.dataEnd = header_.dataStart + stored;
}

void EntryHeaderBuilder::Serialize(uint8_t raw[kEntryHeaderSize]) const {
  SerializeEntryHeader(header_, raw);
}

void PackageBuilder::AddEntry(const std::string& subdirectory, const std::string& fileName,
                              uint32_t fileSize, const std::vector<StoredBlock>& blocks,
                              uint16_t codedMethod) {
  if (subdirectory.size() >= kNameFieldSize || fileName.size() >= kNameFieldSize)
    throw std::invalid_argument("name over 99 bytes: " + subdirectory + "\\" + fileName);
  EntryHeaderBuilder header(subdirectory, fileName, fileSize,
                            static_cast<uint32_t>(4 + body_.size()));
  header.SetCodedMethod(codedMethod);
  std::vector<uint8_t> data;
  for (const StoredBlock& block : blocks) {
    uint8_t raw[4];
    header.AddBlock(block, raw);
    AppendBytes(&data, raw, 4);
    AppendBytes(&data, block.bytes.data(), block.bytes.size());
  }
  uint8_t raw[kEntryHeaderSize];
  header.Serialize(raw);
  AppendBytes(&body_, raw, kEntryHeaderSize);
  AppendBytes(&body_, data.data(), data.size());
  entryCount_++;
}

void PackageBuilder::AddFile(const std::string& subdirectory, const std::string& fileName,
                             const std::vector<uint8_t>& data, CBlockCodec* codec) {
  AddEntry(subdirectory, fileName, static_cast<uint32_t>(data.size()),
           CutIntoBlocks(data.data(), data.size(), codec));
}

std::vector<uint8_t> PackageBuilder::Build() const {
  return Build(static_cast<uint32_t>(entryCount_));
}

std::vector<uint8_t> PackageBuilder::Build(uint32_t fileCount) const {
  std::vector<uint8_t> package(4);
  StoreLe32(package.data(), fileCount);
  AppendBytes(&package, body_.data(), body_.size());
  return package;
}

void WriteLocator(uint8_t* programStart, uint32_t packageOffset, uint32_t packageLength) {
  StoreLe32(programStart + kLocatorOffset, packageOffset);
  StoreLe32(programStart + kLocatorOffset + 4, packageLength);
}

std::vector<uint8_t> MakeProgramFile(std::vector<uint8_t> stub,
                                     const std::vector<uint8_t>& package) {
  if (stub.size() < kLocatorEnd) stub.resize(kLocatorEnd, 0);
  WriteLocator(stub.data(), static_cast<uint32_t>(stub.size()),
               static_cast<uint32_t>(package.size()));
  AppendBytes(&stub, package.data(), package.size());
  return stub;
}
