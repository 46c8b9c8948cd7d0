// A BMP file: BITMAPFILEHEADER (14 bytes: "BM", size, reserved, offset of
// the pixels), then an info header of 40 bytes or one of its longer
// versions (52, 56, 108, 124), maybe a colour table, then the pixel rows,
// each padded to 4 bytes, bottom-up for a positive height.
#include "image/brand/bitmap_file.h"

#include "common/bytes.h"

namespace {

constexpr uint32_t kFileHeader = 14;
constexpr uint32_t kInfoHeader = 40;
constexpr int32_t kMostFillHeight = 64;
constexpr uint32_t kUncompressed = 0;

bool KnownInfoHeader(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

}  // namespace

std::string ReadBitmapFile(const std::vector<uint8_t>& file, BitmapShape shape,
                           std::vector<uint8_t>* resource) {
  if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') return "not a BMP file";
  if (file.size() < kFileHeader + kInfoHeader) return "the BMP file is cut short in its header";
  const uint8_t* info = file.data() + kFileHeader;
  uint32_t infoSize = LoadLe32(info);
  if (!KnownInfoHeader(infoSize)) return "its bitmap header is of an unknown kind";
  int32_t width = static_cast<int32_t>(LoadLe32(info + 4));
  int32_t height = static_cast<int32_t>(LoadLe32(info + 8));
  uint16_t bitCount = LoadLe16(info + 14);
  if (LoadLe16(info + 12) != 1) return "its bitmap header names more than one plane";
  if (LoadLe32(info + 16) != kUncompressed)
    return "it is compressed or has colour masks; save it as an uncompressed 24-bit BMP";
  if (bitCount != 24 && bitCount != 32)
    return "it has " + std::to_string(bitCount) +
           " bits per pixel; the window draws 24- or 32-bit bitmaps";
  int64_t rows = height < 0 ? -int64_t{height} : height;
  bool sizeFits = width == shape.width &&
                  (shape.height ? rows == shape.height : rows >= 1 && rows <= kMostFillHeight);
  if (!sizeFits) {
    std::string wanted = std::to_string(shape.width) + " x " +
                         (shape.height ? std::to_string(shape.height) : "1 to 64");
    return "it is " + std::to_string(width) + " x " + std::to_string(rows) +
           " pixels; the window needs " + wanted;
  }
  uint64_t stride = (uint64_t{static_cast<uint32_t>(width)} * bitCount / 8 + 3) & ~uint64_t{3};
  uint64_t pixelBytes = stride * static_cast<uint64_t>(rows);
  uint64_t pixels = LoadLe32(file.data() + 10);
  if (pixels < kFileHeader + infoSize || pixels > file.size() || pixelBytes > file.size() - pixels)
    return "the BMP file is cut short in its pixels";

  resource->assign(file.begin() + kFileHeader, file.begin() + kFileHeader + kInfoHeader);
  StoreLe32(resource->data(), kInfoHeader);
  StoreLe32(resource->data() + 20, static_cast<uint32_t>(pixelBytes));
  StoreLe32(resource->data() + 32, 0);  // no colour table
  StoreLe32(resource->data() + 36, 0);
  resource->insert(resource->end(), file.begin() + static_cast<std::ptrdiff_t>(pixels),
                   file.begin() + static_cast<std::ptrdiff_t>(pixels + pixelBytes));
  return "";
}
