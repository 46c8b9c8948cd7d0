// The few numbers of the PE/COFF layout that more than one reader needs:
// those of the launcher image, and the x86 filter's, which finds the code
// sections of the programs it packs.
#pragma once

#include <cstdint>

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0", at e_lfanew
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;

// Indexes into the optional header's data directories.
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kBaseRelocationDirectory = 5;
