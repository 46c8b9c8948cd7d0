// The tree on disk (all offsets relative to the tree's root):
//
//   directory   16 bytes (characteristics, time, version, named count u16
//               at +12, numbered count u16 at +14), then 8-byte entries,
//               the named ones first
//   entry       name or number (high bit: offset of a name: u16 length and
//               UTF-16), then offset (high bit: a further directory, else
//               a data entry)
//   data entry  data address (an RVA), size, code page, reserved
//
// Three levels: type, name, language.
#include "image/resource_tree.h"

#include <algorithm>
#include <unordered_set>

#include "common/bytes.h"

namespace {

constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kDirectoryHeader = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr size_t kMostResources = 65536;  // a launcher has a dozen
// A directory counts its named and its numbered entries in 16 bits each.
constexpr size_t kMostEntriesOfAKind = 0xFFFF;
// A section with the high bit of an offset set could not say it in the tree,
// and a program file stays below 2 GiB.
constexpr uint64_t kMostSectionBytes = 0x7FFFFFFF;

// A directory's entries, each 8 bytes: the name field and the target.
struct DirectoryEntries {
  uint64_t first;  // offset in the section of the first entry
  uint64_t count;
};

enum DirectoryRead { kDirectoryRead, kDirectoryOutside, kEntriesOutside };

DirectoryRead ReadDirectoryEntries(ByteView section, uint64_t at, DirectoryEntries* entries) {
  if (!section.Has(at, kDirectoryHeader)) return kDirectoryOutside;
  entries->first = at + kDirectoryHeader;
  entries->count = uint64_t{LoadLe16(section.data + at + 12)} + LoadLe16(section.data + at + 14);
  return section.Has(entries->first, entries->count * kEntrySize) ? kDirectoryRead
                                                                  : kEntriesOutside;
}

uint32_t EntryNameField(ByteView section, const DirectoryEntries& entries, uint64_t i) {
  return LoadLe32(section.data + entries.first + i * kEntrySize);
}
uint32_t EntryTarget(ByteView section, const DirectoryEntries& entries, uint64_t i) {
  return LoadLe32(section.data + entries.first + i * kEntrySize + 4);
}

// A data entry's bytes as a view into the section: false when the entry or
// its data lie outside it.
bool ReadDataEntry(ByteView section, uint64_t sectionRva, uint64_t at, ByteView* data,
                   uint32_t* codePage, bool* entryInside) {
  *entryInside = section.Has(at, kDataEntrySize);
  if (!*entryInside) return false;
  uint64_t rva = LoadLe32(section.data + at);
  uint32_t size = LoadLe32(section.data + at + 4);
  *codePage = LoadLe32(section.data + at + 8);
  if (rva < sectionRva || !section.Has(rva - sectionRva, size)) return false;
  *data = ByteView{section.data + (rva - sectionRva), size};
  return true;
}

class TreeReader {
 public:
  TreeReader(const std::vector<uint8_t>& section, uint32_t sectionRva, uint32_t rootRva)
      : section_(ViewOf(section)), sectionRva_(sectionRva), root_(uint64_t{rootRva} - sectionRva) {}

  std::string Read(ResourceTree* tree) {
    if (root_ > section_.size) return "the resource directory lies outside its section";
    Resource path;
    return ReadDirectory(0, 0, &path, tree);
  }

 private:
  std::string ReadName(uint32_t offset, std::u16string* name) const {
    uint64_t at = root_ + offset;
    if (!section_.Has(at, 2)) return "a resource name lies outside the section";
    uint32_t length = section_.Le16(at);
    if (length == 0 || !section_.Has(at + 2, uint64_t{length} * 2))
      return "a resource name is malformed";
    name->clear();
    for (uint32_t i = 0; i < length; i++)
      name->push_back(static_cast<char16_t>(section_.Le16(at + 2 + 2 * i)));
    return "";
  }

