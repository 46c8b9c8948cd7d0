// The walk: DOS header -> PE header -> data directory 2 (resources) ->
// type 16 (RT_VERSION) -> its first name -> its first language -> the data,
// a tree of nodes: length u16, value length u16, type u16 (1: text), key
// (UTF-16, NUL-terminated), the value and the children, each aligned to 4
// bytes. The root's value is VS_FIXEDFILEINFO; its "StringFileInfo" child
// holds string tables whose children are the key/value pairs.
#include "image/version_resource.h"
#include "common/pe_view.h"

#include "common/container.h"
#include "image/utf16.h"

namespace {

constexpr uint32_t kVersionType = 16;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kHeaderBytes = 4096;           // headers and section table are read from here
constexpr uint32_t kMostResourceBytes = 1 << 20;  // a version resource is a few hundred bytes

struct Section {
  uint32_t address, virtualSize, rawSize, rawOffset;
};

// Offsets are computed in 64 bits: every field may hold any value, and a sum
// of two of them must not wrap into the bytes that were read.
class ImageReader {
 public:
  explicit ImageReader(FILE* file) : file_(file) {}

  std::string ReadHeaders() {
    header_.assign(kHeaderBytes, 0);
    if (fseek(file_, 0, SEEK_SET) != 0) return "the file cannot be read";
    header_.resize(fread(header_.data(), 1, header_.size(), file_));
    if (header_.size() < 0x40 || header_[0] != 'M' || header_[1] != 'Z')
      return "not a Windows program";
    uint64_t pe = Le32(0x3C);
    if (!Holds(pe, 24) || Le32(pe) != kPeSignature) return "not a Windows program";
    uint32_t sectionCount = Le16(pe + 6);
    uint64_t optional = pe + 24, optionalSize = Le16(pe + 20);
    uint64_t directories = optional + (Le16(optional) == 0x20B ? 112 : 96);
    uint32_t directoryCount = Le32(directories - 4);
    if (directoryCount <= kResourceDirectory || directories + 24 > optional + optionalSize)
      return "no version resource";
    resourceRva_ = Le32(directories + 8 * kResourceDirectory);
    uint64_t table = optional + optionalSize;
    for (uint32_t i = 0; i < sectionCount && Holds(table + 40 * i, 40); i++) {
      uint64_t at = table + 40 * i;
      sections_.push_back({Le32(at + 12), Le32(at + 8), Le32(at + 16), Le32(at + 20)});
    }
    return resourceRva_ ? "" : "no version resource";
  }

  uint32_t resourceRva() const { return resourceRva_; }

  // `length` bytes at `rva`, which must lie in one section's raw data, and
  // that within the largest file a launcher can be.
  bool ReadRva(uint64_t rva, uint32_t length, std::vector<uint8_t>* bytes) {
    uint64_t end = rva + length;
    for (const Section& s : sections_) {
      if (rva < s.address || end > static_cast<uint64_t>(s.address) + s.rawSize) continue;
      uint64_t offset = static_cast<uint64_t>(s.rawOffset) + (rva - s.address);
      if (offset + length > kMaxProgramSize) return false;
      bytes->assign(length, 0);
      return fseek(file_, static_cast<long>(offset), SEEK_SET) == 0 &&
             fread(bytes->data(), 1, length, file_) == length;
    }
    return false;
  }

 private:
  bool Holds(uint64_t at, uint64_t length) const { return at + length <= header_.size(); }
  uint32_t Le16(uint64_t at) const { return Holds(at, 2) ? LoadLe16(&header_[at]) : 0; }
  uint32_t Le32(uint64_t at) const { return Holds(at, 4) ? LoadLe32(&header_[at]) : 0; }

