#include "launcher/app/workspace.h"

#include <cstdio>
#include <cstring>

#include "launcher/run_state.h"
#include "platform/platform.h"

namespace {

FreeSpaceExQuery g_freeSpaceEx = nullptr;
HeldHandle g_workspaceHold = nullptr;  // from the workspace's creation to the setup's start

// Three ACEs, one with the longest SID, and a label.
constexpr size_t kSecurityCapacity = 96 + kSidTextCapacity;

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

bool WorkspaceSecurity(const TokenFacts& token, char* sddl, size_t capacity) {
  const char* user = token.userSid;
  bool isSid = strncmp(user, "S-", 2) == 0 && strspn(user + 2, "0123456789-") == strlen(user + 2);
  if (!isSid) return false;
  bool grantUser = !token.administratorsMember;
  int length = snprintf(sddl, capacity, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)%s%s%s%s",
                        grantUser ? "(A;OICI;FA;;;" : "", grantUser ? user : "",
                        grantUser ? ")" : "", token.highIntegrity ? "S:(ML;OICI;NW;;;HI)" : "");
  return length > 0 && static_cast<size_t>(length) < capacity;
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

void ReleaseWorkspace() {
  if (g_workspaceHold) g_platform.release(g_workspaceHold);
  g_workspaceHold = nullptr;
}

WorkspaceOutcome PrepareWorkspace() {
  g_runState.workspacePath[0] = '\0';
  TokenFacts token;
  char sddl[kSecurityCapacity];
  if (!g_platform.readToken(&token) || !WorkspaceSecurity(token, sddl, sizeof sddl))
    return kWorkspaceTokenUnreadable;
  if (!ChooseWorkspaceBase()) return kWorkspaceNoRoom;
  char candidate[kPathCapacity];
  size_t baseLength = strlen(g_runState.workspacePath);
  memcpy(candidate, g_runState.workspacePath, baseLength);
  for (int attempt = 0; attempt < kWorkspaceAttempts; attempt++) {
    FormatWorkspaceName(g_platform.readTimeStampLow(), candidate + baseLength);
    // A name that exists (as a file or a directory) is never reused, and a
    // directory is ours only when this very call created and holds it.
    if (g_platform.pathExists(candidate)) continue;
    g_workspaceHold = g_platform.createHeldDirectory(candidate, sddl);
    if (!g_workspaceHold) continue;
    size_t length = baseLength + 11;
    memcpy(g_runState.workspacePath, candidate, length + 1);
    memcpy(g_runState.packageCopyPath, candidate, length);
    memcpy(g_runState.packageCopyPath + length, kPackageCopyName, sizeof kPackageCopyName);
    return kWorkspaceReady;
  }
  g_runState.workspacePath[0] = '\0';
  return kWorkspaceNoRoom;
}
