#include "tools/qwpack/brand_listing.h"

#include <cstdio>
#include <vector>

#include "common/container.h"
#include "image/brand/brand.h"
#include "image/version_resource.h"
#include "tools/qwpack/host/host_files.h"

namespace {

constexpr uint64_t kMostImageBytes = 64 << 20;  // a launcher's own part is well below

// The launcher without its package: the part in front of a valid locator's
// package, else the whole file up to a bound.
bool ReadImage(const std::string& program, std::vector<uint8_t>* image) {
  FILE* file = HostOpenFile(program, "rb");
  if (!file) return false;
  image->assign(kLocatorEnd, 0);
  size_t head = fread(image->data(), 1, image->size(), file);
  fseek(file, 0, SEEK_END);
  long size = ftell(file);
  uint64_t length = size < 0 ? 0 : static_cast<uint64_t>(size);
  if (head == kLocatorEnd) {
    PackageLocator locator = {LoadLe32(image->data() + kLocatorOffset),
                              LoadLe32(image->data() + kLocatorOffset + 4)};
    if (IsLocatorValid(locator, length)) length = locator.packageOffset;
  }
  if (length > kMostImageBytes) length = kMostImageBytes;
  image->assign(static_cast<size_t>(length), 0);
  bool read =
      fseek(file, 0, SEEK_SET) == 0 && fread(image->data(), 1, image->size(), file) == length;
  fclose(file);
  return read;
}

const char* Art(bool isDefault) {
  return isDefault ? "default" : "custom";
}

}  // namespace

void PrintLauncherResources(const std::string& program) {
  FILE* file = HostOpenFile(program, "rb");
  if (!file) return;  // the walk reports it
  VersionResource version;
  std::string problem = ReadVersionResource(file, &version);
  fclose(file);
  if (!problem.empty()) {
    printf("version resource: none (%s)\n", problem.c_str());
  } else {
    printf("version resource: file version %s, product version %s\n",
           VersionText(version.fileVersion).c_str(), VersionText(version.productVersion).c_str());
    for (const auto& field : version.strings)
      printf("  %-18s %s\n", field.first.c_str(), field.second.c_str());
  }
  std::vector<uint8_t> image;
  BrandSummary brand;
  problem = ReadImage(program, &image) ? ReadBrandSummary(image, &brand) : "cannot be read";
  if (!problem.empty()) {
    printf("brand: none (%s)\n\n", problem.c_str());
    return;
  }
  printf("brand:\n");
  printf("  %-18s %s\n", "name", brand.name.c_str());
  printf("  %-18s %s\n", "name (Chinese)", brand.nameChinese.c_str());
  printf("  %-18s %s\n", "execution level", brand.executionLevel.c_str());
  printf("  %-18s %s\n", "icon", Art(brand.defaultIcon));
  printf("  %-18s %s\n", "skin", Art(brand.defaultSkin));
  printf("  %-18s %s\n\n", "bar fill", Art(brand.defaultBarFill));
}

nlohmann::json LauncherResourcesJson(const std::string& program) {
  nlohmann::json resources = {{"version_resource", nullptr}, {"brand", nullptr}};
  if (FILE* file = HostOpenFile(program, "rb")) {
    VersionResource version;
    if (ReadVersionResource(file, &version).empty()) {
      nlohmann::json strings = nlohmann::json::object();
      for (const auto& field : version.strings) strings[field.first] = field.second;
      resources["version_resource"] = {{"file_version", VersionText(version.fileVersion)},
                                       {"product_version", VersionText(version.productVersion)},
                                       {"strings", strings}};
    }
    fclose(file);
  }
  std::vector<uint8_t> image;
  BrandSummary brand;
  if (ReadImage(program, &image) && ReadBrandSummary(image, &brand).empty())
    resources["brand"] = {{"name", brand.name},
                          {"name_zh", brand.nameChinese},
                          {"execution_level", brand.executionLevel},
                          {"icon", Art(brand.defaultIcon)},
                          {"skin", Art(brand.defaultSkin)},
                          {"bar_fill", Art(brand.defaultBarFill)}};
  return resources;
}
