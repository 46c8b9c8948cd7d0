// What unpacking a program file's package takes on disk, read before a
// workspace is chosen: the package copy and the files it unpacks to.
#pragma once

#include <cstdint>
#include <cstdio>

struct PackageNeeds {
  uint64_t copyBytes;  // the package copy: the package's length; for a set, the volumes' too
  uint64_t fileCount;  // entries
  uint64_t fileBytes;  // their fileSize summed
};

// Reads the needs from the program file without reading the blocks: a set's
// from its record (decode/volume_set.h); a package's by walking its entry
// headers from one to the next by dataEnd, as far as they are consistent
// (magic, dataStart right behind the header, dataEnd inside the package),
// so at most packageLength / 224 headers whatever the package holds. The
// walk that unpacks checks every entry; this one only counts, so a damaged
// package may be counted short, and the walk then reports it. False when
// there is no package or a set's record is damaged.
bool ReadPackageNeeds(FILE* program, PackageNeeds* needs);
