// Reading a volume set (common/volume_set.h): the record in the program
// file, the volumes' names beside it, and the set's package copy, made of
// every volume's entries after each volume has been checked against the
// record. Plain functions over open streams, as decode/unpack.h.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/volume_set.h"

// The record as the program file carries it: about 10 KB at most.
struct VolumeSet {
  SetHeader header;
  VolumeRecord volumes[kMaxVolumes];
};

enum SetReading {
  kNotASet,     // no package, or a package whose fileCount is not 0: read it as ever
  kSetRead,     // `set` holds the record
  kSetDamaged,  // fileCount 0 without a sound record (length, magic, counts, CRC)
};

// Reads the program file's package as a set's record.
SetReading ReadVolumeSet(FILE* program, VolumeSet* set);

// The path of volume `number` beside `programPath`: the program's path less
// a final ".exe" (any case), then "-<number>.qwv". False when it does not
// fit in `capacity` bytes. Only ASCII bytes are looked at, and '.' is never
// the trail byte of a double-byte character, so any ANSI or UTF-8 path works.
bool VolumeFilePath(const char* programPath, uint32_t number, char* path, size_t capacity);

enum VolumeProblem {
  kVolumeSound,
  kVolumeMissing,  // it cannot be opened
  kVolumeShorter,
  kVolumeLonger,   // 2 GiB or more counts as longer
  kVolumeChanged,  // its length is right, its SHA-256 (or its number) is not
};

// Sizes the open volume against its record; leaves the position anywhere.
VolumeProblem CheckVolumeLength(FILE* volume, const VolumeRecord& record);

// How the caller reaches a set's volumes: the launcher beside its program
// file, qwpack on the host.
struct VolumeOpener {
  // Opens volume `number` (1-based) for reading in binary, or returns null;
  // writes its path, for messages, into `path` (kPathCapacity bytes) either
  // way.
  FILE* (*open)(void* context, uint32_t number, char* path);
  void* context;
};

// Makes the set's package copy: first opens and sizes every volume, so that
// a missing, shorter or longer one is refused before anything is copied;
// then copies each volume's entries (its bytes past its four-byte header) to
// the end of `copy`, hashing all of its bytes as they go by, and refuses it
// when its SHA-256 is not the record's. Sends a progress notice 0..100 over
// all the volumes' bytes whenever the position moves. Returns 0, or the
// final notice the failure calls for, with `path` its value: open error
// (missing) or checksum error (shorter, longer, changed) with the volume's
// path; damaged package with `copyPath` when the copy cannot be written.
// `problem`, when given, receives what was wrong with the volume. Closes
// every volume it opened; `copy` stays open.
uint32_t CopyOutVolumes(const VolumeSet& set, const VolumeOpener& opener, FILE* copy,
                        const char* copyPath, void* noticeTarget, char* path,
                        VolumeProblem* problem = nullptr);
