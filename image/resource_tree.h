// A program's resources as data: every resource as one flat entry (type,
// name, language, bytes), read from the resource section's three-level tree
// and written back as one. Portable; no Windows calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A type or name: a number, or a string when `text` is not empty.
struct ResourceId {
  uint32_t number = 0;
  std::u16string text;

  bool operator==(const ResourceId& other) const {
    return number == other.number && text == other.text;
  }
  bool operator<(const ResourceId& other) const;  // strings first, as the tree stores them
};

struct Resource {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;  // the data entry's code page, kept as read
  std::vector<uint8_t> data;
};

// Resources in the tree's order: by type, then name, then language.
using ResourceTree = std::vector<Resource>;

// Reads the tree that begins at `rva` from `section`, the raw bytes of the
// section that starts at address `sectionRva`. Data may lie anywhere in the
// section. Returns an empty string, or what is malformed. Safe on any bytes:
// every offset is checked, loops and depth are bounded.
std::string ReadResourceTree(const std::vector<uint8_t>& section, uint32_t sectionRva, uint32_t rva,
                             ResourceTree* tree);

// The first resource of numeric `type`, its first name and first language,
// in the tree that begins at `rva` of `section` (as ReadResourceTree takes
// them): only the directories on that path are read, so the rest of the
// tree may be anything. Missing when a directory on the path is empty,
// unreadable or lacks the type; malformed when the path is not three
// levels deep or the data lies outside the section or exceeds `mostBytes`.
enum ResourceFound { kResourceFound, kResourceMissing, kResourceMalformed };
ResourceFound FindFirstResource(const std::vector<uint8_t>& section, uint32_t sectionRva,
                                uint32_t rva, uint32_t type, uint64_t mostBytes,
                                std::vector<uint8_t>* data);

// The tree as a resource section's bytes placed at `sectionRva`: the
// directories breadth first, the data entries, the names, then each
// resource's data aligned to 8 bytes. The same tree always gives the same
// bytes; entries are sorted first. Returns an empty string, or why the tree
// cannot be written: a directory of more than 65,535 named or numbered
// entries (each count has 16 bits), or a section of 2 GiB or more.
std::string WriteResourceTree(ResourceTree tree, uint32_t sectionRva, std::vector<uint8_t>* bytes);

// The resource of `type` and numeric `name` (any language), or null.
const Resource* FindResourceEntry(const ResourceTree& tree, uint32_t type, uint32_t name);
Resource* FindResourceEntry(ResourceTree* tree, uint32_t type, uint32_t name);