  FILE* file_;
  std::vector<uint8_t> header_;
  std::vector<Section> sections_;
  uint32_t resourceRva_ = 0;
};

// One directory level: the entry with `id`, or the first entry for id 0.
// Returns the entry's offset field (high bit: a further directory), or 0.
uint32_t FindEntry(ImageReader* image, uint64_t directoryRva, uint32_t id) {
  std::vector<uint8_t> head;
  if (!image->ReadRva(directoryRva, 16, &head)) return 0;
  uint32_t count = LoadLe16(&head[12]) + LoadLe16(&head[14]);
  std::vector<uint8_t> entries;
  if (count == 0 || !image->ReadRva(directoryRva + 16, 8 * count, &entries)) return 0;
  for (uint32_t i = 0; i < count; i++)
    if (id == 0 || LoadLe32(&entries[8 * i]) == id) return LoadLe32(&entries[8 * i + 4]);
  return 0;
}

// A node of the version tree, within [begin, end) of the resource's bytes.
struct Node {
  size_t begin = 0, end = 0;
  std::u16string key;
  size_t value = 0;        // offset of the value
  size_t valueLength = 0;  // as the node says: bytes, or characters for text
  bool text = false;
  size_t children = 0;  // offset of the first child
};

size_t Align4(size_t at) {
  return (at + 3) & ~size_t{3};
}

bool ReadNode(const std::vector<uint8_t>& data, size_t at, size_t limit, Node* node) {
  if (at + 6 > limit) return false;
  size_t length = LoadLe16(&data[at]);
  if (length < 6 || at + length > limit) return false;
  node->begin = at;
  node->end = at + length;
  node->valueLength = LoadLe16(&data[at + 2]);
  node->text = LoadLe16(&data[at + 4]) == 1;
  node->key.clear();
  size_t p = at + 6;
  for (; p + 2 <= node->end && LoadLe16(&data[p]); p += 2)
    node->key += static_cast<char16_t>(LoadLe16(&data[p]));
  node->value = Align4(p + 2);
  size_t valueBytes = node->text ? node->valueLength * 2 : node->valueLength;
  node->children = Align4(node->value + valueBytes);
  return node->value <= node->end;
}

// The value of a text node: UTF-16 up to its NUL or the node's end.
std::string TextValue(const std::vector<uint8_t>& data, const Node& node) {
  std::u16string text;
  for (size_t p = node.value; p + 2 <= node.end && LoadLe16(&data[p]); p += 2)
    text += static_cast<char16_t>(LoadLe16(&data[p]));
  return Utf8FromUtf16(text);
}

// Calls visit(child) for each child of `parent` while it returns true;
// false when a child is malformed or a visit failed.
template <typename Visit>
bool ForEachChild(const std::vector<uint8_t>& data, const Node& parent, Visit visit) {
  for (size_t at = parent.children; at + 6 <= parent.end;) {
    Node child;
    if (!ReadNode(data, at, parent.end, &child) || !visit(child)) return false;
    at = Align4(child.end);
  }
  return true;
}

std::string ParseVersionTree(const std::vector<uint8_t>& data, VersionResource* version) {
  Node root;
  if (!ReadNode(data, 0, data.size(), &root) || root.key != u"VS_VERSION_INFO" ||
      root.valueLength < 52 || root.value + 52 > root.end ||
      LoadLe32(&data[root.value]) != kFixedInfoSignature)
    return "its version resource is malformed";
  const uint8_t* fixed = &data[root.value];
  for (int half = 0; half < 2; half++) {
    uint16_t* target = half == 0 ? version->fileVersion : version->productVersion;
    uint32_t most = LoadLe32(fixed + 8 + 8 * half), least = LoadLe32(fixed + 12 + 8 * half);
    target[0] = static_cast<uint16_t>(most >> 16);
    target[1] = static_cast<uint16_t>(most);
    target[2] = static_cast<uint16_t>(least >> 16);
    target[3] = static_cast<uint16_t>(least);
  }
  bool sound = ForEachChild(data, root, [&](const Node& info) {
    if (info.key != u"StringFileInfo") return true;
    return ForEachChild(data, info, [&](const Node& table) {
      return ForEachChild(data, table, [&](const Node& entry) {
        version->strings.emplace_back(Utf8FromUtf16(entry.key), TextValue(data, entry));
        return true;
      });
    });
  });
  return sound ? "" : "its version resource is malformed";
}

}  // namespace

std::string ReadVersionResource(FILE* file, VersionResource* version) {
  *version = VersionResource();
  ImageReader image(file);
  std::string problem = image.ReadHeaders();
  if (!problem.empty()) return problem;
  // Type and name lead to further directories, the language to the data entry.
  uint64_t root = image.resourceRva();
  uint64_t at = root;
  for (int level = 0; level < 3; level++) {
    uint32_t next = FindEntry(&image, at, level == 0 ? kVersionType : 0);
    if (!next) return "no version resource";
    if (((next & 0x80000000u) != 0) != (level < 2)) return "its version resource is malformed";
    at = root + (next & 0x7FFFFFFF);
  }
  std::vector<uint8_t> dataEntry, data;
  if (!image.ReadRva(at, 16, &dataEntry)) return "its version resource is malformed";
  uint32_t size = LoadLe32(&dataEntry[4]);
  if (size > kMostResourceBytes || !image.ReadRva(LoadLe32(&dataEntry[0]), size, &data))
    return "its version resource is malformed";
  return ParseVersionTree(data, version);
}

std::string ParseVersionResource(const std::vector<uint8_t>& data, VersionResource* version) {
  *version = VersionResource();
  return ParseVersionTree(data, version);
}

std::string VersionText(const uint16_t version[4]) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}
