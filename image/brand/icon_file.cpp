// An icon file: ICONDIR (reserved 0, type 1, count), `count` 16-byte
// entries (width, height, colours, reserved, planes, bit count, bytes,
// offset in the file), then the images. The group resource has the same
// header and 14-byte entries whose last field is the icon resource's
// identifier instead of an offset.
#include "image/brand/icon_file.h"

#include <cstring>

#include "common/bytes.h"

namespace {

constexpr size_t kMostImages = 64;
// The images may overlap in the file, so their total is capped apart from
// the file: 64 images the size of a large file would otherwise be copied
// into the launcher's resources. A full icon of PNGs takes well under 1 MiB.
constexpr uint64_t kMostImageBytes = kMostIconFileBytes;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool IsPng(const std::vector<uint8_t>& image) {
  return image.size() >= 8 && memcmp(image.data(), kPngSignature, 8) == 0;
}

// A BITMAPINFOHEADER whose height covers the colour and the mask bitmaps.
bool IsIconBitmap(const std::vector<uint8_t>& image) {
  return image.size() >= 40 && LoadLe32(image.data()) == 40 && LoadLe16(image.data() + 12) == 1;
}

}  // namespace

std::string ReadIconFile(const std::vector<uint8_t>& file, std::vector<IconImage>* images) {
  images->clear();
  if (file.size() < 6 || LoadLe16(file.data()) != 0 || LoadLe16(file.data() + 2) != 1)
    return "not an icon file";
  size_t count = LoadLe16(file.data() + 4);
  if (count == 0) return "the icon file holds no images";
  if (count > kMostImages) return "the icon file holds more than 64 images";
  if (file.size() < 6 + 16 * count) return "the icon file is cut short in its directory";
  if (file.size() > kMostIconFileBytes) return "the icon file is larger than 16 MiB";
  uint64_t imageBytes = 0;
  for (size_t i = 0; i < count; i++) {
    const uint8_t* entry = file.data() + 6 + 16 * i;
    uint64_t length = LoadLe32(entry + 8), offset = LoadLe32(entry + 12);
    std::string which = "image " + std::to_string(i + 1) + " of " + std::to_string(count);
    if (length == 0) return which + " is empty";
    if (offset > file.size() || length > file.size() - offset)
      return which + " runs past the end of the file: the icon file is cut short";
    imageBytes += length;
    if (imageBytes > kMostImageBytes) return "the icon file's images add up to more than 16 MiB";
    IconImage image;
    image.width = entry[0];
    image.height = entry[1];
    image.colours = entry[2];
    image.planes = LoadLe16(entry + 4);
    image.bitCount = LoadLe16(entry + 6);
    image.data.assign(file.begin() + static_cast<std::ptrdiff_t>(offset),
                      file.begin() + static_cast<std::ptrdiff_t>(offset + length));
    if (!IsPng(image.data) && !IsIconBitmap(image.data))
      return which + " is neither a PNG nor a bitmap";
    images->push_back(std::move(image));
  }
  return "";
}

std::vector<uint8_t> IconGroupResource(const std::vector<IconImage>& images, uint16_t firstId) {
  std::vector<uint8_t> group(6 + 14 * images.size(), 0);
  StoreLe16(&group[2], 1);
  StoreLe16(&group[4], static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); i++) {
    uint8_t* entry = &group[6 + 14 * i];
    entry[0] = images[i].width;
    entry[1] = images[i].height;
    entry[2] = images[i].colours;
    StoreLe16(entry + 4, images[i].planes);
    StoreLe16(entry + 6, images[i].bitCount);
    StoreLe32(entry + 8, static_cast<uint32_t>(images[i].data.size()));
    StoreLe16(entry + 12, static_cast<uint16_t>(firstId + i));
  }
  return group;
}
