// The brand's parts map onto the launcher's resources:
//
//   names           string table block 1, strings 1 (English) and 2 (Chinese)
//   icon            icon group 128 and its icon resources
//   skin, bar fill  bitmaps 129 and 134
//   version-info    the version resource
//   execution level the manifest's requestedExecutionLevel
//
// Every part is checked before anything is written, so that a publisher
// learns of every problem at once.
#include "image/brand/brand.h"

#include <algorithm>

#include "common/bytes.h"
#include "common/crc32.h"
#include "common/launcher_resources.h"
#include "default_art.h"
#include "image/brand/bitmap_file.h"
#include "image/brand/icon_file.h"
#include "image/resource_section.h"
#include "image/utf16.h"
#include "image/version_writer.h"

namespace {

constexpr uint32_t kTypeBitmap = 2;
constexpr uint32_t kTypeIcon = 3;
constexpr uint32_t kTypeString = 6;
constexpr uint32_t kTypeGroupIcon = 14;
constexpr uint32_t kTypeVersion = 16;
constexpr uint32_t kTypeManifest = 24;
constexpr uint32_t kManifestId = 1;
constexpr uint32_t kVersionId = 1;
constexpr BitmapShape kSkinShape = {400, 300};
constexpr BitmapShape kBarFillShape = {1, 0};
constexpr size_t kStringsPerBlock = 16;
const char* const kExecutionLevels[] = {"asInvoker", "highestAvailable", "requireAdministrator"};
const char kLevelElement[] = "requestedExecutionLevel";
const char kLevelAttribute[] = "level=\"";

uint32_t StringBlock(uint32_t id) {
  return id / kStringsPerBlock + 1;
}

// The 16 strings of a string table block: each a u16 count and its units.
std::vector<std::u16string> ReadStringBlock(const std::vector<uint8_t>& block) {
  std::vector<std::u16string> strings(kStringsPerBlock);
  size_t at = 0;
  for (std::u16string& text : strings) {
    if (at + 2 > block.size()) break;
    size_t count = LoadLe16(&block[at]);
    at += 2;
    for (size_t i = 0; i < count && at + 2 <= block.size(); i++, at += 2)
      text += static_cast<char16_t>(LoadLe16(&block[at]));
  }
  return strings;
}

std::vector<uint8_t> WriteStringBlock(const std::vector<std::u16string>& strings) {
  std::vector<uint8_t> block;
  for (const std::u16string& text : strings) {
    block.push_back(static_cast<uint8_t>(text.size()));
    block.push_back(static_cast<uint8_t>(text.size() >> 8));
    for (char16_t c : text) {
      block.push_back(static_cast<uint8_t>(c));
      block.push_back(static_cast<uint8_t>(c >> 8));
    }
  }
  return block;
}

std::string CheckName(const std::string& option, const std::string& name, std::u16string* text) {
  if (!Utf16FromUtf8(name, text)) return option + ": not valid UTF-8";
  if (text->empty()) return option + ": the name is empty";
  if (text->size() > QW_PRODUCT_NAME_MOST)
    return option + ": the name is " + std::to_string(text->size()) +
           " UTF-16 units long; the launcher holds at most " + std::to_string(QW_PRODUCT_NAME_MOST);
  for (char16_t c : *text)
    if (c < 0x20 || c == 0x7F) return option + ": the name holds a control character";
  return "";
}

// The start and end of the level's value in the manifest, or false.
bool FindLevel(const std::string& manifest, size_t* begin, size_t* end) {
  size_t element = manifest.find(kLevelElement);
  if (element == std::string::npos) return false;
  size_t close = manifest.find('>', element);
  size_t attribute = manifest.find(kLevelAttribute, element);
  if (attribute == std::string::npos || attribute > close) return false;
  *begin = attribute + sizeof kLevelAttribute - 1;
  *end = manifest.find('"', *begin);
  return *end != std::string::npos && *end < close;
}

class BrandWriter {
 public:
  BrandWriter(const Brand& brand, ResourceTree* tree) : brand_(brand), tree_(*tree) {}

  std::string Apply() {
    SetNames();
    SetIcon();
    SetBitmap(brand_.skin, IDB_BACKGROUND, kSkinShape);
    SetBitmap(brand_.barFill, IDB_PROGRESS_FILL, kBarFillShape);
    SetVersion();
    SetExecutionLevel();
    std::string all;
    for (const std::string& problem : problems_) all += (all.empty() ? "" : "\n") + problem;
    return all;
  }

