#include <lzma.h>

#include <cstring>
#include <stdexcept>

#include "package/lzma_codec.h"
#include "package/lzma_encoder.h"
#include "package/x86_filter.h"

namespace {

// LZMA2 chunk headers as liblzma writes them.
constexpr uint8_t kChunkUncompressedResetDictionary = 0x01;
constexpr uint8_t kChunkUncompressed = 0x02;
constexpr uint32_t kUncompressedHeaderSize = 3;  // control, size - 1 (16 bits)
constexpr uint32_t kLzmaHeaderSize = 5;          // control, unpacked and packed size - 1
// Room for the chunk of one block: an LZMA chunk is never longer than an
// uncompressed one, which liblzma falls back to.
constexpr size_t kChunkCapacity = kBlockSize + 64;

uint32_t LoadBe16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 8 | p[1];
}

// The block for the one LZMA2 chunk `chunk` that codes `length` bytes.
std::string ChunkToBlock(const uint8_t* chunk, size_t chunkLength, const uint8_t* original,
                         uint32_t length, StoredBlock* block) {
  if (chunkLength < kUncompressedHeaderSize) return "liblzma wrote no chunk for a block";
  uint8_t control = chunk[0];
  if (control == kChunkUncompressedResetDictionary || control == kChunkUncompressed) {
    if (LoadBe16(chunk + 1) + 1 != length || chunkLength != kUncompressedHeaderSize + length)
      return "liblzma wrote an uncompressed chunk that is not one block";
    // The stored block holds the bytes as they are; the decoder filters
    // them again on their way into the dictionary.
    block->coded = false;
    block->bytes.assign(original, original + length);
    return "";
  }
  if (!(control & kLzmaControlCoded)) return "liblzma wrote an unknown chunk";
  uint32_t reset = (control >> kLzmaResetShift) & 3;
  size_t headerSize = kLzmaHeaderSize + (reset >= kLzmaResetProperties ? 1 : 0);
  if (chunkLength < headerSize + 1) return "liblzma wrote a truncated chunk";
  uint32_t unpacked = ((control & 0x1Fu) << 16 | LoadBe16(chunk + 1)) + 1;
  uint32_t packed = LoadBe16(chunk + 3) + 1;
  // The range coder's leading byte is always zero and is not stored.
  if (unpacked != length || headerSize + packed != chunkLength || chunk[headerSize] != 0)
    return "liblzma wrote a chunk that is not one block";
  block->coded = true;
  block->bytes.clear();
  block->bytes.push_back(static_cast<uint8_t>(control & ~0x1Fu));
  if (reset >= kLzmaResetProperties) block->bytes.push_back(chunk[kLzmaHeaderSize]);
  block->bytes.insert(block->bytes.end(), chunk + headerSize + 1, chunk + chunkLength);
  if (block->bytes.size() > kBlockSize) return "a coded block came out over 4096 bytes";
  return "";
}

}  // namespace

struct LzmaEntryEncoder::State {
  lzma_stream stream = LZMA_STREAM_INIT;
  lzma_options_lzma options;
  uint32_t entryOffset = 0;
  bool filtered = false;
  uint8_t filtered_block[kBlockSize];
  uint8_t chunk[kChunkCapacity];
};

LzmaEntryEncoder::LzmaEntryEncoder() : state_(new State) {}

LzmaEntryEncoder::~LzmaEntryEncoder() {
  lzma_end(&state_->stream);
}

std::string LzmaEntryEncoder::BeginStream() {
  State& s = *state_;
  if (lzma_lzma_preset(&s.options, kLzmaPreset)) return "liblzma has no preset 6";
  s.options.dict_size = kLzmaDictionarySize;
  lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &s.options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_ret ret = lzma_raw_encoder(&s.stream, filters);
  if (ret != LZMA_OK) return "liblzma cannot start an encoder (error " + std::to_string(ret) + ")";
  BeginEntry();
  return "";
}

void LzmaEntryEncoder::BeginEntry() {
  state_->entryOffset = 0;
  state_->filtered = false;
}

std::string LzmaEntryEncoder::AddBlock(const uint8_t* data, uint32_t length, StoredBlock* block) {
  State& s = *state_;
  if (length == 0 || length > kBlockSize) return "a block of 1 to 4096 bytes was expected";
  if (s.entryOffset == 0) s.filtered = TakesX86Filter(data, length);
  const uint8_t* input = data;
  if (s.filtered) {
    memcpy(s.filtered_block, data, length);
    FilterX86Block(s.filtered_block, length, s.entryOffset);
    input = s.filtered_block;
  }
  s.stream.next_in = input;
  s.stream.avail_in = length;
  s.stream.next_out = s.chunk;
  s.stream.avail_out = sizeof s.chunk;
  lzma_ret ret;
  do {
    ret = lzma_code(&s.stream, LZMA_SYNC_FLUSH);
  } while (ret == LZMA_OK && s.stream.avail_out > 0);
  if (ret != LZMA_STREAM_END || s.stream.avail_in != 0)
    return "liblzma could not flush a block (error " + std::to_string(ret) + ")";
  s.entryOffset += length;
  return ChunkToBlock(s.chunk, sizeof s.chunk - s.stream.avail_out, data, length, block);
}

std::vector<std::vector<StoredBlock>> LzmaCutEntries(
    const std::vector<std::vector<uint8_t>>& files) {
  LzmaEntryEncoder encoder;
  std::vector<std::vector<StoredBlock>> entries;
  bool inStream = false;
  uint64_t streamBytes = 0;
  for (const std::vector<uint8_t>& file : files) {
    entries.emplace_back();
    if (file.empty()) continue;
    std::string problem;
    if (StartsLzmaStream(inStream, streamBytes)) {
      problem = encoder.BeginStream();
      inStream = true;
      streamBytes = 0;
    }
    encoder.BeginEntry();
    streamBytes += file.size();
    for (size_t start = 0; problem.empty() && start < file.size(); start += kBlockSize) {
      size_t left = file.size() - start;
      entries.back().emplace_back();
      problem = encoder.AddBlock(file.data() + start,
                                 static_cast<uint32_t>(left < kBlockSize ? left : kBlockSize),
                                 &entries.back().back());
    }
    if (!problem.empty()) throw std::runtime_error(problem);
  }
  return entries;
}
