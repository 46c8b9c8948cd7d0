#include "tools/qwpack/volume_reader.h"

#include <memory>

#include "common/entry_names.h"
#include "decode/notices.h"
#include "tools/qwpack/host/host_files.h"
#include "tools/qwpack/path_stand_ins.h"
#include "tools/qwpack/volume_outputs.h"

namespace {

// The worker's path buffer holds kPathCapacity ANSI bytes: a volume is
// named there by a stand-in for its host path, and in full in lastPath.
FILE* OpenHostVolume(void* context, uint32_t number, char* path) {
  HostVolumes* volumes = static_cast<HostVolumes*>(context);
  volumes->lastPath = VolumePathBeside(volumes->program, number);
  snprintf(path, kPathCapacity, "%s", AddStandIn(volumes->lastPath).c_str());
  FILE* volume = HostOpenFile(volumes->lastPath, "rb");
  if (volume) UseStreamBuffer(volume, &volumes->buffer);
  return volume;
}

// The index of the set's volume at `path`, or -1.
int VolumeIndexOf(const std::string& program, const VolumeSet& set, const std::string& path) {
  for (uint32_t i = 0; i < set.header.volumeCount; i++)
    if (VolumePathBeside(program, i + 1) == path) return static_cast<int>(i);
  return -1;
}

std::string Explain(VolumeProblem problem, const std::string& volume, const VolumeRecord& record,
                    const std::string& program) {
  std::string recorded = std::to_string(record.length) + " bytes " + program + " records for it";
  switch (problem) {
    case kVolumeMissing:
      return volume + ": missing (" + HostErrorText() + "); " + program +
             " needs every volume of its set beside it";
    case kVolumeShorter:
      return volume + ": shorter than the " + recorded;
    case kVolumeLonger:
      return volume + ": longer than the " + recorded;
    default:
      return volume + ": changed: its SHA-256 is not the one " + program + " records for it";
  }
}

}  // namespace

SetReading ReadHostVolumeSet(const std::string& program, VolumeSet* set) {
  FILE* file = HostOpenFile(program, "rb");
  if (!file) return kNotASet;  // the ordinary path says why it cannot be opened
  SetReading reading = ReadVolumeSet(file, set);
  fclose(file);
  return reading;
}

VolumeOpener HostVolumeOpener(HostVolumes* volumes) {
  return {OpenHostVolume, volumes};
}

uint32_t CopyOutHostVolumes(const std::string& program, const VolumeSet& set, FILE* copy,
                            const std::string& copyPath, void* noticeTarget,
                            std::string* explanation) {
  std::unique_ptr<HostVolumes> volumes(new HostVolumes{program, "", {}});
  char path[kPathCapacity];
  VolumeProblem problem = kVolumeSound;
  uint32_t code = CopyOutVolumes(set, HostVolumeOpener(volumes.get()), copy, copyPath.c_str(),
                                 noticeTarget, path, &problem);
  if (code == 0) return 0;
  if (problem == kVolumeSound) {  // the copy could not be written
    *explanation = "cannot write " + copyPath + ": " + HostErrorText();
    return code;
  }
  int index = VolumeIndexOf(program, set, volumes->lastPath);
  *explanation = Explain(problem, volumes->lastPath, set.volumes[index], program);
  return code;
}

std::string ExplainVolumeRefusal(const std::string& program, const VolumeSet& set,
                                 const std::string& volumePath) {
  int index = VolumeIndexOf(program, set, volumePath);
  if (index < 0) return "";
  const VolumeRecord& record = set.volumes[index];
  FILE* volume = HostOpenFile(volumePath, "rb");
  VolumeProblem problem = volume ? CheckVolumeLength(volume, record) : kVolumeMissing;
  if (volume) fclose(volume);
  return Explain(problem, volumePath, record, program);
}
