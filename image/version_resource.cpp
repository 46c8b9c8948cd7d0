// The walk: DOS header -> PE header -> data directory 2 (resources) -> the
// section holding it -> type 16 (RT_VERSION) -> its first name -> its first
// language -> the data, a tree of nodes: length u16, value length u16, type
// u16 (1: text), key (UTF-16, NUL-terminated), the value and the children,
// each aligned to 4 bytes. The root's value is VS_FIXEDFILEINFO; its "StringFileInfo" child
// holds string tables whose children are the key/value pairs.
#include "image/version_resource.h"

#include "common/container.h"
#include "common/pe_view.h"
#include "image/resource_tree.h"
#include "image/utf16.h"

namespace {

constexpr uint32_t kVersionType = 16;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kHeaderBytes = 4096;           // headers and section table are read from here
constexpr uint32_t kMostResourceBytes = 1 << 20;  // a version resource is a few hundred bytes
constexpr uint32_t kMostSectionBytes = 64 << 20;  // a launcher's resources are well below

// The section of the program `file` that holds the resource directory, as
// far as the file holds it, with its address and the directory's. Reads
// the headers from the file's first 4096 bytes and then the section alone,
// so a launcher's package is never read. Returns an empty string, or why
// there is no version resource to look for.
std::string ReadResourceSection(FILE* file, std::vector<uint8_t>* bytes, uint32_t* sectionRva,
                                uint32_t* rva) {
  std::vector<uint8_t> header(kHeaderBytes, 0);
  if (fseek(file, 0, SEEK_SET) != 0) return "the file cannot be read";
  header.resize(fread(header.data(), 1, header.size(), file));
  ByteView headers = ViewOf(header);
  PeHeaders pe;
  if (FindPeHeaders(headers, &pe) != kPeHeadersFound) return "not a Windows program";
  PeDirectory resources;
  if (!FindPeDirectory(headers, pe, kResourceDirectory, &resources) || resources.rva == 0)
    return "no version resource";
  PeSection section;
  for (uint32_t i = 0; i < pe.sectionCount && ReadPeSection(headers, pe, i, &section); i++) {
    if (resources.rva < section.address || resources.rva - section.address >= section.rawSize)
      continue;
    uint64_t length = section.rawSize < kMostSectionBytes ? section.rawSize : kMostSectionBytes;
    if (uint64_t{section.rawOffset} + length > kMaxProgramSize) return "no version resource";
    bytes->assign(static_cast<size_t>(length), 0);
    bool placed = fseek(file, static_cast<long>(section.rawOffset), SEEK_SET) == 0;
    bytes->resize(placed ? fread(bytes->data(), 1, bytes->size(), file) : 0);
    *sectionRva = section.address;
    *rva = resources.rva;
    return "";
  }
  return "no version resource";
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
  return static_cast<size_t>(AlignUp(at, 4));
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
  std::vector<uint8_t> section, data;
  uint32_t sectionRva = 0, rva = 0;
  std::string problem = ReadResourceSection(file, &section, &sectionRva, &rva);
  if (!problem.empty()) return problem;
  switch (FindFirstResource(section, sectionRva, rva, kVersionType, kMostResourceBytes, &data)) {
    case kResourceFound:
      return ParseVersionTree(data, version);
    case kResourceMissing:
      return "no version resource";
    default:
      return "its version resource is malformed";
  }
}

std::string ParseVersionResource(const std::vector<uint8_t>& data, VersionResource* version) {
  *version = VersionResource();
  return ParseVersionTree(data, version);
}

std::string VersionText(const uint16_t version[4]) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}
