#include "launcher/worker.h"

#include "decode/notices.h"
#include "launcher/app/run_log.h"
#include "decode/unpack.h"
#include "launcher/run_state.h"

namespace {

VerifiedSetup g_verifiedSetup;

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

uint32_t CopyOutPackage() {
  StreamBuffer programBuffer, copyBuffer;
  FILE* program = g_platform.openFile(g_runState.programPath, "rb");
  if (!program) return 0;
  FILE* copy = g_platform.openFileIn(g_runState.workspace, kPackageCopyName, "wb");
  if (!copy) {
    fclose(program);
    return 0;
  }
  UseStreamBuffer(program, &programBuffer);
  UseStreamBuffer(copy, &copyBuffer);
  uint32_t fileCount = CopyPackageBody(program, copy, g_runState.noticeTarget);
  fclose(program);
  // A copy that cannot be flushed (a full disk) is no copy.
  if (fclose(copy) != 0) return 0;
  return fileCount;
}

unsigned long QW_THREAD_CALL ExtractionWorkerMain(void*) {
  ReleaseVerifiedSetup();  // a hold left by an earlier walk in this process
  void* target = g_runState.noticeTarget;
  uintptr_t packageCopyPath = reinterpret_cast<uintptr_t>(g_runState.packageCopyPath);
  uint32_t fileCount = CopyOutPackage();
  if (fileCount == 0) {
    g_platform.sendNotice(target, kNoticeDamagedPackage, packageCopyPath);
    return 0;
  }
  FILE* body = g_platform.openFileIn(g_runState.workspace, kPackageCopyName, "rb");
  if (!body) {
    g_platform.sendNotice(target, kNoticeOpenError, packageCopyPath);
    return 0;
  }
  StreamBuffer bodyBuffer;
  UseStreamBuffer(body, &bodyBuffer);
  char outputPath[kPathCapacity];  // valid while the final notice is handled
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