 private:
  Resource* Require(uint32_t type, uint32_t name, const char* what) {
    Resource* resource = FindResourceEntry(&tree_, type, name);
    if (!resource) problems_.push_back(std::string("the launcher has no ") + what + " to replace");
    return resource;
  }

  void SetNames() {
    if (!brand_.name && !brand_.nameChinese) return;
    std::u16string english, chinese;
    size_t before = problems_.size();
    if (brand_.name) problems_.push_back(CheckName("--name", *brand_.name, &english));
    if (brand_.nameChinese)
      problems_.push_back(CheckName("--name-zh", *brand_.nameChinese, &chinese));
    else
      chinese = english;  // no other product's name stays behind
    problems_.erase(std::remove(problems_.begin() + before, problems_.end(), ""), problems_.end());
    Resource* block =
        Require(kTypeString, StringBlock(IDS_PRODUCT_NAME_ENGLISH), "string table of names");
    if (!block || problems_.size() != before) return;
    std::vector<std::u16string> strings = ReadStringBlock(block->data);
    if (brand_.name) strings[IDS_PRODUCT_NAME_ENGLISH % kStringsPerBlock] = english;
    strings[IDS_PRODUCT_NAME_CHINESE % kStringsPerBlock] = chinese;
    block->data = WriteStringBlock(strings);
  }

  void SetIcon() {
    if (!brand_.icon) return;
    std::vector<IconImage> images;
    std::string problem = ReadIconFile(brand_.icon->bytes, &images);
    if (!problem.empty()) return problems_.push_back(brand_.icon->label + ": " + problem);
    Resource* group = Require(kTypeGroupIcon, IDI_LAUNCHER, "icon group 128");
    if (!group) return;
    // The old group's icons go; the new ones take the lowest free numbers.
    // The ids are copied first: erasing moves the group within the tree.
    std::vector<uint32_t> oldIds;
    for (size_t at = 6; at + 14 <= group->data.size(); at += 14)
      oldIds.push_back(LoadLe16(&group->data[at + 12]));
    uint16_t language = group->language;
    tree_.erase(std::remove_if(tree_.begin(), tree_.end(),
                               [&](const Resource& r) {
                                 return r.type.text.empty() && r.type.number == kTypeIcon &&
                                        r.name.text.empty() &&
                                        std::find(oldIds.begin(), oldIds.end(), r.name.number) !=
                                            oldIds.end();
                               }),
                tree_.end());
    uint32_t firstId = 1;
    for (const Resource& r : tree_)
      if (r.type.text.empty() && r.type.number == kTypeIcon && r.name.text.empty())
        firstId = std::max(firstId, r.name.number + 1);
    if (firstId + images.size() > 0xFFFF)
      return problems_.push_back("the launcher has no room for more icon resources");
    FindResourceEntry(&tree_, kTypeGroupIcon, IDI_LAUNCHER)->data =
        IconGroupResource(images, static_cast<uint16_t>(firstId));
    for (size_t i = 0; i < images.size(); i++) {
      Resource icon;
      icon.type.number = kTypeIcon;
      icon.name.number = firstId + static_cast<uint32_t>(i);
      icon.language = language;
      icon.data = images[i].data;
      tree_.push_back(std::move(icon));
    }
  }

  void SetBitmap(const std::optional<BrandFile>& file, uint32_t id, BitmapShape shape) {
    if (!file) return;
    std::vector<uint8_t> bitmap;
    std::string problem = ReadBitmapFile(file->bytes, shape, &bitmap);
    if (!problem.empty()) return problems_.push_back(file->label + ": " + problem);
    if (Resource* resource = Require(kTypeBitmap, id, "bitmap to replace"))
      resource->data = std::move(bitmap);
  }

