// The method-2 encoder over liblzma: raw LZMA2 flushed at every block's end,
// each LZMA2 chunk turned into one block (lzma_codec.h): an LZMA chunk into
// a coded block, an uncompressed chunk into a stored one. A stretch of the
// package may be coded by an encoder of its own, started on the dictionary
// the stretch begins with, so stretches code in parallel. Publisher's side
// only; the launcher links the decoder alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encode/lzma/lzma_input.h"
#include "encode/package_writer.h"

// liblzma's preset the encoder starts from; its dictionary is replaced by
// kLzmaDictionarySize, which the decoder is built for.
constexpr uint32_t kLzmaPreset = 6;
// The match length at which the encoder stops looking for longer ones;
// preset 6 has 64. On Windows DLLs 48 came out smaller than 32, 40, 56 and
// 64, and faster than 64. A flush at every block favours a shorter one:
// liblzma's match finder finds nothing in the last nice-length bytes
// before a flush.
constexpr uint32_t kLzmaNiceLength = 48;

class LzmaStretchEncoder {
 public:
  LzmaStretchEncoder();
  ~LzmaStretchEncoder();
  LzmaStretchEncoder(const LzmaStretchEncoder&) = delete;
  LzmaStretchEncoder& operator=(const LzmaStretchEncoder&) = delete;

  // Starts a stretch at `position` in the package's method-2 bytes, on a
  // dictionary holding `history` (LzmaHistory's Last and Total; empty at
  // the package's start). Returns an empty string or what liblzma refused.
  std::string BeginStretch(const std::vector<uint8_t>& history, uint64_t position);
  // Codes the next block (1 to 4096 bytes; 4096 for all but an entry's
  // last), given as it is and as LzmaInputFilter made it. Every block is
  // decoded again as the launcher will, which also tells how many of the
  // flush's trailing bytes can be left out. Returns an empty string or what
  // went wrong.
  std::string AddBlock(const uint8_t* data, const uint8_t* filtered, uint32_t length,
                       StoredBlock* block);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Whether this build of qwpack can write method 2: it links liblzma
// (lzma_encode.cpp) always on Linux, on Windows where liblzma's source was
// fetched; elsewhere the encoder is lzma_unavailable.cpp's, which refuses.
bool CanWriteLzma();
// Why it cannot, and which qwpack can.
std::string LzmaUnavailableText();

// The blocks of a package's method-2 entries in package order, a new
// encoder started every `stretchBytes` (at a block's start) on the last
// `primeBytes`, for the tests and small writers. Throws std::runtime_error
// where AddBlock reports a problem.
std::vector<std::vector<StoredBlock>> LzmaCutEntries(const std::vector<std::vector<uint8_t>>& files,
                                                     uint64_t stretchBytes = UINT64_MAX,
                                                     size_t primeBytes = kLzmaPrimeBytes);
