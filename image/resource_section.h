// A launcher image's resource section, read as a tree and rebuilt from one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/resource_tree.h"

// Reads the resources of the PE image `image`. Returns an empty string, or
// why they cannot be read. Safe on any bytes.
std::string ReadImageResources(const std::vector<uint8_t>& image, ResourceTree* tree);

// Replaces the resources of `image` by `tree`. The resource section must be
// the image's last section, in memory and in the file, begin with the
// resource directory and end the file; it is then rewritten in place and
// grown or shrunk: its sizes, SizeOfImage, SizeOfInitializedData, the
// resource data directory and the checksum are set to match. Returns an
// empty string, or why the image cannot be rewritten (it is then unchanged).
std::string ReplaceImageResources(std::vector<uint8_t>* image, const ResourceTree& tree);

// The offset of the optional header's CheckSum field, or 0 when `image` is
// not a PE image.
uint64_t PeChecksumOffset(const std::vector<uint8_t>& image);

// The PE checksum, summed over a file given in pieces: 16-bit little-endian
// words with end-around carry, the CheckSum field itself read as zero, plus
// the file's length.
class PeChecksum {
 public:
  explicit PeChecksum(uint64_t checksumOffset) : fieldAt_(checksumOffset) {}
  void Add(const uint8_t* bytes, size_t length);
  uint32_t Finish() const;

 private:
  uint64_t fieldAt_;
  uint64_t position_ = 0;
  uint64_t sum_ = 0;
};
