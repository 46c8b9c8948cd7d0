#include "tools/qwpack/volume_reader.h"

#include <memory>

#include "common/entry_names.h"
#include "decode/notices.h"
#include "decode/unpack.h"
#include "launcher/run_state.h"
#include "tools/qwpack/host/host_files.h"
#include "tools/qwpack/path_stand_ins.h"
#include "tools/qwpack/volume_outputs.h"

namespace {

struct HostVolumes {
  std::string program;
  std::string lastPath;  // in full: the worker's buffer holds kPathCapacity bytes
  StreamBuffer buffer;   // of each volume in turn, one open at a time
};

FILE* OpenHostVolume(void* context, uint32_t number, char* path) {
  HostVolumes* volumes = static_cast<HostVolumes*>(context);
  volumes->lastPath = VolumePathBeside(volumes->program, number);
  snprintf(path, kPathCapacity, "%s", volumes->lastPath.c_str());
  FILE* volume = HostOpenFile(volumes->lastPath, "rb");
  if (volume) UseStreamBuffer(volume, &volumes->buffer);
  return volume;
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

uint32_t CopyOutHostVolumes(const std::string& program, const VolumeSet& set, FILE* copy,
                            const std::string& copyPath, void* noticeTarget,
                            std::string* noticePath, std::string* explanation) {
  std::unique_ptr<HostVolumes> volumes(new HostVolumes{program, "", {}});
  char path[kPathCapacity];
  VolumeProblem problem = kVolumeSound;
  uint32_t code = CopyOutVolumes(set, {OpenHostVolume, volumes.get()}, copy, copyPath.c_str(),
                                 noticeTarget, path, &problem);
  if (code == 0) return 0;
  if (problem == kVolumeSound) {  // the copy could not be written
    *noticePath = copyPath;
    *explanation = "cannot write " + copyPath + ": " + HostErrorText();
    return code;
  }
  *noticePath = volumes->lastPath;
  uint32_t number = 0;
  while (number < set.header.volumeCount &&
         VolumePathBeside(program, number + 1) != volumes->lastPath)
    number++;
  *explanation = Explain(problem, volumes->lastPath, set.volumes[number], program);
  return code;
}

uint32_t ExtractHostVolumeSet(const std::string& program, const VolumeSet& set,
                              std::string* noticeValue, std::string* explanation) {
  *noticeValue = g_runState.packageCopyPath;
  FILE* copy = g_platform.openFileIn(g_runState.workspace, kPackageCopyName, "wb");
  if (!copy) return kNoticeDamagedPackage;
  std::unique_ptr<StreamBuffer> copyBuffer(new StreamBuffer);
  UseStreamBuffer(copy, copyBuffer.get());
  std::string failedPath;
  uint32_t code = CopyOutHostVolumes(program, set, copy, g_runState.packageCopyPath,
                                     g_runState.noticeTarget, &failedPath, explanation);
  if (fclose(copy) != 0 && code == 0) code = kNoticeDamagedPackage;
  if (code != 0) {
    if (code != kNoticeDamagedPackage) *noticeValue = AddStandIn(failedPath);
    return code;
  }
  FILE* body = g_platform.openFileIn(g_runState.workspace, kPackageCopyName, "rb");
  if (!body) return kNoticeOpenError;
  UseStreamBuffer(body, copyBuffer.get());
  char outputPath[kPathCapacity];
  UnpackJob job = {g_runState.workspacePath,
                   g_runState.workspace,
                   set.header.fileCount,
                   g_runState.noticeTarget,
                   true,
                   nullptr,
                   nullptr};
  uint32_t walked = UnpackPackageBody(body, job, outputPath);
  fclose(body);
  *noticeValue = outputPath;
  return walked;
}
