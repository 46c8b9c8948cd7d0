#include "launcher/app/workspace.h"

#include <cstdio>
#include <cstring>

#include "launcher/app/run_log.h"
#include "launcher/run_state.h"
#include "platform/platform.h"

namespace {

FreeSpaceExQuery g_freeSpaceEx = nullptr;
HeldHandle g_workspaceHold = nullptr;  // from the workspace's creation to the setup's start

const char kWorkspacePrefix[] = "QW_";
constexpr size_t kWorkspaceNameLength = 11;  // "QW_" and 8 digits

// "QW_%08X": the prefix and exactly eight upper-case hexadecimal digits.
void FormatWorkspaceName(uint32_t stamp, char* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  memcpy(out, kWorkspacePrefix, 3);
  for (int i = 0; i < 8; i++) out[3 + i] = kDigits[(stamp >> (28 - 4 * i)) & 0xF];
  out[11] = '\0';
}

// The bases a workspace may go in, in the order they are tried: the
// temporary-files path when it exists and has the space, then each fixed
// drive's root, in the platform's order, that exists and has the space.
// The drive roots of GetLogicalDriveStringsA lie one every 4 bytes, below
// the smaller of the reported length and the buffer. Each base is queried
// only when the one before it could not take the workspace.
class WorkspaceBases {
 public:
  explicit WorkspaceBases(uint64_t needed) : needed_(needed) {}
  uint64_t FreeBytes() const { return freeBytes_; }

  // The next base into `base` (ending with a separator); false when none
  // is left.
  bool Next(char* base) {
    if (!tempTried_) {
      tempTried_ = true;
      if (UsableTempPath(base)) return true;
    }
    if (!drivesRead_) {
      drivesRead_ = true;
      memset(drives_, 0, sizeof drives_);
      drivesLength_ = g_platform.getLogicalDriveStrings(kPathCapacity, drives_);
      if (drivesLength_ > kPathCapacity) drivesLength_ = kPathCapacity;
    }
    for (; offset_ < drivesLength_; offset_ += 4) {
      const char* root = drives_ + offset_;
      if (g_platform.getDriveType(root) != kDriveFixed) {
        LogVolume(root, kVolumeNotFixed, false, 0);
        continue;
      }
      size_t rootLength = strnlen(root, kPathCapacity - offset_);
      if (!HasRoom(root) || rootLength == 0) continue;
      if (rootLength > kMaxWorkspaceBaseLength) {
        LogVolume(root, kVolumeTooLong, false, 0);
        continue;
      }
      memcpy(base, root, rootLength);
      base[rootLength] = '\0';
      offset_ += 4;
      return true;
    }
    return false;
  }

 private:
  // Whether the base exists and has the space, as the log says it.
  bool HasRoom(const char* base) {
    if (!g_platform.pathExists(base)) {
      LogVolume(base, kVolumePathMissing, false, 0);
      return false;
    }
    uint64_t freeBytes = 0;
    bool known = QueryFreeBytes(base, &freeBytes);
    freeBytes_ = freeBytes;
    if (known && freeBytes >= needed_) return true;
    LogVolume(base, kVolumeNoRoom, known, freeBytes);
    return false;
  }

  bool UsableTempPath(char* base) {
    base[0] = '\0';
    // A length beyond the buffer means that nothing was written.
    uint32_t length = g_platform.getTempPath(kPathCapacity, base);
    if (length == 0) return false;
    if (length > kMaxWorkspaceBaseLength) {
      if (length < kPathCapacity) LogVolume(base, kVolumeTooLong, false, 0);
      return false;
    }
    return HasRoom(base);
  }

  uint64_t needed_;
  uint64_t freeBytes_ = 0;  // of the base Next gave last
  bool tempTried_ = false;
  bool drivesRead_ = false;
  char drives_[kPathCapacity];
  uint32_t drivesLength_ = 0;
  uint32_t offset_ = 0;
};

// Takes the new, held workspace as the run's: its path as the system
// resolves the held handle, which no junction or link above it can point
// elsewhere while the handle is held. False when it has none that fits
// (or the code page cannot hold it): the base is then given up.
bool AdoptWorkspace(HeldHandle hold) {
  char final[kPathCapacity];
  if (!g_platform.finalPath(hold, final, sizeof final)) return false;
  size_t length = strlen(final);
  if (length == 0 || length > kMaxWorkspaceBaseLength + kWorkspaceNameLength) return false;
  memcpy(g_runState.workspacePath, final, length + 1);
  memcpy(g_runState.packageCopyPath, final, length);
  g_runState.packageCopyPath[length] = '\\';
  memcpy(g_runState.packageCopyPath + length + 1, kPackageCopyName, sizeof kPackageCopyName);
  g_runState.workspace = hold;
  g_workspaceHold = hold;
  return true;
}

// Creates base + "QW_" + 8 digits, drawing a new name while one exists or
// cannot be made and held, at most kWorkspaceAttempts times.
bool MakeWorkspaceIn(const char* base, const char* sddl) {
  char candidate[kPathCapacity];
  size_t baseLength = strlen(base);
  memcpy(candidate, base, baseLength);
  for (int attempt = 0; attempt < kWorkspaceAttempts; attempt++) {
    FormatWorkspaceName(g_platform.readTimeStampLow(), candidate + baseLength);
    // A name that exists (as a file or a directory) is never reused, and a
    // directory is ours only when this very call created and holds it.
    if (g_platform.pathExists(candidate)) continue;
    HeldHandle hold = g_platform.createHeldDirectory(candidate, sddl);
    if (!hold) continue;
    if (AdoptWorkspace(hold)) return true;
    g_platform.release(hold);  // made, but with no path to name it by: the next base
    return false;
  }
  return false;
}

}  // namespace

