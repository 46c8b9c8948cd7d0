#include "run/workspace.h"

#include <cstring>

#include "platform/platform.h"
#include "package/run_state.h"

namespace {

FreeSpaceExQuery g_freeSpaceEx = nullptr;

const char kWorkspacePrefix[] = "QW_";
const char kPackageCopyName[] = "\\QW.tmp";

// "QW_%08X": the prefix and exactly eight upper-case hexadecimal digits.
void FormatWorkspaceName(uint32_t stamp, char* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  memcpy(out, kWorkspacePrefix, 3);
  for (int i = 0; i < 8; i++) out[3 + i] = kDigits[(stamp >> (28 - 4 * i)) & 0xF];
  out[11] = '\0';
}

// The drive roots of GetLogicalDriveStringsA: one every 4 bytes, below the
// smaller of the reported length and the buffer.
bool ChooseFixedDrive(char* base) {
  char drives[kPathCapacity];
  memset(drives, 0, sizeof drives);
  uint32_t length = g_platform.getLogicalDriveStrings(kPathCapacity, drives);
  if (length > kPathCapacity) length = kPathCapacity;
  for (uint32_t offset = 0; offset < length; offset += 4) {
    const char* root = drives + offset;
    if (g_platform.getDriveType(root) != kDriveFixed) continue;
    if (!g_platform.pathExists(root) || !HasEnoughFreeSpace(root)) continue;
    size_t rootLength = strnlen(root, kPathCapacity - offset);
    if (rootLength == 0 || rootLength > kMaxWorkspaceBaseLength) continue;
    memcpy(base, root, rootLength);
    base[rootLength] = '\0';
    return true;
  }
  return false;
}

}  // namespace

void ResetFreeSpaceQuery() {
  g_freeSpaceEx = nullptr;
}

bool HasEnoughFreeSpace(const char* path) {
  if (!g_freeSpaceEx) g_freeSpaceEx = g_platform.findFreeSpaceEx();
  if (g_freeSpaceEx) {
    uint64_t availableToCaller, totalBytes, totalFreeBytes;
    return g_freeSpaceEx(path, &availableToCaller, &totalBytes, &totalFreeBytes) &&
           totalFreeBytes >= kWorkspaceFreeBytes;
  }
  uint32_t sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
  if (!g_platform.getDiskFreeSpace(path, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                   &totalClusters)) {
    return false;
  }
  uint64_t freeBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
  return freeBytes >= kWorkspaceFreeBytes;
}

uint32_t WorkspaceTrustees(bool tokenElevated) {
  uint32_t trustees = kTrusteeSystem | kTrusteeAdministrators;
  return tokenElevated ? trustees : trustees | kTrusteeTokenUser;
}

bool ChooseWorkspaceBase() {
  char* base = g_runState.workspacePath;
  base[0] = '\0';
  // A length beyond the buffer means that nothing was written.
  uint32_t length = g_platform.getTempPath(kPathCapacity, base);
  bool usable = length != 0 && length <= kMaxWorkspaceBaseLength;
  if (usable && g_platform.pathExists(base) && HasEnoughFreeSpace(base)) return true;
  base[0] = '\0';
  return ChooseFixedDrive(base);
}

bool PrepareWorkspace() {
  if (!ChooseWorkspaceBase()) return false;
  uint32_t trustees = WorkspaceTrustees(g_platform.isTokenElevated() != 0);
  char candidate[kPathCapacity];
  size_t baseLength = strlen(g_runState.workspacePath);
  memcpy(candidate, g_runState.workspacePath, baseLength);
  for (int attempt = 0; attempt < kWorkspaceAttempts; attempt++) {
    FormatWorkspaceName(g_platform.readTimeStampLow(), candidate + baseLength);
    // A name that exists (as a file or a directory) is never reused, and a
    // directory is ours only when this very call created it.
    if (g_platform.pathExists(candidate)) continue;
    if (!g_platform.createPrivateDirectory(candidate, trustees)) continue;
    if (!g_platform.pathExists(candidate)) continue;
    size_t length = baseLength + 11;
    memcpy(g_runState.workspacePath, candidate, length + 1);
    memcpy(g_runState.packageCopyPath, candidate, length);
    memcpy(g_runState.packageCopyPath + length, kPackageCopyName, sizeof kPackageCopyName);
    return true;
  }
  g_runState.workspacePath[0] = '\0';
  return false;
}
