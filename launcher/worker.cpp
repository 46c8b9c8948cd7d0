#include "launcher/worker.h"

#include <cstdio>

#include "decode/notices.h"
#include "decode/unpack.h"
#include "decode/volume_set.h"
#include "launcher/app/run_log.h"
#include "launcher/run_state.h"

namespace {

VerifiedSetup g_verifiedSetup;
VolumeSet g_volumeSet;        // about 10 KB: kept off the worker's stack
StreamBuffer g_volumeBuffer;  // of each volume in turn, one open at a time

// "QWSetup.exe" at the workspace's root, in any case, as Windows finds it.
bool IsSetupProgram(const EntryHeader& header) {
  static const char kName[] = "qwsetup.exe";
  if (header.subdirectory[0] != '\0') return false;
  for (size_t i = 0; i < sizeof kName; i++) {
    char c = header.fileName[i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != kName[i]) return false;
  }
  return true;
}

// Logs each verified entry, and keeps the setup program's hold, taken by
// the walk the moment its entry was verified: the window starts the very
// bytes the walk checked.
void KeepVerifiedSetup(void*, const EntryReport& report) {
  LogEntry(*report.header, kNoticeSuccess, nullptr);
  if (!IsSetupProgram(*report.header)) return;
  ReleaseVerifiedSetup();
  g_verifiedSetup.file = report.held;
  g_verifiedSetup.written = report.heldDigest;
}

}  // namespace

const VerifiedSetup& VerifiedSetupProgram() {
  return g_verifiedSetup;
}

void ReleaseVerifiedSetup() {
  if (g_verifiedSetup.file) g_platform.release(g_verifiedSetup.file);
  g_verifiedSetup.file = nullptr;
}

namespace {

// Volume `number` of the run's set, beside its program file. Its bytes are
// hashed as they are copied into the workspace, and only the copy is read
// afterwards, so nothing keeps others from the volume itself.
FILE* OpenVolumeBesideProgram(void*, uint32_t number, char* path) {
  if (!VolumeFilePath(g_runState.programPath, number, path, kPathCapacity)) {
    snprintf(path, kPathCapacity, "%s", g_runState.programPath);  // the set, for the message
    return nullptr;
  }
  FILE* volume = g_platform.openFile(path, "rb");
  if (volume) UseStreamBuffer(volume, &g_volumeBuffer);
  return volume;
}

// Copies what `program` holds into `copy`: its package body, or, for a
// set, every volume checked against the set's record. The final notice of
// a failure, or 0 with *fileCount set.
uint32_t CopyOutFrom(FILE* program, FILE* copy, uint32_t* fileCount, char* path) {
  // A fileCount of 0 that is no sound set's record is copied whole and then
  // refused as damaged, as any package of no entries.
  if (ReadVolumeSet(program, &g_volumeSet) == kSetRead) {
    *fileCount = g_volumeSet.header.fileCount;
    VolumeOpener opener = g_runState.volumes;
    if (!opener.open) opener = {OpenVolumeBesideProgram, nullptr};
    return CopyOutVolumes(g_volumeSet, opener, copy, g_runState.packageCopyPath,
                          g_runState.noticeTarget, path);
  }
  *fileCount = CopyPackageBody(program, copy, g_runState.noticeTarget);
  return *fileCount == 0 ? static_cast<uint32_t>(kNoticeDamagedPackage) : 0;
}

}  // namespace

uint32_t CopyOutPackage(uint32_t* fileCount, char* path) {
  StreamBuffer programBuffer, copyBuffer;
  snprintf(path, kPathCapacity, "%s", g_runState.packageCopyPath);
  FILE* program = g_platform.openFile(g_runState.programPath, "rb");
  if (!program) return kNoticeDamagedPackage;
  FILE* copy = g_platform.openFileIn(g_runState.workspace, kPackageCopyName, "wb");
  if (!copy) {
    fclose(program);
    return kNoticeDamagedPackage;
  }
  UseStreamBuffer(program, &programBuffer);
  UseStreamBuffer(copy, &copyBuffer);
  uint32_t code = CopyOutFrom(program, copy, fileCount, path);
  fclose(program);
  // A copy that cannot be flushed (a full disk) is no copy.
  if (fclose(copy) != 0 && code == 0) code = kNoticeDamagedPackage;
  if (code == kNoticeDamagedPackage)
    snprintf(path, kPathCapacity, "%s", g_runState.packageCopyPath);
  return code;
}

unsigned long QW_THREAD_CALL ExtractionWorkerMain(void*) {
  ReleaseVerifiedSetup();  // a hold left by an earlier walk in this process
  void* target = g_runState.noticeTarget;
  uintptr_t packageCopyPath = reinterpret_cast<uintptr_t>(g_runState.packageCopyPath);
  char outputPath[kPathCapacity];  // valid while the final notice is handled
  uint32_t fileCount = 0;
  uint32_t copied = CopyOutPackage(&fileCount, outputPath);
  if (copied != 0) {
    g_platform.sendNotice(target, copied, reinterpret_cast<uintptr_t>(outputPath));
    return 0;
  }
  FILE* body = g_platform.openFileIn(g_runState.workspace, kPackageCopyName, "rb");
  if (!body) {
    g_platform.sendNotice(target, kNoticeOpenError, packageCopyPath);
    return 0;
  }
  StreamBuffer bodyBuffer;
  UseStreamBuffer(body, &bodyBuffer);
  UnpackJob job = {g_runState.workspacePath,
                   g_runState.workspace,
                   fileCount,
                   target,
                   true,
                   KeepVerifiedSetup,
                   nullptr,
                   IsSetupProgram};
  uint32_t code = UnpackPackageBody(body, job, outputPath);
  fclose(body);
  uintptr_t value = code == kNoticeSuccess ? 0 : reinterpret_cast<uintptr_t>(outputPath);
  g_platform.sendNotice(target, code, value);
  return 0;
}
