// A volume set read on the host for list, verify and extract: the record
// from the program file, the volumes beside it copied out into one package
// copy as the launcher copies them, and what was wrong, by name.
#pragma once

#include <cstdio>
#include <string>

#include "decode/volume_set.h"

// Reads the set's record from the program file at `program`.
SetReading ReadHostVolumeSet(const std::string& program, VolumeSet* set);

// Copies the volumes beside `program` into `copy` (the package copy at
// `copyPath`), sending progress notices to `noticeTarget`. Returns 0 or the
// launcher's final notice for the failure; `explanation` then says, for a
// person, which file is wrong and how, and `noticePath` is the notice's
// value (the volume's path, or the copy's).
uint32_t CopyOutHostVolumes(const std::string& program, const VolumeSet& set, FILE* copy,
                            const std::string& copyPath, void* noticeTarget,
                            std::string* noticePath, std::string* explanation);

// Unpacks the set beside `program` into the held workspace of g_runState as
// the launcher does: the package copy QW.tmp made of every volume, checked,
// then walked as one package of the set's fileCount, with the notices going
// to g_runState's target and the worker's paths from g_runState. Returns the
// final notice; for a failure `noticeValue` is its worker path and
// `explanation`, when the fault is a volume's or the copy's, says it for a
// person. The caller deletes the package copy.
uint32_t ExtractHostVolumeSet(const std::string& program, const VolumeSet& set,
                              std::string* noticeValue, std::string* explanation);
