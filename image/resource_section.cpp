// The resource section is rewritten where it lies and may grow or shrink:
// nothing in the code or data refers to resource addresses, which Windows
// finds through the data directory alone. GNU ld puts .rsrc last but for
// the base relocations (.reloc), which the launcher's build checks
// (cmake/move_pe_header.py). The relocations name the addresses they fix,
// never their own, so .reloc moves behind the rebuilt resources unchanged
// but for its place.
#include "image/resource_section.h"
#include "common/pe_view.h"

#include <algorithm>

#include "common/container.h"

namespace {

constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kInitializedData = 0x00000040;
constexpr uint32_t kMostFileAlignment = 0x10000;

struct Section {
  uint64_t header;  // file offset of its section header
  uint32_t address, virtualSize, rawOffset, rawSize, characteristics;
};

// Where the fields this file reads and writes lie.
struct ImageLayout {
  uint64_t optional = 0;
  uint64_t directories = 0;  // the first data directory
  uint32_t directoryCount = 0;
  uint32_t sectionAlignment = 0, fileAlignment = 0;
  uint64_t headersEnd = 0;  // the section table's end, or SizeOfHeaders when that is further
  std::vector<Section> sections;
};

bool Has(const std::vector<uint8_t>& image, uint64_t offset, uint64_t length) {
  return offset <= image.size() && length <= image.size() - offset;
}

bool IsPowerOfTwo(uint32_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

std::string ReadLayout(const std::vector<uint8_t>& image, ImageLayout* layout) {
  if (!Has(image, 0, 0x40) || image[0] != 'M' || image[1] != 'Z') return "not a Windows program";
  uint64_t pe = LoadLe32(&image[0x3C]);
  if (!Has(image, pe, 24) || LoadLe32(&image[pe]) != kPeSignature) return "not a Windows program";
  uint32_t sectionCount = LoadLe16(&image[pe + 6]);
  uint32_t optionalSize = LoadLe16(&image[pe + 20]);
  layout->optional = pe + 24;
  if (optionalSize < 96 || !Has(image, layout->optional, optionalSize))
    return "its optional header is cut short";
  uint16_t magic = LoadLe16(&image[layout->optional]);
  if (magic != kOptionalMagicPe32 && magic != kOptionalMagicPe32Plus)
    return "its optional header is unknown";
  uint32_t countAt = magic == kOptionalMagicPe32Plus ? 108 : 92;
  layout->directories = layout->optional + countAt + 4;
  if (optionalSize < countAt + 4) return "its optional header is cut short";
  layout->directoryCount = LoadLe32(&image[layout->optional + countAt]);
  if (uint64_t{layout->directoryCount} * 8 > optionalSize - countAt - 4)
    return "its data directories run past the optional header";
  layout->sectionAlignment = LoadLe32(&image[layout->optional + 32]);
  layout->fileAlignment = LoadLe32(&image[layout->optional + 36]);
  if (!IsPowerOfTwo(layout->sectionAlignment) || !IsPowerOfTwo(layout->fileAlignment) ||
      layout->fileAlignment > kMostFileAlignment)
    return "its section or file alignment is not one Windows loads";
  uint64_t table = layout->optional + optionalSize;
  if (!Has(image, table, uint64_t{sectionCount} * kSectionHeaderSize))
    return "its section table is cut short";
  layout->headersEnd = std::max<uint64_t>(table + uint64_t{sectionCount} * kSectionHeaderSize,
                                          LoadLe32(&image[layout->optional + 60]));
  for (uint32_t i = 0; i < sectionCount; i++) {
    uint64_t at = table + uint64_t{i} * kSectionHeaderSize;
    layout->sections.push_back({at, LoadLe32(&image[at + 12]), LoadLe32(&image[at + 8]),
                                LoadLe32(&image[at + 20]), LoadLe32(&image[at + 16]),
                                LoadLe32(&image[at + 36])});
  }
  return "";
}

// The section that holds the resource directory, or null.
const Section* ResourceSection(const std::vector<uint8_t>& image, const ImageLayout& layout,
                               uint32_t* rva) {
  if (layout.directoryCount <= kResourceDirectory) return nullptr;
  *rva = LoadLe32(&image[layout.directories + 8 * kResourceDirectory]);
  for (const Section& section : layout.sections)
    if (*rva >= section.address && *rva - section.address < section.rawSize) return &section;
  return nullptr;
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) & ~uint64_t{alignment - 1};
}

// The section that follows `resources` in memory, or null; a section
// other than the base relocations there makes the image one we cannot
// rewrite.
std::string FindTrailingSection(const std::vector<uint8_t>& image, const ImageLayout& layout,
                                const Section& resources, uint32_t rva, const Section** trailing) {
  if (rva != resources.address)
    return "its resource directory does not begin its section; link it as the launcher's build "
           "does, with the resources last";
  if (resources.rawOffset < layout.headersEnd) return "its resource section overlaps its headers";
  *trailing = nullptr;
  uint64_t end = uint64_t{resources.rawOffset} + resources.rawSize;
  for (const Section& other : layout.sections) {
    if (&other == &resources || other.address < resources.address) continue;
    uint32_t relocations = layout.directoryCount > kBaseRelocationDirectory
                               ? LoadLe32(&image[layout.directories + 8 * kBaseRelocationDirectory])
                               : 0;
    if (*trailing || other.address != relocations || other.rawOffset != end)
      return "sections other than the base relocations follow its resources; link it as the "
             "launcher's build does, with the resources last";
    *trailing = &other;
    end += other.rawSize;
  }
  for (const Section& other : layout.sections)
    if (other.rawSize && uint64_t{other.rawOffset} + other.rawSize > resources.rawOffset &&
        &other != &resources && &other != *trailing)
      return "a section's data lies behind its resources in the file";
  if (end != image.size()) return "data follows its last section";
  uint32_t pe = LoadLe32(&image[0x3C]);
  if (LoadLe32(&image[pe + 12]) != 0) return "it carries a COFF symbol table behind its sections";
  return "";
}

}  // namespace

