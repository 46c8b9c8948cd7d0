// The method-2 encoder over liblzma: raw LZMA2 flushed at every block's end,
// each LZMA2 chunk turned into one block (lzma_codec.h): an LZMA chunk into
// a coded block, an uncompressed chunk into a stored one. Publisher's side
// only; the launcher links the decoder alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "package/package_writer.h"

// liblzma's preset the encoder starts from; its dictionary is replaced by
// kLzmaDictionarySize, which the decoder is built for.
constexpr uint32_t kLzmaPreset = 6;

class LzmaEntryEncoder {
 public:
  LzmaEntryEncoder();
  ~LzmaEntryEncoder();
  LzmaEntryEncoder(const LzmaEntryEncoder&) = delete;
  LzmaEntryEncoder& operator=(const LzmaEntryEncoder&) = delete;

  // Starts a stream: an empty dictionary. Returns an empty string or what
  // liblzma refused.
  std::string BeginStream();
  // Starts the stream's next entry, which follows the previous one in the
  // dictionary.
  void BeginEntry();
  // Codes the entry's next block (1 to 4096 bytes; 4096 for all but the
  // last). Returns an empty string or what went wrong.
  std::string AddBlock(const uint8_t* data, uint32_t length, StoredBlock* block);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The blocks of a package's method-2 entries in package order, streams cut
// where the decoder starts them, for the tests and small writers. Throws
// std::runtime_error where AddBlock reports a problem.
std::vector<std::vector<StoredBlock>> LzmaCutEntries(
    const std::vector<std::vector<uint8_t>>& files);