void ResetFreeSpaceQuery() {
  g_freeSpaceEx = nullptr;
}

bool QueryFreeBytes(const char* path, uint64_t* freeBytes) {
  if (!g_freeSpaceEx) g_freeSpaceEx = g_platform.findFreeSpaceEx();
  if (g_freeSpaceEx) {
    uint64_t availableToCaller, totalBytes;
    return g_freeSpaceEx(path, &availableToCaller, &totalBytes, freeBytes) != 0;
  }
  uint32_t sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
  if (!g_platform.getDiskFreeSpace(path, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                   &totalClusters)) {
    return false;
  }
  *freeBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
  return true;
}

bool HasEnoughFreeSpace(const char* path, uint64_t needed) {
  uint64_t freeBytes = 0;
  return QueryFreeBytes(path, &freeBytes) && freeBytes >= needed;
}

bool WorkspaceSecurity(const TokenFacts& token, char* sddl, size_t capacity) {
  const char* user = token.userSid;
  bool isSid = strncmp(user, "S-", 2) == 0 && strspn(user + 2, "0123456789-") == strlen(user + 2);
  if (!isSid) return false;
  bool grantUser = !token.administratorsMember;
  // The user's grant is full control but for "delete child" (0x40).
  int length = snprintf(sddl, capacity, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)%s%s%s%s",
                        grantUser ? "(A;OICI;0x1f01bf;;;" : "", grantUser ? user : "",
                        grantUser ? ")" : "", token.highIntegrity ? "S:(ML;OICI;NW;;;HI)" : "");
  return length > 0 && static_cast<size_t>(length) < capacity;
}

bool ChooseWorkspaceBase(uint64_t needed) {
  WorkspaceBases bases(needed);
  return bases.Next(g_runState.workspacePath);
}

HeldHandle TakeWorkspaceHold() {
  HeldHandle hold = g_workspaceHold;
  if (g_runState.workspace == g_workspaceHold) g_runState.workspace = nullptr;
  g_workspaceHold = nullptr;
  return hold;
}

void ReleaseWorkspace() {
  if (g_workspaceHold) g_platform.release(g_workspaceHold);
  if (g_runState.workspace == g_workspaceHold) g_runState.workspace = nullptr;
  g_workspaceHold = nullptr;
}

bool ReadWorkspaceSecurity(char* sddl, size_t capacity, bool* elevated) {
  TokenFacts token;
  if (!g_platform.readToken(&token) || !WorkspaceSecurity(token, sddl, capacity)) return false;
  if (elevated) *elevated = token.administratorsMember || token.highIntegrity;
  return true;
}

bool AdoptHeldFolder(HeldHandle hold) {
  return AdoptWorkspace(hold);
}

WorkspaceOutcome PrepareWorkspace(uint64_t needed) {
  g_runState.workspacePath[0] = '\0';
  g_runState.workspace = nullptr;
  char sddl[kWorkspaceSecurityCapacity];
  if (!ReadWorkspaceSecurity(sddl, sizeof sddl, nullptr)) return kWorkspaceTokenUnreadable;
  WorkspaceBases bases(needed);
  char base[kPathCapacity];
  bool roomSomewhere = false;
  while (bases.Next(base)) {
    roomSomewhere = true;
    if (MakeWorkspaceIn(base, sddl)) {
      LogVolume(base, kVolumeChosen, true, bases.FreeBytes());
      LogWorkspace(g_runState.workspacePath, false);
      return kWorkspaceReady;
    }
    LogVolume(base, kVolumeRefused, true, bases.FreeBytes());
  }
  g_runState.workspacePath[0] = '\0';
  return roomSomewhere ? kWorkspaceNotMade : kWorkspaceNoRoom;
}
