#include "encode/pipeline/chunk_reader.h"

ChunkReader::~ChunkReader() {
  if (file_) fclose(file_);
}

std::unique_ptr<Chunk> ChunkReader::Next(std::string* problem) {
  const PackageEntry& entry = entries_[entry_];
  if (offset_ == 0) {
    file_ = files_.openForReading(entry.hostPath);
    if (!file_) {
      *problem = "cannot open " + entry.hostPath + ": " + files_.errorText();
      return nullptr;
    }
  }
  std::unique_ptr<Chunk> chunk(new Chunk);
  chunk->entry = entry_;
  chunk->firstOfEntry = offset_ == 0;
  uint64_t left = entry.size - offset_;
  chunk->input.resize(left < kChunkBytes ? left : kChunkBytes);
  if (!chunk->input.empty() &&
      fread(chunk->input.data(), 1, chunk->input.size(), file_) != chunk->input.size()) {
    *problem = entry.hostPath + " became shorter while being packed";
    return nullptr;
  }
  offset_ += chunk->input.size();
  chunk->lastOfEntry = offset_ == entry.size;
  if (chunk->lastOfEntry) {
    if (file_) {
      bool longer = fgetc(file_) != EOF;
      fclose(file_);
      file_ = nullptr;
      if (longer) {
        *problem = entry.hostPath + " became longer while being packed";
        return nullptr;
      }
    }
    entry_++;
    offset_ = 0;
  }
  return chunk;
}
