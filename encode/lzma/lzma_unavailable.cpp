// The method-2 encoder of a qwpack built without liblzma: it refuses, and
// the packer says so before it starts (CanWriteLzma).
#include <stdexcept>

#include "encode/lzma/lzma_encoder.h"

struct LzmaStretchEncoder::State {};

LzmaStretchEncoder::LzmaStretchEncoder() = default;
LzmaStretchEncoder::~LzmaStretchEncoder() = default;

std::string LzmaStretchEncoder::BeginStretch(const std::vector<uint8_t>&, uint64_t) {
  return "this qwpack has no LZMA encoder";
}

std::string LzmaStretchEncoder::AddBlock(const uint8_t*, const uint8_t*, uint32_t, StoredBlock*) {
  return "this qwpack has no LZMA encoder";
}

std::vector<std::vector<StoredBlock>> LzmaCutEntries(const std::vector<std::vector<uint8_t>>&,
                                                     uint64_t, size_t) {
  throw std::runtime_error("this qwpack has no LZMA encoder");
}

bool CanWriteLzma() {
  return false;
}

std::string LzmaUnavailableText() {
  return "this qwpack cannot write --method lzma: it is built without an LZMA encoder (its "
         "build could not fetch or build liblzma). qwpack for Linux (the Debian package or a "
         "Linux build) writes it, and the launchers it makes run anywhere.";
}