std::string ReadImageResources(const std::vector<uint8_t>& image, ResourceTree* tree) {
  tree->clear();
  ImageLayout layout;
  std::string problem = ReadLayout(image, &layout);
  if (!problem.empty()) return problem;
  uint32_t rva = 0;
  const Section* section = ResourceSection(image, layout, &rva);
  if (!section) return "it has no resources";
  uint64_t rawEnd = uint64_t{section->rawOffset} + section->rawSize;
  if (rawEnd > image.size()) return "its resource section runs past the end of the file";
  std::vector<uint8_t> bytes(image.begin() + section->rawOffset, image.begin() + rawEnd);
  return ReadResourceTree(bytes, section->address, rva, tree);
}

std::string ReplaceImageResources(std::vector<uint8_t>* image, const ResourceTree& tree) {
  ImageLayout layout;
  std::string problem = ReadLayout(*image, &layout);
  if (!problem.empty()) return problem;
  uint32_t rva = 0;
  const Section* section = ResourceSection(*image, layout, &rva);
  if (!section) return "it has no resource section";
  const Section* trailing = nullptr;
  problem = FindTrailingSection(*image, layout, *section, rva, &trailing);
  if (!problem.empty()) return problem;

  std::vector<uint8_t> bytes = WriteResourceTree(tree, section->address);
  uint64_t rawSize = AlignUp(bytes.size(), layout.fileAlignment);
  uint64_t memoryEnd = AlignUp(uint64_t{section->address} + bytes.size(), layout.sectionAlignment);
  std::vector<uint8_t> trailingBytes;
  if (trailing) {
    auto begin = image->begin() + trailing->rawOffset;
    trailingBytes.assign(begin, begin + trailing->rawSize);
    memoryEnd = AlignUp(memoryEnd + trailing->virtualSize, layout.sectionAlignment);
  }
  uint64_t fileEnd = uint64_t{section->rawOffset} + rawSize + trailingBytes.size();
  if (memoryEnd > 0xFFFFFFFFu || fileEnd > 0x7FFFFFFF)
    return "its resources would grow past what a program can hold";

  std::vector<uint8_t>& out = *image;
  uint8_t* optional = &out[layout.optional];
  if (section->characteristics & kInitializedData) {
    uint32_t initialized = LoadLe32(optional + 8) - section->rawSize;
    StoreLe32(optional + 8, initialized + static_cast<uint32_t>(rawSize));
  }
  StoreLe32(optional + 56, static_cast<uint32_t>(memoryEnd));
  StoreLe32(&out[layout.directories + 8 * kResourceDirectory + 4],
            static_cast<uint32_t>(bytes.size()));
  StoreLe32(&out[section->header + 8], static_cast<uint32_t>(bytes.size()));
  StoreLe32(&out[section->header + 16], static_cast<uint32_t>(rawSize));
  if (trailing) {
    uint32_t address = static_cast<uint32_t>(
        AlignUp(uint64_t{section->address} + bytes.size(), layout.sectionAlignment));
    StoreLe32(&out[trailing->header + 12], address);
    StoreLe32(&out[trailing->header + 20], static_cast<uint32_t>(section->rawOffset + rawSize));
    StoreLe32(&out[layout.directories + 8 * kBaseRelocationDirectory], address);
  }
  bytes.resize(rawSize, 0);
  out.resize(section->rawOffset);
  out.insert(out.end(), bytes.begin(), bytes.end());
  out.insert(out.end(), trailingBytes.begin(), trailingBytes.end());

  uint64_t checksumAt = PeChecksumOffset(out);
  PeChecksum checksum(checksumAt);
  checksum.Add(out.data(), out.size());
  StoreLe32(&out[checksumAt], checksum.Finish());
  return "";
}

uint64_t PeChecksumOffset(const std::vector<uint8_t>& image) {
  ImageLayout layout;
  return ReadLayout(image, &layout).empty() ? layout.optional + 64 : 0;
}

void PeChecksum::Add(const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; i++, position_++) {
    if (position_ - fieldAt_ < 4) continue;  // the field itself counts as zero
    sum_ += (position_ & 1) ? uint64_t{bytes[i]} << 8 : bytes[i];
  }
}

uint32_t PeChecksum::Finish() const {
  uint64_t sum = sum_;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + position_);
}
