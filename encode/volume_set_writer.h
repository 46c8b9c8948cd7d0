// Writes a volume set's record (common/volume_set.h): the package a set's
// program file carries, and each volume's digest as the record holds it.
#pragma once

#include <cstdint>
#include <vector>

#include "common/volume_set.h"

// fileCount 0, the guard entry, the set header, the volume records and their
// CRC: SetPackageLength(volumes.size()) bytes.
std::vector<uint8_t> BuildSetPackage(const SetHeader& header,
                                     const std::vector<VolumeRecord>& volumes);

// The record of a volume's bytes: their length and SHA-256.
VolumeRecord RecordOfVolume(const uint8_t* bytes, uint64_t length);
