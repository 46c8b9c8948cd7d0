// A volume set read on the host for list, verify and extract: the record
// from the program file, the volumes beside it copied out into one package
// copy as the launcher copies them, and what was wrong, by name.
#pragma once

#include <cstdio>
#include <string>

#include "decode/unpack.h"
#include "decode/volume_set.h"

// Reads the set's record from the program file at `program`.
SetReading ReadHostVolumeSet(const std::string& program, VolumeSet* set);

// The volumes beside `program`, reached for the launcher's worker
// (RunState::volumes) or for CopyOutVolumes: one open at a time, named in
// notices by a stand-in for its host path, the last one opened in full.
struct HostVolumes {
  std::string program;
  std::string lastPath;
  StreamBuffer buffer;
};
VolumeOpener HostVolumeOpener(HostVolumes* volumes);

// Copies the volumes beside `program` into `copy` (the package copy at
// `copyPath`), sending progress notices to `noticeTarget`. Returns 0 or the
// launcher's final notice for the failure; `explanation` then says, for a
// person, which file is wrong and how.
uint32_t CopyOutHostVolumes(const std::string& program, const VolumeSet& set, FILE* copy,
                            const std::string& copyPath, void* noticeTarget,
                            std::string* explanation);

// Why the worker refused the set's volume at `volumePath`, for a person:
// missing, shorter or longer than its record, or else changed, as the
// volume is now. Empty when the path is none of the set's volumes (the
// failure was an entry's).
std::string ExplainVolumeRefusal(const std::string& program, const VolumeSet& set,
                                 const std::string& volumePath);
