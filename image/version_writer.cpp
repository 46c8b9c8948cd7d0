// Each node: length u16 (the node and its children, without padding after
// the last), value length u16 (characters with the terminator for text,
// bytes otherwise), type u16 (1 text, 0 binary), the key in UTF-16 with its
// terminator, padding to 4, the value, padding to 4, the children.
//
//   VS_VERSION_INFO (VS_FIXEDFILEINFO, 52 bytes)
//     StringFileInfo
//       040904B0 (U.S. English, UTF-16)
//         key: value ...
//     VarFileInfo
//       Translation (0x0409, 1200)
#include "image/version_writer.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "image/utf16.h"
#include "image/version_resource.h"

const char* const kVersionKeys[9] = {"CompanyName",  "FileDescription", "FileVersion",
                                     "InternalName", "LegalCopyright",  "OriginalFilename",
                                     "ProductName",  "ProductVersion",  "Comments"};

namespace {

constexpr size_t kFixedInfoOffset = 40;  // behind the root's header and key
constexpr size_t kFixedInfoSize = 52;

void Align4(std::vector<uint8_t>* bytes) {
  bytes->resize(static_cast<size_t>(AlignUp(bytes->size(), 4)), 0);
}

void AppendUtf16(std::vector<uint8_t>* bytes, const std::u16string& text) {
  for (char16_t c : text) {
    bytes->push_back(static_cast<uint8_t>(c));
    bytes->push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes->push_back(0);
  bytes->push_back(0);
}

std::vector<uint8_t> Node(const std::u16string& key, bool text, uint16_t valueLength,
                          const std::vector<uint8_t>& value,
                          const std::vector<std::vector<uint8_t>>& children) {
  std::vector<uint8_t> node(6, 0);
  StoreLe16(&node[2], valueLength);
  StoreLe16(&node[4], text ? 1 : 0);
  AppendUtf16(&node, key);
  Align4(&node);
  node.insert(node.end(), value.begin(), value.end());
  for (const std::vector<uint8_t>& child : children) {
    Align4(&node);
    node.insert(node.end(), child.begin(), child.end());
  }
  StoreLe16(&node[0], static_cast<uint16_t>(node.size()));
  return node;
}

std::vector<uint8_t> StringNode(const std::u16string& key, const std::u16string& value) {
  std::vector<uint8_t> bytes;
  AppendUtf16(&bytes, value);
  return Node(key, true, static_cast<uint16_t>(value.size() + 1), bytes, {});
}

void StoreVersion(uint8_t* fixed, const uint16_t version[4]) {
  StoreLe32(fixed, uint32_t{version[0]} << 16 | version[1]);
  StoreLe32(fixed + 4, uint32_t{version[2]} << 16 | version[3]);
}

}  // namespace

bool IsVersionKey(const std::string& key) {
  return std::find(std::begin(kVersionKeys), std::end(kVersionKeys), key) != std::end(kVersionKeys);
}

bool ParseDottedVersion(const std::string& text, uint16_t version[4]) {
  std::fill(version, version + 4, 0);
  size_t at = 0;
  for (int part = 0; part < 4; part++) {
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return part > 0;
    uint32_t number = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; at++) {
      number = number * 10 + static_cast<uint32_t>(text[at] - '0');
      if (number > 0xFFFF) return false;
    }
    version[part] = static_cast<uint16_t>(number);
    if (at + 1 >= text.size() || text[at] != '.') return true;
    at++;
  }
  return true;
}

std::string RewriteVersionResource(const std::vector<uint8_t>& old,
                                   const std::vector<std::pair<std::string, std::string>>& changes,
                                   std::vector<uint8_t>* out) {
  VersionResource version;
  std::string problem = ParseVersionResource(old, &version);
  if (!problem.empty()) return problem;
  std::vector<uint8_t> fixed(old.begin() + kFixedInfoOffset,
                             old.begin() + kFixedInfoOffset + kFixedInfoSize);
  std::vector<std::pair<std::string, std::string>> strings = version.strings;
  for (const char* key : kVersionKeys) {
    auto change = std::find_if(changes.rbegin(), changes.rend(),
                               [&](const auto& pair) { return pair.first == key; });
    if (change == changes.rend()) continue;
    uint16_t number[4];
    bool versionKey = !strcmp(key, "FileVersion") || !strcmp(key, "ProductVersion");
    if (versionKey && !ParseDottedVersion(change->second, number))
      return std::string(key) +
             " must begin with a dotted version such as 1.2.3.4, each number "
             "at most 65535";
    if (!strcmp(key, "FileVersion")) StoreVersion(&fixed[8], number);
    if (!strcmp(key, "ProductVersion")) StoreVersion(&fixed[16], number);
    auto existing = std::find_if(strings.begin(), strings.end(),
                                 [&](const auto& pair) { return pair.first == key; });
    if (existing != strings.end())
      existing->second = change->second;
    else
      strings.emplace_back(key, change->second);
  }

  std::vector<std::vector<uint8_t>> entries;
  for (const auto& pair : strings) {
    std::u16string key, value;
    if (!Utf16FromUtf8(pair.first, &key) || !Utf16FromUtf8(pair.second, &value))
      return pair.first + ": the value is not valid UTF-8";
    if (value.size() > kMostVersionValue)
      return pair.first + ": the value is " + std::to_string(value.size()) +
             " UTF-16 units long; at most " + std::to_string(kMostVersionValue) + " fit";
    entries.push_back(StringNode(key, value));
  }
  std::vector<uint8_t> translation(4);
  StoreLe16(&translation[0], 0x0409);
  StoreLe16(&translation[2], 1200);
  std::vector<uint8_t> root =
      Node(u"VS_VERSION_INFO", false, kFixedInfoSize, fixed,
           {Node(u"StringFileInfo", true, 0, {}, {Node(u"040904B0", true, 0, {}, entries)}),
            Node(u"VarFileInfo", true, 0, {}, {Node(u"Translation", false, 4, translation, {})})});
  if (root.size() > 0xFFFF) return "the version strings together pass 64 KiB";
  out->swap(root);
  return "";
}