  void SetVersion() {
    if (brand_.versionInfo.empty()) return;
    size_t before = problems_.size();
    for (const auto& pair : brand_.versionInfo) {
      std::u16string value;
      if (!IsVersionKey(pair.first)) {
        std::string known;
        for (const char* key : kVersionKeys) known += std::string(known.empty() ? "" : ", ") + key;
        problems_.push_back("--version-info " + pair.first + ": unknown key; known keys: " + known);
      } else if (!Utf16FromUtf8(pair.second, &value)) {
        problems_.push_back("--version-info " + pair.first + ": the value is not valid UTF-8");
      }
    }
    Resource* version = Require(kTypeVersion, kVersionId, "version resource");
    if (!version || problems_.size() != before) return;
    std::vector<uint8_t> rewritten;
    std::string problem = RewriteVersionResource(version->data, brand_.versionInfo, &rewritten);
    if (!problem.empty()) return problems_.push_back("--version-info " + problem);
    version->data = std::move(rewritten);
  }

  void SetExecutionLevel() {
    if (!brand_.executionLevel) return;
    const std::string& level = *brand_.executionLevel;
    if (std::find(std::begin(kExecutionLevels), std::end(kExecutionLevels), level) ==
        std::end(kExecutionLevels))
      return problems_.push_back("--execution-level " + level +
                                 ": not asInvoker, highestAvailable or requireAdministrator");
    Resource* manifest = Require(kTypeManifest, kManifestId, "manifest");
    if (!manifest) return;
    std::string text(manifest->data.begin(), manifest->data.end());
    size_t begin, end;
    if (!FindLevel(text, &begin, &end))
      return problems_.push_back("the launcher's manifest requests no execution level to set");
    text.replace(begin, end - begin, level);
    manifest->data.assign(text.begin(), text.end());
  }

  const Brand& brand_;
  ResourceTree& tree_;
  std::vector<std::string> problems_;
};

uint32_t IconImagesCrc(const ResourceTree& tree, const Resource& group) {
  std::vector<uint8_t> images;
  for (size_t at = 6; at + 14 <= group.data.size(); at += 14)
    if (const Resource* icon = FindResourceEntry(tree, kTypeIcon, LoadLe16(&group.data[at + 12])))
      images.insert(images.end(), icon->data.begin(), icon->data.end());
  return Crc32(images.data(), images.size());
}

bool HasCrc(const Resource* resource, uint32_t crc) {
  return resource && Crc32(resource->data.data(), resource->data.size()) == crc;
}

}  // namespace

std::string ApplyBrand(const Brand& brand, std::vector<uint8_t>* launcher) {
  ResourceTree tree;
  std::string problem = ReadImageResources(*launcher, &tree);
  if (!problem.empty()) return "the launcher's resources cannot be read: " + problem;
  problem = BrandWriter(brand, &tree).Apply();
  if (!problem.empty()) return problem;
  std::vector<uint8_t> branded = *launcher;
  problem = ReplaceImageResources(&branded, tree);
  if (!problem.empty()) return "the launcher's resources cannot be rewritten: " + problem;
  launcher->swap(branded);
  return "";
}

std::string ReadBrandSummary(const std::vector<uint8_t>& launcher, BrandSummary* summary) {
  *summary = BrandSummary();
  ResourceTree tree;
  std::string problem = ReadImageResources(launcher, &tree);
  if (!problem.empty()) return problem;
  if (const Resource* block =
          FindResourceEntry(tree, kTypeString, StringBlock(IDS_PRODUCT_NAME_ENGLISH))) {
    std::vector<std::u16string> strings = ReadStringBlock(block->data);
    summary->name = Utf8FromUtf16(strings[IDS_PRODUCT_NAME_ENGLISH % kStringsPerBlock]);
    summary->nameChinese = Utf8FromUtf16(strings[IDS_PRODUCT_NAME_CHINESE % kStringsPerBlock]);
  }
  if (const Resource* manifest = FindResourceEntry(tree, kTypeManifest, kManifestId)) {
    std::string text(manifest->data.begin(), manifest->data.end());
    size_t begin, end;
    if (FindLevel(text, &begin, &end)) summary->executionLevel = text.substr(begin, end - begin);
  }
  const Resource* group = FindResourceEntry(tree, kTypeGroupIcon, IDI_LAUNCHER);
  summary->defaultIcon = group && IconImagesCrc(tree, *group) == kDefaultIconCrc;
  summary->defaultSkin =
      HasCrc(FindResourceEntry(tree, kTypeBitmap, IDB_BACKGROUND), kDefaultSkinCrc);
  summary->defaultBarFill =
      HasCrc(FindResourceEntry(tree, kTypeBitmap, IDB_PROGRESS_FILL), kDefaultBarFillCrc);
  return "";
}
