#include "encode/pipeline/entry_writer.h"

#include "common/volume_set.h"

std::string EntryWriter::Write(const Chunk& chunk, uint16_t method, PackageTotals* totals) {
  if (!chunk.problem.empty()) return entries_[chunk.entry].hostPath + ": " + chunk.problem;
  const PackageEntry& entry = entries_[chunk.entry];
  if (chunk.firstOfEntry) {
    headerAt_ = end_;
    header_.reset(new EntryHeaderBuilder(entry.subdirectory, entry.fileName,
                                         static_cast<uint32_t>(entry.size),
                                         static_cast<uint32_t>(end_ - packageOffset_)));
    header_->SetCodedMethod(method);
    end_ += kEntryHeaderSize;
  }
  std::vector<uint8_t> bytes;
  for (const StoredBlock& block : chunk.blocks) {
    uint8_t raw[4];
    header_->AddBlock(block, raw);
    bytes.insert(bytes.end(), raw, raw + 4);
    bytes.insert(bytes.end(), block.bytes.begin(), block.bytes.end());
    totals->codedBlocks += block.coded ? 1 : 0;
  }
  totals->blocks += chunk.blocks.size();
  totals->inputBytes += chunk.input.size();
  if (!files_.writeAt(bytes.data(), bytes.size(), end_)) return WriteProblem();
  end_ += bytes.size();
  if (volumeLimit_) {
    std::string problem = KeepEntryInOnePart(entry);
    if (!problem.empty()) return problem;
  }
  if (chunk.lastOfEntry) {
    uint8_t raw[kEntryHeaderSize];
    header_->Serialize(raw);
    if (!files_.writeAt(raw, kEntryHeaderSize, headerAt_)) return WriteProblem();
  }
  return "";
}

std::string EntryWriter::KeepEntryInOnePart(const PackageEntry& entry) {
  if (end_ - packageOffset_ <= partLimit_) return "";
  uint64_t entryLength = end_ - headerAt_;
  bool firstInPart = headerAt_ == packageOffset_ + 4;
  if (firstInPart || kVolumeHeaderSize + entryLength > volumeLimit_) {
    uint64_t limit = firstInPart ? partLimit_ : volumeLimit_;
    return entry.hostPath + ": packed, it passes the " + std::to_string(limit) +
           " bytes a volume may hold, and a file never spans volumes";
  }
  std::string problem =
      files_.nextVolume(headerAt_ - packageOffset_, headerAt_, entryLength, kVolumeHeaderSize);
  if (!problem.empty()) return problem;
  volumesStarted_++;
  packageOffset_ = 0;
  partLimit_ = volumeLimit_;
  headerAt_ = kVolumeHeaderSize;
  end_ = headerAt_ + entryLength;
  header_->MoveTo(kVolumeHeaderSize);
  return "";
}

std::string EntryWriter::WriteFileCount(uint32_t fileCount) {
  uint8_t raw[4];
  StoreLe32(raw, fileCount);
  return files_.writeAt(raw, 4, packageOffset_) ? "" : WriteProblem();
}

std::string EntryWriter::WriteProblem() const {
  return "cannot write the launcher: " + files_.errorText();
}
