// The resource section is rewritten where it lies and may grow or shrink:
// nothing in the code or data refers to resource addresses, which Windows
// finds through the data directory alone. GNU ld puts .rsrc last but for
// the base relocations (.reloc), which the launcher's build checks
// (cmake/build/move_pe_header.py). The relocations name the addresses they fix,
// never their own, so .reloc moves behind the rebuilt resources unchanged
// but for its place.
#include "image/resource_section.h"

#include <algorithm>

#include "common/container.h"
#include "common/pe_view.h"
#include "image/pe_checksum.h"

namespace {

constexpr uint32_t kMostFileAlignment = 0x10000;

// Where the fields this file reads and writes lie.
struct ImageLayout {
  PeHeaders pe = {};
  uint64_t directories = 0;  // the first data directory
  uint32_t directoryCount = 0;
  uint32_t sectionAlignment = 0, fileAlignment = 0;
  uint64_t headersEnd = 0;  // the section table's end, or SizeOfHeaders when that is further
  std::vector<PeSection> sections;
};

std::string ReadLayout(const std::vector<uint8_t>& image, ImageLayout* layout) {
  ByteView file = ViewOf(image);
  PeHeaders& pe = layout->pe;
  if (FindPeHeaders(file, &pe) != kPeHeadersFound) return "not a Windows program";
  if (pe.optionalSize < 96 || !file.Has(pe.optionalHeader, pe.optionalSize))
    return "its optional header is cut short";
  uint16_t magic = PeOptionalMagic(file, pe);
  if (magic != kOptionalMagicPe32 && magic != kOptionalMagicPe32Plus)
    return "its optional header is unknown";
  uint32_t countAt = PeDirectoryCountField(magic);
  layout->directories = pe.optionalHeader + countAt + 4;
  if (pe.optionalSize < countAt + 4) return "its optional header is cut short";
  layout->directoryCount = LoadLe32(&image[pe.optionalHeader + countAt]);
  if (uint64_t{layout->directoryCount} * 8 > pe.optionalSize - countAt - 4)
    return "its data directories run past the optional header";
  layout->sectionAlignment = LoadLe32(&image[pe.optionalHeader + kOptionalSectionAlignment]);
  layout->fileAlignment = LoadLe32(&image[pe.optionalHeader + kOptionalFileAlignment]);
  if (!IsPowerOfTwo(layout->sectionAlignment) || !IsPowerOfTwo(layout->fileAlignment) ||
      layout->fileAlignment > kMostFileAlignment)
    return "its section or file alignment is not one Windows loads";
  uint64_t tableEnd = pe.sectionTable + uint64_t{pe.sectionCount} * kSectionHeaderSize;
  if (!file.Has(pe.sectionTable, tableEnd - pe.sectionTable))
    return "its section table is cut short";
  layout->headersEnd =
      std::max<uint64_t>(tableEnd, LoadLe32(&image[pe.optionalHeader + kOptionalSizeOfHeaders]));
  layout->sections.resize(pe.sectionCount);
  for (uint32_t i = 0; i < pe.sectionCount; i++) ReadPeSection(file, pe, i, &layout->sections[i]);
  return "";
}

// The section that holds the resource directory, or null.
const PeSection* ResourceSection(const std::vector<uint8_t>& image, const ImageLayout& layout,
                                 uint32_t* rva) {
  PeDirectory resources;
  if (!FindPeDirectory(ViewOf(image), layout.pe, kResourceDirectory, &resources)) return nullptr;
  *rva = resources.rva;
  for (const PeSection& section : layout.sections)
    if (*rva >= section.address && *rva - section.address < section.rawSize) return &section;
  return nullptr;
}

// The section that follows `resources` in memory, or null; a section
// other than the base relocations there makes the image one we cannot
// rewrite.
std::string FindTrailingSection(const std::vector<uint8_t>& image, const ImageLayout& layout,
                                const PeSection& resources, uint32_t rva,
                                const PeSection** trailing) {
  if (rva != resources.address)
    return "its resource directory does not begin its section; link it as the launcher's build "
           "does, with the resources last";
  if (resources.rawOffset < layout.headersEnd) return "its resource section overlaps its headers";
  *trailing = nullptr;
  uint64_t end = uint64_t{resources.rawOffset} + resources.rawSize;
  for (const PeSection& other : layout.sections) {
    if (&other == &resources || other.address < resources.address) continue;
    PeDirectory relocations = {0, 0};
    FindPeDirectory(ViewOf(image), layout.pe, kBaseRelocationDirectory, &relocations);
    if (*trailing || other.address != relocations.rva || other.rawOffset != end)
      return "sections other than the base relocations follow its resources; link it as the "
             "launcher's build does, with the resources last";
    *trailing = &other;
    end += other.rawSize;
  }
  for (const PeSection& other : layout.sections)
    if (other.rawSize && uint64_t{other.rawOffset} + other.rawSize > resources.rawOffset &&
        &other != &resources && &other != *trailing)
      return "a section's data lies behind its resources in the file";
  if (end != image.size()) return "data follows its last section";
  if (LoadLe32(&image[layout.pe.signature + 12]) != 0)
    return "it carries a COFF symbol table behind its sections";
  return "";
}

}  // namespace