  std::string ReadData(uint32_t offset, Resource* resource) {
    ByteView data;
    bool entryInside;
    if (!ReadDataEntry(section_, sectionRva_, root_ + offset, &data, &resource->codePage,
                       &entryInside))
      return entryInside ? "a resource's data lies outside the resource section"
                         : "a resource data entry lies outside the section";
    // Resources never share bytes, so together they fit in the section; a
    // tree that says otherwise would make us copy the same bytes at will.
    dataBytes_ += data.size;
    if (dataBytes_ > section_.size) return "the resources' data adds up to more than their section";
    resource->data.assign(data.data, data.data + data.size);
    return "";
  }

  // `level` 0 reads types, 1 names, 2 languages; `path` holds the levels above.
  std::string ReadDirectory(uint32_t offset, int level, Resource* path, ResourceTree* tree) {
    // A tree's directories each have one parent. Entering one twice would
    // let a few hundred kilobytes of entries pointing at one directory cost
    // billions of visits; refusing it keeps the walk linear in the section.
    if (!entered_.insert(offset).second) return "a resource directory is entered twice";
    DirectoryEntries entries;
    DirectoryRead read = ReadDirectoryEntries(section_, root_ + offset, &entries);
    if (read == kDirectoryOutside) return "a resource directory lies outside the section";
    if (read == kEntriesOutside) return "a resource directory's entries run past the section";
    for (uint64_t i = 0; i < entries.count; i++) {
      uint32_t nameField = EntryNameField(section_, entries, i);
      uint32_t target = EntryTarget(section_, entries, i);
      ResourceId id;
      if (nameField & kSubdirectory) {
        std::string problem = ReadName(nameField & ~kSubdirectory, &id.text);
        if (!problem.empty()) return problem;
      } else {
        id.number = nameField;
      }
      bool isDirectory = (target & kSubdirectory) != 0;
      if (isDirectory != (level < 2)) return "the resource tree is not three levels deep";
      std::string problem;
      if (level == 0) {
        path->type = id;
        problem = ReadDirectory(target & ~kSubdirectory, 1, path, tree);
      } else if (level == 1) {
        path->name = id;
        problem = ReadDirectory(target & ~kSubdirectory, 2, path, tree);
      } else {
        if (!id.text.empty() || id.number > 0xFFFF) return "a resource language is not a number";
        if (tree->size() >= kMostResources) return "the resource tree holds too many resources";
        Resource resource;
        resource.type = path->type;
        resource.name = path->name;
        resource.language = static_cast<uint16_t>(id.number);
        problem = ReadData(target, &resource);
        tree->push_back(std::move(resource));
      }
      if (!problem.empty()) return problem;
    }
    return "";
  }

  ByteView section_;
  std::unordered_set<uint32_t> entered_;  // directories' offsets
  uint64_t sectionRva_;
  uint64_t root_;
  uint64_t dataBytes_ = 0;
};

// One directory of the tree being written: its entries' ids, and for each
// the index of the child directory (levels 0, 1) or of the resource (2).
struct Directory {
  std::vector<ResourceId> ids;
  std::vector<size_t> children;
  uint32_t offset = 0;
};

class TreeWriter {
 public:
  TreeWriter(const ResourceTree& tree, uint32_t sectionRva) : tree_(tree), rva_(sectionRva) {}

