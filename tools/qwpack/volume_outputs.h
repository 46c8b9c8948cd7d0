// The volumes of a set as qwpack writes them: NAME-1.qwv, NAME-2.qwv, ...
// beside the program file NAME.exe, each under a temporary name until the
// whole set is complete. The packing stream (encode/pipeline) writes into
// the part it is on and calls on the next volume when an entry would pass
// the part's end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/volume_set.h"
#include "encode/pipeline/package_stream.h"
#include "tools/qwpack/host/output_file.h"

// The path of volume `number` beside `programPath` (decode/volume_set.h).
std::string VolumePathBeside(const std::string& programPath, uint32_t number);

class VolumeOutputs {
 public:
  // The stream's first part goes into `program` from `packageOffset` on,
  // until StartFirstVolume sends it into volume 1 instead.
  VolumeOutputs(const std::string& programPath, OutputFile* program, uint64_t packageOffset);

  // Opens volume 1 and writes the first part there, from its offset 0.
  std::string StartFirstVolume();
  // The payload's files as HostPackageFiles reads them; writes to the part
  // the stream is on; the next volume on call.
  PackageFiles Files();
  bool HasVolumes() const { return !volumes_.empty(); }

  // Once the stream is done, its last part `lastLength` bytes long: writes
  // each volume's header and reads each back for its record.
  std::string Finish(uint64_t lastLength, std::vector<VolumeRecord>* records);
  // Renames every volume into place.
  std::string Commit();
  std::vector<std::string> Paths() const;

 private:
  std::string NextVolume(uint64_t partLength, uint64_t from, uint64_t length, uint64_t to);
  std::string OpenVolume();
  int CurrentFd() const;

  std::string programPath_;
  OutputFile* program_;
  uint64_t packageOffset_;
  std::vector<std::unique_ptr<OutputFile>> volumes_;
  std::vector<uint64_t> lengths_;  // of the volumes the stream has left
};
