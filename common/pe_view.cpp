#include "common/pe_view.h"

uint16_t PeOptionalMagic(ByteView file, const PeHeaders& pe) {
  return file.Le16(pe.optionalHeader);
}

uint32_t PeDirectoryCountField(uint16_t magic) {
  return magic == kOptionalMagicPe32Plus ? 108 : 92;
}

bool FindPeDirectory(ByteView file, const PeHeaders& pe, uint32_t index, PeDirectory* directory) {
  uint64_t countAt = PeDirectoryCountField(PeOptionalMagic(file, pe));
  uint64_t entryEnd = countAt + 4 + 8 * uint64_t{index} + 8;
  if (entryEnd > pe.optionalSize || index >= file.Le32(pe.optionalHeader + countAt)) return false;
  uint64_t entry = pe.optionalHeader + entryEnd - 8;
  directory->rva = file.Le32(entry);
  directory->size = file.Le32(entry + 4);
  return true;
}