  std::string Write(std::vector<uint8_t>* bytes) {
    BuildDirectories();
    for (const Directory& directory : directories_) {
      size_t named = NamedCount(directory);
      if (named > kMostEntriesOfAKind || directory.ids.size() - named > kMostEntriesOfAKind)
        return "a resource directory would hold more than 65,535 named or numbered entries";
    }
    // Laid out in 64 bits: a publisher's pictures may add up to any size,
    // and the section must stay within what a program file can hold.
    uint64_t at = 0;
    for (Directory& directory : directories_) {
      directory.offset = static_cast<uint32_t>(at);
      at += kDirectoryHeader + uint64_t{kEntrySize} * directory.ids.size();
    }
    uint64_t dataEntries = at;
    at += uint64_t{kDataEntrySize} * tree_.size();
    std::vector<uint64_t> nameOffsets;
    for (const Directory& directory : directories_)
      for (const ResourceId& id : directory.ids)
        if (!id.text.empty()) {
          nameOffsets.push_back(at);
          at += 2 + 2 * uint64_t{id.text.size()};
        }
    std::vector<uint64_t> dataOffsets;
    for (const Resource& resource : tree_) {
      at = AlignUp(at, 8);
      dataOffsets.push_back(at);
      at += resource.data.size();
      if (at > kMostSectionBytes) return "the resources would take more than 2 GiB";
    }
    if (AlignUp(at, 8) > kMostSectionBytes || tree_.size() > kMostResources)
      return "the resources would take more than 2 GiB";
    out_.assign(AlignUp(at, 8), 0);

    size_t nextName = 0;
    for (size_t d = 0; d < directories_.size(); d++) {
      const Directory& directory = directories_[d];
      size_t named = NamedCount(directory);
      StoreLe16(&out_[directory.offset + 12], static_cast<uint16_t>(named));
      StoreLe16(&out_[directory.offset + 14], static_cast<uint16_t>(directory.ids.size() - named));
      bool leaves = IsLanguageLevel(d);
      for (size_t i = 0; i < directory.ids.size(); i++) {
        uint8_t* entry = &out_[directory.offset + kDirectoryHeader + kEntrySize * i];
        const ResourceId& id = directory.ids[i];
        if (id.text.empty()) {
          StoreLe32(entry, id.number);
        } else {
          uint32_t nameAt = static_cast<uint32_t>(nameOffsets[nextName++]);
          StoreLe32(entry, nameAt | kSubdirectory);
          StoreLe16(&out_[nameAt], static_cast<uint16_t>(id.text.size()));
          for (size_t c = 0; c < id.text.size(); c++)
            StoreLe16(&out_[nameAt + 2 + 2 * c], id.text[c]);
        }
        size_t child = directory.children[i];
        StoreLe32(entry + 4, leaves ? static_cast<uint32_t>(dataEntries + kDataEntrySize * child)
                                    : directories_[child].offset | kSubdirectory);
      }
    }
    for (size_t r = 0; r < tree_.size(); r++) {
      uint8_t* entry = &out_[dataEntries + kDataEntrySize * r];
      StoreLe32(entry, static_cast<uint32_t>(rva_ + dataOffsets[r]));
      StoreLe32(entry + 4, static_cast<uint32_t>(tree_[r].data.size()));
      StoreLe32(entry + 8, tree_[r].codePage);
      std::copy(tree_[r].data.begin(), tree_[r].data.end(),
                out_.begin() + static_cast<std::ptrdiff_t>(dataOffsets[r]));
    }
    *bytes = std::move(out_);
    return "";
  }

 private:
  static size_t NamedCount(const Directory& directory) {
    return std::count_if(directory.ids.begin(), directory.ids.end(),
                         [](const ResourceId& id) { return !id.text.empty(); });
  }

  bool IsLanguageLevel(size_t directory) const { return directory >= firstLanguageDirectory_; }

  // The end of the run of resources from `begin` that agree with it on
  // `key` (type, or type and name).
  template <typename Same>
  size_t RunEnd(size_t begin, size_t end, Same same) const {
    size_t at = begin;
    while (at < end && same(tree_[at], tree_[begin])) at++;
    return at;
  }

