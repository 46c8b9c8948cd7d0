// A BMP file as a bitmap resource the launcher's window can draw.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BitmapShape {
  int32_t width, height;
};

// The resource (a 40-byte BITMAPINFOHEADER and the pixel rows) for a BMP
// file that is uncompressed, 24 or 32 bits per pixel, and `shape`.width ×
// `shape`.height pixels (`shape`.height 0: any height from 1 to 64). Returns
// an empty string, or why the file cannot serve: not a BMP file, cut short,
// compressed, another depth or another size.
std::string ReadBitmapFile(const std::vector<uint8_t>& file, BitmapShape shape,
                           std::vector<uint8_t>* resource);
