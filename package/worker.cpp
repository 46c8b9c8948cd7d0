#include "package/worker.h"

#include "package/unpack.h"
#include "package/notices.h"
#include "package/run_state.h"

uint32_t CopyOutPackage() {
  StreamBuffer programBuffer, copyBuffer;
  FILE* program = g_platform.openFile(g_runState.programPath, "rb");
  if (!program) return 0;
  FILE* copy = g_platform.openFile(g_runState.packageCopyPath, "wb");
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
  void* target = g_runState.noticeTarget;
  uintptr_t packageCopyPath = reinterpret_cast<uintptr_t>(g_runState.packageCopyPath);
  uint32_t fileCount = CopyOutPackage();
  if (fileCount == 0) {
    g_platform.sendNotice(target, kNoticeDamagedPackage, packageCopyPath);
    return 0;
  }
  FILE* body = g_platform.openFile(g_runState.packageCopyPath, "rb");
  if (!body) {
    g_platform.sendNotice(target, kNoticeOpenError, packageCopyPath);
    return 0;
  }
  StreamBuffer bodyBuffer;
  UseStreamBuffer(body, &bodyBuffer);
  char outputPath[kPathCapacity];  // valid while the final notice is handled
  UnpackJob job = {g_runState.workspacePath, fileCount, target, true, nullptr, nullptr};
  uint32_t code = UnpackPackageBody(body, job, outputPath);
  fclose(body);
  uintptr_t value = code == kNoticeSuccess ? 0 : reinterpret_cast<uintptr_t>(outputPath);
  g_platform.sendNotice(target, code, value);
  return 0;
}