  // Breadth first: the root, every type's directory, every name's directory.
  void BuildDirectories() {
    auto sameType = [](const Resource& a, const Resource& b) { return a.type == b.type; };
    auto sameName = [](const Resource& a, const Resource& b) { return a.name == b.name; };
    std::vector<std::pair<size_t, size_t>> typeRuns, nameRuns;
    for (size_t r = 0; r < tree_.size(); r = typeRuns.back().second)
      typeRuns.push_back({r, RunEnd(r, tree_.size(), sameType)});
    directories_.resize(1 + typeRuns.size());
    for (size_t t = 0; t < typeRuns.size(); t++) {
      directories_[0].ids.push_back(tree_[typeRuns[t].first].type);
      directories_[0].children.push_back(1 + t);
      for (size_t r = typeRuns[t].first; r < typeRuns[t].second; r = nameRuns.back().second) {
        nameRuns.push_back({r, RunEnd(r, typeRuns[t].second, sameName)});
        directories_[1 + t].ids.push_back(tree_[r].name);
        directories_[1 + t].children.push_back(typeRuns.size() + nameRuns.size());
      }
    }
    firstLanguageDirectory_ = directories_.size();
    for (const auto& run : nameRuns) {
      Directory languages;
      for (size_t r = run.first; r < run.second; r++) {
        languages.ids.push_back(ResourceId{tree_[r].language, {}});
        languages.children.push_back(r);
      }
      directories_.push_back(std::move(languages));
    }
  }

  const ResourceTree& tree_;
  uint32_t rva_;
  std::vector<Directory> directories_;
  size_t firstLanguageDirectory_ = 0;
  std::vector<uint8_t> out_;
};

}  // namespace

bool ResourceId::operator<(const ResourceId& other) const {
  bool named = !text.empty(), otherNamed = !other.text.empty();
  if (named != otherNamed) return named;
  return named ? text < other.text : number < other.number;
}

std::string ReadResourceTree(const std::vector<uint8_t>& section, uint32_t sectionRva, uint32_t rva,
                             ResourceTree* tree) {
  tree->clear();
  if (rva < sectionRva) return "the resource directory lies outside its section";
  return TreeReader(section, sectionRva, rva).Read(tree);
}

ResourceFound FindFirstResource(const std::vector<uint8_t>& section, uint32_t sectionRva,
                                uint32_t rva, uint32_t type, uint64_t mostBytes,
                                std::vector<uint8_t>* data) {
  ByteView view = ViewOf(section);
  if (rva < sectionRva) return kResourceMissing;
  uint64_t root = uint64_t{rva} - sectionRva;
  uint64_t at = root;
  // Type and name lead to further directories, the language to the data entry.
  for (int level = 0; level < 3; level++) {
    DirectoryEntries entries;
    uint32_t next = 0;
    if (ReadDirectoryEntries(view, at, &entries) == kDirectoryRead) {
      for (uint64_t i = 0; i < entries.count; i++) {
        if (level == 0 && EntryNameField(view, entries, i) != type) continue;
        next = EntryTarget(view, entries, i);
        break;
      }
    }
    if (!next) return kResourceMissing;
    if (((next & kSubdirectory) != 0) != (level < 2)) return kResourceMalformed;
    at = root + (next & ~kSubdirectory);
  }
  ByteView bytes;
  uint32_t codePage;
  bool entryInside;
  if (!ReadDataEntry(view, sectionRva, at, &bytes, &codePage, &entryInside) ||
      bytes.size > mostBytes)
    return kResourceMalformed;
  data->assign(bytes.data, bytes.data + bytes.size);
  return kResourceFound;
}

std::string WriteResourceTree(ResourceTree tree, uint32_t sectionRva, std::vector<uint8_t>* bytes) {
  std::stable_sort(tree.begin(), tree.end(), [](const Resource& a, const Resource& b) {
    if (!(a.type == b.type)) return a.type < b.type;
    if (!(a.name == b.name)) return a.name < b.name;
    return a.language < b.language;
  });
  return TreeWriter(tree, sectionRva).Write(bytes);
}

const Resource* FindResourceEntry(const ResourceTree& tree, uint32_t type, uint32_t name) {
  for (const Resource& resource : tree)
    if (resource.type.text.empty() && resource.type.number == type && resource.name.text.empty() &&
        resource.name.number == name)
      return &resource;
  return nullptr;
}

Resource* FindResourceEntry(ResourceTree* tree, uint32_t type, uint32_t name) {
  return const_cast<Resource*>(
      FindResourceEntry(static_cast<const ResourceTree&>(*tree), type, name));
}
