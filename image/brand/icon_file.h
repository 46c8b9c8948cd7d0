// An icon file (.ico) as a program's icon group: each image becomes an icon
// resource, and the group lists them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct IconImage {
  uint8_t width = 0, height = 0, colours = 0;  // 0 means 256 for width and height
  uint16_t planes = 0, bitCount = 0;
  std::vector<uint8_t> data;  // a PNG file or a DIB (header, XOR and AND bitmaps)
};

constexpr uint64_t kMostIconFileBytes = 16u << 20;

// The images of an icon file, in the file's order. Returns an empty string,
// or why the file is no icon Windows can show: not an icon file, no images,
// an image that runs past the end of the file, or one that is neither a
// PNG nor a bitmap, a file or images of more than 16 MiB.
std::string ReadIconFile(const std::vector<uint8_t>& file, std::vector<IconImage>* images);

// The group icon resource for `images`, stored as icon resources with
// identifiers firstId, firstId + 1, ...
std::vector<uint8_t> IconGroupResource(const std::vector<IconImage>& images, uint16_t firstId);
