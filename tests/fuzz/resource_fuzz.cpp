// Arbitrary program files through the resource readers and writers: no
// crash; a tree that reads and rewrites reads back the same; a brand that
// fails leaves the file as it was; the pictures' readers take any bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/brand/bitmap_file.h"
#include "image/brand/brand.h"
#include "image/brand/icon_file.h"
#include "image/resource_section.h"

namespace {

void SortTree(ResourceTree* tree) {
  std::stable_sort(tree->begin(), tree->end(), [](const Resource& a, const Resource& b) {
    if (!(a.type == b.type)) return a.type < b.type;
    if (!(a.name == b.name)) return a.name < b.name;
    return a.language < b.language;
  });
}

void CheckRoundTrip(const std::vector<uint8_t>& image) {
  ResourceTree tree;
  if (!ReadImageResources(image, &tree).empty()) return;
  std::vector<uint8_t> rebuilt = image;
  if (!ReplaceImageResources(&rebuilt, tree).empty()) return;
  ResourceTree again;
  if (!ReadImageResources(rebuilt, &again).empty() || again.size() != tree.size()) abort();
  SortTree(&tree);
  for (size_t i = 0; i < tree.size(); i++)
    if (!(tree[i].type == again[i].type) || !(tree[i].name == again[i].name) ||
        tree[i].language != again[i].language || tree[i].data != again[i].data)
      abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> image(data, data + size);
  CheckRoundTrip(image);
  BrandSummary summary;
  ReadBrandSummary(image, &summary);
  Brand brand;
  brand.name = "Fuzz";
  brand.executionLevel = "asInvoker";
  brand.versionInfo = {{"Comments", "fuzz"}, {"FileVersion", "1.2"}};
  std::vector<uint8_t> branded = image;
  if (!ApplyBrand(brand, &branded).empty() && branded != image) abort();
  std::vector<IconImage> images;
  ReadIconFile(image, &images);
  std::vector<uint8_t> bitmap;
  ReadBitmapFile(image, {1, 0}, &bitmap);
  return 0;
}
