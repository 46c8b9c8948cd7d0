#include <lzma.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "common/bytes.h"
#include "decode/lzma_decode.h"
#include "decode/x86_filter.h"
#include "encode/lzma/lzma_encoder.h"

namespace {

// LZMA2 chunk headers as liblzma writes them.
constexpr uint8_t kChunkUncompressedResetDictionary = 0x01;
constexpr uint8_t kChunkUncompressed = 0x02;
constexpr uint32_t kUncompressedHeaderSize = 3;  // control, size - 1 (16 bits)
constexpr uint32_t kLzmaHeaderSize = 5;          // control, unpacked and packed size - 1
// Room for the chunk of one block: an LZMA chunk is never longer than an
// uncompressed one, which liblzma falls back to.
constexpr size_t kChunkCapacity = kBlockSize + 64;

// The block for the one LZMA2 chunk `chunk` that codes `length` bytes.
std::string ChunkToBlock(const uint8_t* chunk, size_t chunkLength, const uint8_t* original,
                         uint32_t length, StoredBlock* block) {
  if (chunkLength < kUncompressedHeaderSize) return "liblzma wrote no chunk for a block";
  uint8_t control = chunk[0];
  if (control == kChunkUncompressedResetDictionary || control == kChunkUncompressed) {
    if (LoadBe16(chunk + 1) + 1u != length || chunkLength != kUncompressedHeaderSize + length)
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

// liblzma's flush writes the coder's whole low end; any value in the final
// interval decodes the same. The interval is at least 2^24 wide, so one
// ending in three or four zero bytes lies in it unless it reaches past what
// the last 4 bytes can hold: those bytes are left out, the decoder reads
// zeros there. `range` and `code` are the decoder's at the
// block's end, with the flush's last 4 bytes the ones it read last.
void TrimFlush(std::vector<uint8_t>* bytes, uint32_t range, uint32_t code) {
  uint8_t* last = bytes->data() + bytes->size() - 4;
  uint64_t low = LoadBe32(last) >= code ? LoadBe32(last) - code : 0;
  uint64_t high = static_cast<uint64_t>(LoadBe32(last)) - code + range;  // exclusive
  if (high > (1ull << 32)) high = 1ull << 32;
  for (int zeroBytes = 4; zeroBytes > 0; zeroBytes--) {
    uint64_t step = 1ull << (8 * zeroBytes);
    uint64_t value = (low + step - 1) / step * step;
    if (value < high) {
      StoreBe32(last, static_cast<uint32_t>(value));
      return;
    }
  }
}

// Leaves out a coded block's trailing zeros, which the decoder reads past
// its end, but never its header (`headerSize` bytes).
void DropTrailingZeros(std::vector<uint8_t>* bytes, size_t headerSize) {
  while (bytes->size() > headerSize && bytes->back() == 0) bytes->pop_back();
}

// A decoder that has decoded the stream up to `position`, its dictionary
// holding `history` just before it.
void PrimeDecoder(LzmaDecoder* decoder, const std::vector<uint8_t>& history, uint64_t position) {
  LzmaBeginPackage(decoder);
  uint32_t start = static_cast<uint32_t>(position - history.size());
  for (size_t i = 0; i < history.size(); i++)
    decoder->dictionary[(start + i) % kLzmaDictionarySize] = history[i];
  decoder->position = static_cast<uint32_t>(position);
  decoder->dictionaryFill = static_cast<uint32_t>(history.size());
}

// The decoder's state but for its dictionary: what decoding a block again
// from the same start needs back, with the part of the ring the block
// overwrote (RingSpan).
constexpr size_t kDecoderStateBytes = offsetof(LzmaDecoder, dictionary);

// Where a block decoded from the decoder's position writes in the circular
// dictionary: [start, start + length), wrapping at its end. Once the ring
// is full, those bytes are the oldest a match may still reach, so a second
// decode from the same start must find them as the first one did.
struct RingSpan {
  uint32_t start, first, rest;  // rest: the part past the ring's end
};

RingSpan BlockRingSpan(const LzmaDecoder& decoder, uint32_t length) {
  uint32_t start = decoder.position & (kLzmaDictionarySize - 1);
  uint32_t first = kLzmaDictionarySize - start < length ? kLzmaDictionarySize - start : length;
  return {start, first, length - first};
}

void SaveRing(const LzmaDecoder& decoder, const RingSpan& span, uint8_t* saved) {
  memcpy(saved, decoder.dictionary + span.start, span.first);
  memcpy(saved + span.first, decoder.dictionary, span.rest);
}

void RestoreRing(LzmaDecoder* decoder, const RingSpan& span, const uint8_t* saved) {
  memcpy(decoder->dictionary + span.start, saved, span.first);
  memcpy(decoder->dictionary, saved + span.first, span.rest);
}

}  // namespace

struct LzmaStretchEncoder::State {
  lzma_stream stream = LZMA_STREAM_INIT;
  lzma_options_lzma options;
  // The launcher's decoder, run beside the encoder on what it writes.
  std::unique_ptr<LzmaDecoder, void (*)(LzmaDecoder*)> decoder{nullptr, nullptr};
  uint8_t decoderBefore[kDecoderStateBytes];  // before the block being coded
  uint8_t ringBefore[kBlockSize];             // the ring bytes the block overwrites
  uint8_t chunk[kChunkCapacity];
  uint8_t decoded[kBlockSize];
};

LzmaStretchEncoder::LzmaStretchEncoder() : state_(new State) {}

LzmaStretchEncoder::~LzmaStretchEncoder() {
  lzma_end(&state_->stream);
}

std::string LzmaStretchEncoder::BeginStretch(const std::vector<uint8_t>& history,
                                             uint64_t position) {
  State& s = *state_;
  if (history.size() > kLzmaDictionarySize) return "a history longer than the dictionary";
  if (lzma_lzma_preset(&s.options, kLzmaPreset)) return "liblzma has no preset 6";
  s.options.dict_size = kLzmaDictionarySize;
  // Machine code gains nothing from positions modulo 4; one context set
  // learns faster.
  s.options.pb = 0;
  s.options.nice_len = kLzmaNiceLength;
  // On a preset dictionary liblzma's first chunk resets the state and sets
  // the properties but keeps the dictionary: what the decoder goes on with.
  s.options.preset_dict = history.empty() ? nullptr : history.data();
  s.options.preset_dict_size = static_cast<uint32_t>(history.size());
  lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &s.options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_end(&s.stream);
  s.stream = LZMA_STREAM_INIT;
  lzma_ret ret = lzma_raw_encoder(&s.stream, filters);
  s.options.preset_dict = nullptr;
  if (ret != LZMA_OK) return "liblzma cannot start an encoder (error " + std::to_string(ret) + ")";
  if (!s.decoder) {
    s.decoder = {static_cast<LzmaDecoder*>(malloc(sizeof(LzmaDecoder))),
                 [](LzmaDecoder* d) { free(d); }};
    if (!s.decoder) return "no memory for the decoder";
  }
  PrimeDecoder(s.decoder.get(), history, position);
  return "";
}

std::string LzmaStretchEncoder::AddBlock(const uint8_t* data, const uint8_t* filtered,
                                         uint32_t length, StoredBlock* block) {
  State& s = *state_;
  if (length == 0 || length > kBlockSize) return "a block of 1 to 4096 bytes was expected";
  s.stream.next_in = filtered;
  s.stream.avail_in = length;
  s.stream.next_out = s.chunk;
  s.stream.avail_out = sizeof s.chunk;
  lzma_ret ret;
  do {
    ret = lzma_code(&s.stream, LZMA_SYNC_FLUSH);
  } while (ret == LZMA_OK && s.stream.avail_out > 0);
  if (ret != LZMA_STREAM_END || s.stream.avail_in != 0)
    return "liblzma could not flush a block (error " + std::to_string(ret) + ")";
  std::string problem =
      ChunkToBlock(s.chunk, sizeof s.chunk - s.stream.avail_out, data, length, block);
  if (!problem.empty()) return problem;
  // The launcher's decoder restores the filter by entry offsets it counts
  // from each entry's start, which a stretch may not see: this one is kept
  // in the middle of an unfiltered entry and given filtered bytes, which
  // enter its dictionary as the launcher's would.
  LzmaDecoder* decoder = s.decoder.get();
  decoder->entryOffset = kBlockSize;
  decoder->codeRanges.count = 0;
  size_t flushEnd = block->bytes.size();
  size_t headerSize = 0;
  if (block->coded) {
    headerSize = (block->bytes[0] >> kLzmaResetShift & 3) >= kLzmaResetProperties ? 2 : 1;
    if (flushEnd < headerSize + 4) return "liblzma wrote a block shorter than its flush";
    DropTrailingZeros(&block->bytes, headerSize);
  }
  const uint8_t* stored = block->coded ? block->bytes.data() : filtered;
  memcpy(s.decoderBefore, decoder, kDecoderStateBytes);
  RingSpan span = BlockRingSpan(*decoder, length);
  SaveRing(*decoder, span, s.ringBefore);
  if (!LzmaDecodeBlock(decoder, s.decoded, length, stored,
                       static_cast<uint32_t>(block->bytes.size()), block->coded) ||
      memcmp(s.decoded, filtered, length) != 0)
    return "the launcher's decoder does not read back what liblzma wrote";
  if (block->coded) {
    // liblzma's flush writes exactly the coder's low end, which the decoder
    // reads to its last byte: its code ends at zero, and the last 4 bytes
    // are the ones it read last.
    if (decoder->endCode != 0) return "liblzma's flush did not end where the decoder did";
    block->bytes.resize(flushEnd);
    TrimFlush(&block->bytes, decoder->endRange, decoder->endCode);
    DropTrailingZeros(&block->bytes, headerSize);
    // The trimmed block is the one written: decoded once more from the
    // same start, it must give the same bytes, and the decoder goes on from
    // where the launcher's will.
    memcpy(decoder, s.decoderBefore, kDecoderStateBytes);
    RestoreRing(decoder, span, s.ringBefore);
    if (!LzmaDecodeBlock(decoder, s.decoded, length, block->bytes.data(),
                         static_cast<uint32_t>(block->bytes.size()), true) ||
        memcmp(s.decoded, filtered, length) != 0)
      return "the launcher's decoder does not read back the block with its flush trimmed";
  }
  return "";
}

std::vector<std::vector<StoredBlock>> LzmaCutEntries(const std::vector<std::vector<uint8_t>>& files,
                                                     uint64_t stretchBytes, size_t primeBytes) {
  LzmaStretchEncoder encoder;
  LzmaInputFilter filter;
  LzmaHistory history(primeBytes);
  std::vector<std::vector<StoredBlock>> entries;
  uint64_t stretchDone = 0;
  bool started = false;
  for (const std::vector<uint8_t>& file : files) {
    entries.emplace_back();
    filter.BeginEntry();
    std::vector<uint8_t> filtered(file.size());
    if (!file.empty()) filter.Filter(file.data(), file.size(), filtered.data());
    for (size_t start = 0; start < file.size(); start += kBlockSize) {
      uint32_t length = static_cast<uint32_t>(std::min<size_t>(file.size() - start, kBlockSize));
      std::string problem;
      if (!started || stretchDone >= stretchBytes) {
        problem = encoder.BeginStretch(history.Last(), history.Total());
        started = true;
        stretchDone = 0;
      }
      entries.back().emplace_back();
      if (problem.empty())
        problem = encoder.AddBlock(file.data() + start, filtered.data() + start, length,
                                   &entries.back().back());
      if (!problem.empty()) throw std::runtime_error(problem);
      history.Add(filtered.data() + start, length);
      stretchDone += length;
    }
  }
  return entries;
}

bool CanWriteLzma() {
  return true;
}

std::string LzmaUnavailableText() {
  return "";
}
