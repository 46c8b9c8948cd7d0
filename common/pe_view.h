// The one reader of a PE/COFF image's headers, for every part that looks
// into a program: the launcher image's checks and resource writer, the
// version reader, and the x86 filter, which finds the code sections of the
// programs it packs (the launcher runs it too, so it stays plain functions
// over a ByteView). It finds fields and bounds them by the view; what a
// reader demands of them (a known optional-header format, sizes that fit)
// is the reader's own policy.
//
//   0x00  "MZ" ... e_lfanew (u32 at 0x3C): the offset of the PE signature
//   PE    "PE\0\0", COFF header (20 bytes: machine, section count at +6,
//         size of the optional header at +20, characteristics at +22),
//         optional header (magic 0x10B or 0x20B; the data directories'
//         count at +92 or +108, the directories behind it), section table
//         (40 bytes a section)
#pragma once

#include <cstdint>

#include "common/bytes.h"

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0", at e_lfanew
constexpr uint32_t kDosHeaderSize = 0x40;
constexpr uint32_t kDosPeOffsetField = 0x3C;
constexpr uint32_t kCoffHeaderEnd = 24;  // signature and COFF header
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;
constexpr uint32_t kSectionHeaderSize = 40;

// Fields of the optional header, as offsets from its start (PE32 and PE32+
// alike).
constexpr uint32_t kOptionalSectionAlignment = 32;
constexpr uint32_t kOptionalFileAlignment = 36;
constexpr uint32_t kOptionalSizeOfImage = 56;
constexpr uint32_t kOptionalSizeOfHeaders = 60;
constexpr uint32_t kOptionalCheckSum = 64;

// Indexes into the optional header's data directories.
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kBaseRelocationDirectory = 5;

// Section characteristics.
constexpr uint32_t kSectionCode = 0x00000020;
constexpr uint32_t kSectionInitializedData = 0x00000040;
constexpr uint32_t kSectionExecute = 0x20000000;

struct PeHeaders {
  uint64_t signature;  // e_lfanew
  uint16_t sectionCount;
  uint16_t optionalSize;     // as the COFF header says
  uint16_t characteristics;  // of the COFF header
  uint64_t optionalHeader;   // signature + 24
  uint64_t sectionTable;     // optionalHeader + optionalSize
};

enum PeHeadersFound {
  kPeHeadersFound,
  kPeNoDosHeader,  // under 64 bytes, or no "MZ"
  kPeNoSignature,  // no "PE\0\0" with a whole COFF header at e_lfanew
};

// Inline, as are the other readers the launcher's x86 filter calls, so that
// each caller keeps only the fields it reads.
inline PeHeadersFound FindPeHeaders(ByteView file, PeHeaders* pe) {
  if (!file.Has(0, kDosHeaderSize) || file.data[0] != 'M' || file.data[1] != 'Z')
    return kPeNoDosHeader;
  uint64_t at = LoadLe32(file.data + kDosPeOffsetField);
  if (!file.Has(at, kCoffHeaderEnd)) return kPeNoSignature;
  const uint8_t* coff = file.data + at;
  if (LoadLe32(coff) != kPeSignature) return kPeNoSignature;
  pe->signature = at;
  pe->sectionCount = LoadLe16(coff + 6);
  pe->optionalSize = LoadLe16(coff + 20);
  pe->characteristics = LoadLe16(coff + 22);
  pe->optionalHeader = at + kCoffHeaderEnd;
  pe->sectionTable = pe->optionalHeader + pe->optionalSize;
  return kPeHeadersFound;
}

// The optional header's magic, 0 when the view does not hold it.
uint16_t PeOptionalMagic(ByteView file, const PeHeaders& pe);
// Where the data directories' count lies, from the optional header's
// start: 108 for PE32+, else 92.
uint32_t PeDirectoryCountField(uint16_t magic);

struct PeDirectory {
  uint32_t rva;
  uint32_t size;
};
// The data directory `index`, when the optional header (as long as it says
// it is) holds it and the count covers it; fields the view does not hold
// read as 0.
bool FindPeDirectory(ByteView file, const PeHeaders& pe, uint32_t index, PeDirectory* directory);

struct PeSection {
  uint64_t header;  // file offset of its section header
  uint32_t virtualSize, address, rawSize, rawOffset, characteristics;
};
// The section header `index` of the table; false when the view does not
// hold it whole. The count is the caller's to respect.
inline bool ReadPeSection(ByteView file, const PeHeaders& pe, uint32_t index, PeSection* section) {
  uint64_t at = pe.sectionTable + uint64_t{index} * kSectionHeaderSize;
  if (!file.Has(at, kSectionHeaderSize)) return false;
  const uint8_t* header = file.data + at;
  section->header = at;
  section->virtualSize = LoadLe32(header + 8);
  section->address = LoadLe32(header + 12);
  section->rawSize = LoadLe32(header + 16);
  section->rawOffset = LoadLe32(header + 20);
  section->characteristics = LoadLe32(header + 36);
  return true;
}