std::string ReadImageResources(const std::vector<uint8_t>& image, ResourceTree* tree) {
  tree->clear();
  ImageLayout layout;
  std::string problem = ReadLayout(image, &layout);
  if (!problem.empty()) return problem;
  uint32_t rva = 0;
  const PeSection* section = ResourceSection(image, layout, &rva);
  if (!section) return "it has no resources";
  uint64_t rawEnd = uint64_t{section->rawOffset} + section->rawSize;
  if (rawEnd > image.size()) return "its resource section runs past the end of the file";
  std::vector<uint8_t> bytes(image.begin() + section->rawOffset, image.begin() + rawEnd);
  return ReadResourceTree(bytes, section->address, rva, tree);
}

namespace {

// The resource section and the one behind it, laid out as a rebuild in
// place needs them; an empty string, or why they are not.
std::string LocateResourcesLast(const std::vector<uint8_t>& image, ImageLayout* layout,
                                const PeSection** section, const PeSection** trailing) {
  std::string problem = ReadLayout(image, layout);
  if (!problem.empty()) return problem;
  uint32_t rva = 0;
  *section = ResourceSection(image, *layout, &rva);
  if (!*section) return "it has no resource section";
  return FindTrailingSection(image, *layout, **section, rva, trailing);
}

}  // namespace

std::string CheckResourcesLast(const std::vector<uint8_t>& image) {
  ImageLayout layout;
  const PeSection *section = nullptr, *trailing = nullptr;
  return LocateResourcesLast(image, &layout, &section, &trailing);
}

std::string ReplaceImageResources(std::vector<uint8_t>* image, const ResourceTree& tree) {
  ImageLayout layout;
  const PeSection *section = nullptr, *trailing = nullptr;
  std::string problem = LocateResourcesLast(*image, &layout, &section, &trailing);
  if (!problem.empty()) return problem;

  std::vector<uint8_t> bytes;
  problem = WriteResourceTree(tree, section->address, &bytes);
  if (!problem.empty()) return problem;
  uint64_t rawSize = AlignUp(bytes.size(), layout.fileAlignment);
  uint64_t memoryEnd = AlignUp(uint64_t{section->address} + bytes.size(), layout.sectionAlignment);
  std::vector<uint8_t> trailingBytes;
  if (trailing) {
    auto begin = image->begin() + trailing->rawOffset;
    trailingBytes.assign(begin, begin + trailing->rawSize);
    memoryEnd = AlignUp(memoryEnd + trailing->virtualSize, layout.sectionAlignment);
  }
  uint64_t fileEnd = uint64_t{section->rawOffset} + rawSize + trailingBytes.size();
  if (memoryEnd > 0xFFFFFFFFu || fileEnd > kMaxProgramSize)
    return "its resources would grow past what a program can hold";

  std::vector<uint8_t>& out = *image;
  uint8_t* optional = &out[layout.pe.optionalHeader];
  if (section->characteristics & kSectionInitializedData) {
    uint32_t initialized = LoadLe32(optional + 8) - section->rawSize;
    StoreLe32(optional + 8, initialized + static_cast<uint32_t>(rawSize));
  }
  StoreLe32(optional + kOptionalSizeOfImage, static_cast<uint32_t>(memoryEnd));
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
