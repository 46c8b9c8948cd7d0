// The checks read the PE headers (common/pe_view.h) and the package
// locator, 8 bytes at 0x80, between the DOS stub and the PE header.
//
// A locator that is not all zeros may be linker data in front of the PE
// header (some linkers keep a record of their own there), which a packer
// overwrites, or the mark of a package already appended. It is a package
// when it is valid and names bytes at or past the end of the image's last
// section, where packages go; one that begins right at that end but runs
// past the end of the file is a launcher whose package was cut off.
#include "image/launcher_stub.h"

#include "common/container.h"
#include "common/pe_view.h"

namespace {

constexpr uint16_t kImageFileExecutable = 0x0002;
constexpr uint16_t kImageFileDll = 0x2000;

std::string ReadLayout(ByteView file, PeHeaders* pe) {
  PeHeadersFound found = FindPeHeaders(file, pe);
  if (found == kPeNoDosHeader) return "it is not a Windows program (no MZ header)";
  if (found == kPeNoSignature) return "it is not a Windows program (no PE header)";
  if (pe->signature < kLocatorEnd)
    return "its PE header begins at offset " + std::to_string(pe->signature) +
           ", inside the package locator at 128..135; relink it with the PE header at 136 or "
           "later";
  if (!(pe->characteristics & kImageFileExecutable) || (pe->characteristics & kImageFileDll))
    return "it is not a Windows program (a DLL, or not marked executable)";
  if (pe->optionalSize < 2 || !file.Has(pe->optionalHeader, pe->optionalSize))
    return "its PE optional header is missing or cut short";
  uint16_t magic = PeOptionalMagic(file, *pe);
  if (magic != kOptionalMagicPe32 && magic != kOptionalMagicPe32Plus)
    return "its PE optional header has an unknown format";
  return "";
}

bool IsSigned(ByteView file, const PeHeaders& pe) {
  PeDirectory certificate;
  return FindPeDirectory(file, pe, kCertificateDirectory, &certificate) &&
         (certificate.rva != 0 || certificate.size != 0);
}

// The end of the image's raw data: the furthest section end, or the end of
// the section table.
uint64_t ImageEnd(ByteView file, const PeHeaders& pe) {
  uint64_t end = pe.sectionTable + uint64_t{kSectionHeaderSize} * pe.sectionCount;
  PeSection section;
  for (uint32_t i = 0; i < pe.sectionCount && ReadPeSection(file, pe, i, &section); i++) {
    uint64_t sectionEnd = uint64_t{section.rawOffset} + section.rawSize;
    if (section.rawSize != 0 && sectionEnd > end) end = sectionEnd;
  }
  return end;
}

}  // namespace

std::string CheckLauncherStub(const std::vector<uint8_t>& stub) {
  ByteView file = ViewOf(stub);
  PeHeaders pe = {};
  std::string problem = ReadLayout(file, &pe);
  if (!problem.empty()) return problem;
  if (IsSigned(file, pe))
    return "it is already signed; pack the unsigned launcher and sign the packed one";

  PackageLocator locator = {LoadLe32(stub.data() + kLocatorOffset),
                            LoadLe32(stub.data() + kLocatorOffset + 4)};
  uint64_t imageEnd = ImageEnd(file, pe);
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
