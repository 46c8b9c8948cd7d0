// The PE layout the checks read:
//
//   0x00  "MZ" ... e_lfanew (u32 at 0x3C): offset of the PE header
//   0x80  the package locator (8 bytes), between the DOS stub and the PE header
//   PE    "PE\0\0", COFF header (20 bytes: machine, sections, ..., size of the
//         optional header at +16, characteristics at +18), optional header
//         (magic 0x10B or 0x20B; data directories at +96 or +112, the fifth
//         of them the certificate table), then the section table
//
// A locator that is not all zeros may be linker data in front of the PE
// header (some linkers keep a record of their own there), which a packer
// overwrites, or the mark of a package already appended. It is a package
// when it is valid and names bytes at or past the end of the image's last
// section, where packages go; one that begins right at that end but runs
// past the end of the file is a launcher whose package was cut off.
#include "image/launcher_stub.h"
#include "common/pe_view.h"

#include "common/container.h"

namespace {

constexpr uint16_t kImageFileExecutable = 0x0002;
constexpr uint16_t kImageFileDll = 0x2000;

struct PeLayout {
  uint32_t header;          // e_lfanew
  uint32_t optionalHeader;  // file offset
  uint16_t optionalSize;
  uint16_t sectionCount;
  uint16_t characteristics;
};

bool Has(const std::vector<uint8_t>& file, uint64_t offset, uint64_t length) {
  return offset + length <= file.size();
}

std::string ReadLayout(const std::vector<uint8_t>& file, PeLayout* pe) {
  if (!Has(file, 0, 0x40) || file[0] != 'M' || file[1] != 'Z')
    return "it is not a Windows program (no MZ header)";
  pe->header = LoadLe32(file.data() + 0x3C);
  if (!Has(file, pe->header, 24) || LoadLe32(file.data() + pe->header) != kPeSignature)
    return "it is not a Windows program (no PE header)";
  if (pe->header < kMinProgramSize)
    return "its PE header begins at offset " + std::to_string(pe->header) +
           ", inside the package locator at 128..135; relink it with the PE header at 136 or "
           "later";
  pe->sectionCount = LoadLe16(file.data() + pe->header + 6);
  pe->optionalSize = LoadLe16(file.data() + pe->header + 20);
  pe->characteristics = LoadLe16(file.data() + pe->header + 22);
  pe->optionalHeader = pe->header + 24;
  if (!(pe->characteristics & kImageFileExecutable) || (pe->characteristics & kImageFileDll))
    return "it is not a Windows program (a DLL, or not marked executable)";
  if (pe->optionalSize < 2 || !Has(file, pe->optionalHeader, pe->optionalSize))
    return "its PE optional header is missing or cut short";
  uint16_t magic = LoadLe16(file.data() + pe->optionalHeader);
  if (magic != kOptionalMagicPe32 && magic != kOptionalMagicPe32Plus)
    return "its PE optional header has an unknown format";
  return "";
}

bool IsSigned(const std::vector<uint8_t>& file, const PeLayout& pe) {
  bool plus = LoadLe16(file.data() + pe.optionalHeader) == kOptionalMagicPe32Plus;
  uint32_t countAt = plus ? 108 : 92;
  uint32_t directories = plus ? 112 : 96;
  if (pe.optionalSize < countAt + 4) return false;
  uint32_t count = LoadLe32(file.data() + pe.optionalHeader + countAt);
  uint32_t entry = directories + 8 * kCertificateDirectory;
  if (count <= kCertificateDirectory || pe.optionalSize < entry + 8) return false;
  const uint8_t* certificate = file.data() + pe.optionalHeader + entry;
  return LoadLe32(certificate) != 0 || LoadLe32(certificate + 4) != 0;
}

// The end of the image's raw data: the furthest section end, or the end of
// the section table.
uint64_t ImageEnd(const std::vector<uint8_t>& file, const PeLayout& pe) {
  uint64_t table = static_cast<uint64_t>(pe.optionalHeader) + pe.optionalSize;
  uint64_t end = table + 40 * static_cast<uint64_t>(pe.sectionCount);
  for (uint32_t i = 0; i < pe.sectionCount && Has(file, table + 40 * i, 40); i++) {
    const uint8_t* section = file.data() + table + 40 * i;
    uint64_t sectionEnd = static_cast<uint64_t>(LoadLe32(section + 20)) + LoadLe32(section + 16);
    if (LoadLe32(section + 16) != 0 && sectionEnd > end) end = sectionEnd;
  }
  return end;
}

}  // namespace

std::string CheckLauncherStub(const std::vector<uint8_t>& stub) {
  PeLayout pe = {};
  std::string problem = ReadLayout(stub, &pe);
  if (!problem.empty()) return problem;
  if (IsSigned(stub, pe))
    return "it is already signed; pack the unsigned launcher and sign the packed one";

  PackageLocator locator = {LoadLe32(stub.data() + kLocatorOffset),
                            LoadLe32(stub.data() + kLocatorOffset + 4)};
  uint64_t imageEnd = ImageEnd(stub, pe);
  if (locator.packageOffset >= imageEnd && IsLocatorValid(locator, stub.size()))
    return "it already carries a package (" + std::to_string(locator.packageLength) +
           " bytes at offset " + std::to_string(locator.packageOffset) +
           "); pack the original launcher";
  if (locator.packageOffset == imageEnd && locator.packageLength != 0)
    return "its package locator names a package that is missing: a packed launcher cut short; "
           "pack the original launcher";
  if (imageEnd > stub.size())
    return "it is cut short: its sections run to offset " + std::to_string(imageEnd) +
           ", past its end at " + std::to_string(stub.size()) + "; use the whole launcher";
  if (stub.size() >= kMaxProgramSize) return "it is 2 GiB or larger";
  return "";
}
