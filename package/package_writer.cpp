#include "package/package_writer.h"

#include <cstring>
#include <stdexcept>

#include "package/crc32.h"
#include "package/lz_codec.h"

namespace {

void AppendBytes(std::vector<uint8_t>* out, const uint8_t* bytes, size_t length) {
  size_t at = out->size();
  out->resize(at + length);
  if (length) memcpy(out->data() + at, bytes, length);
}

}  // namespace

std::vector<StoredBlock> CutIntoBlocks(const uint8_t* data, size_t size, CBlockCodec* codec) {
  std::vector<StoredBlock> blocks;
  uint8_t coded[kBlockSize];
  for (size_t start = 0; start < size; start += kBlockSize) {
    uint32_t length = static_cast<uint32_t>(size - start < kBlockSize ? size - start : kBlockSize);
    // The coded form must be strictly shorter, or the block stays plain.
    uint32_t codedLength = codec ? codec->Compress(data + start, length, coded, length - 1) : 0;
    if (codedLength > 0 && codedLength < length)
      blocks.push_back({true, std::vector<uint8_t>(coded, coded + codedLength)});
    else
      blocks.push_back({false, std::vector<uint8_t>(data + start, data + start + length)});
  }
  return blocks;
}

void PackageBuilder::AddEntry(const std::string& subdirectory, const std::string& fileName,
                              uint32_t fileSize, const std::vector<StoredBlock>& blocks) {
  if (subdirectory.size() >= kNameFieldSize || fileName.size() >= kNameFieldSize)
    throw std::invalid_argument("name over 99 bytes: " + subdirectory + "\\" + fileName);
  EntryHeader header = {};
  header.magic = kEntryMagic;
  memcpy(header.subdirectory, subdirectory.data(), subdirectory.size());
  memcpy(header.fileName, fileName.data(), fileName.size());
  header.fileSize = fileSize;
  header.dataStart = static_cast<uint32_t>(4 + body_.size() + kEntryHeaderSize);
  header.dataEnd = header.dataStart;

  std::vector<uint8_t> data;
  for (const StoredBlock& block : blocks) {
    uint8_t raw[4];
    SerializeBlockHeader(
        {static_cast<uint16_t>(block.bytes.size()), block.coded ? uint16_t{1} : uint16_t{0}}, raw);
    header.checksum +=
        BlockChecksum(raw, block.bytes.data(), static_cast<uint32_t>(block.bytes.size()));
    if (block.coded) header.method = 1;
    AppendBytes(&data, raw, 4);
    AppendBytes(&data, block.bytes.data(), block.bytes.size());
  }
  header.dataEnd += static_cast<uint32_t>(data.size());
  if (!blocks.empty())
    header.lastBlockSize = fileSize - kBlockSize * static_cast<uint32_t>(blocks.size() - 1);

  uint8_t raw[kEntryHeaderSize];
  SerializeEntryHeader(header, raw);
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

std::vector<uint8_t> MakeProgramFile(std::vector<uint8_t> stub,
                                     const std::vector<uint8_t>& package) {
  if (stub.size() < kMinProgramSize) stub.resize(kMinProgramSize, 0);
  StoreLe32(stub.data() + kLocatorOffset, static_cast<uint32_t>(stub.size()));
  StoreLe32(stub.data() + kLocatorOffset + 4, static_cast<uint32_t>(package.size()));
  AppendBytes(&stub, package.data(), package.size());
  return stub;
}
