// The platform seam on Windows: each entry is the Win32 call it names.
#include "platform/platform.h"

#include "platform/notice_filter.h"

#include <windows.h>
#include <shlwapi.h>
#include <intrin.h>

namespace {

FILE* Win32OpenFile(const char* path, const char* mode) {
  return fopen(path, mode);
}
int Win32DeleteFile(const char* path) {
  return DeleteFileA(path) != 0;
}
int Win32CreateDirectory(const char* path) {
  return CreateDirectoryA(path, nullptr) != 0;
}
uint32_t Win32LastError() {
  return GetLastError();
}
int Win32IsLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != 0;
}

// The worker is the only sender, so the filter's state needs no lock.
ProgressNoticeFilter g_noticeFilter;

void Win32SendNotice(void* target, uint32_t code, uintptr_t value) {
  if (!g_noticeFilter.ShouldDeliver(target, code, value)) return;
  SendMessageA(static_cast<HWND>(target), kNoticeMessage, static_cast<WPARAM>(code),
               static_cast<LPARAM>(value));
}

uint32_t Win32GetTempPath(uint32_t size, char* buffer) {
  return GetTempPathA(size, buffer);
}
int Win32PathExists(const char* path) {
  return PathFileExistsA(path) != 0;
}
uint32_t Win32GetLogicalDriveStrings(uint32_t size, char* buffer) {
  return GetLogicalDriveStringsA(size, buffer);
}
uint32_t Win32GetDriveType(const char* root) {
  return GetDriveTypeA(root);
}

typedef BOOL(WINAPI* GetDiskFreeSpaceExAFn)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                            PULARGE_INTEGER);
GetDiskFreeSpaceExAFn g_getDiskFreeSpaceExA = nullptr;

int Win32FreeSpaceEx(const char* path, uint64_t* availableToCaller, uint64_t* totalBytes,
                     uint64_t* totalFreeBytes) {
  ULARGE_INTEGER available, total, free;
  if (!g_getDiskFreeSpaceExA(path, &available, &total, &free)) return 0;
  *availableToCaller = available.QuadPart;
  *totalBytes = total.QuadPart;
  *totalFreeBytes = free.QuadPart;
  return 1;
}

FreeSpaceExQuery Win32FindFreeSpaceEx() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return nullptr;
  // GetProcAddress returns a generic pointer; go through void* to name its real type.
  g_getDiskFreeSpaceExA = reinterpret_cast<GetDiskFreeSpaceExAFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
  return g_getDiskFreeSpaceExA ? Win32FreeSpaceEx : nullptr;
}

int Win32GetDiskFreeSpace(const char* path, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                          uint32_t* freeClusters, uint32_t* totalClusters) {
  DWORD spc, bps, freeC, totalC;
  if (!GetDiskFreeSpaceA(path, &spc, &bps, &freeC, &totalC)) return 0;
  *sectorsPerCluster = spc;
  *bytesPerSector = bps;
  *freeClusters = freeC;
  *totalClusters = totalC;
  return 1;
}

// A well-known SID of the NT authority with one or two sub-authorities.
void MakeNtSid(BYTE* sid, DWORD first, DWORD second = 0) {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  InitializeSid(sid, &ntAuthority, second ? 2 : 1);
  *GetSidSubAuthority(sid, 0) = first;
  if (second) *GetSidSubAuthority(sid, 1) = second;
}

// Copies the process token's user SID into `sid`.
bool CopyTokenUser(BYTE* sid, DWORD sidSize) {
  alignas(TOKEN_USER) BYTE userBuffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  BOOL gotUser = GetTokenInformation(token, TokenUser, userBuffer, sizeof userBuffer, &size);
  DWORD error = GetLastError();
  CloseHandle(token);
  if (!gotUser) {
    SetLastError(error);
    return false;
  }
  return CopySid(sidSize, sid, reinterpret_cast<TOKEN_USER*>(userBuffer)->User.Sid) != 0;
}

int Win32CreatePrivateDirectory(const char* path, uint32_t trustees) {
  alignas(DWORD) BYTE system[SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE administrators[SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE user[SECURITY_MAX_SID_SIZE];
  MakeNtSid(system, SECURITY_LOCAL_SYSTEM_RID);
  MakeNtSid(administrators, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
  if ((trustees & kTrusteeTokenUser) && !CopyTokenUser(user, sizeof user)) return 0;

  constexpr size_t kAclSize =
      sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
  alignas(DWORD) BYTE aclBuffer[kAclSize];
  PACL acl = reinterpret_cast<PACL>(aclBuffer);
  const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  const struct {
    uint32_t trustee;
    BYTE* sid;
  } grants[] = {{kTrusteeSystem, system},
                {kTrusteeAdministrators, administrators},
                {kTrusteeTokenUser, user}};
  if (!InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION)) return 0;
  for (const auto& grant : grants) {
    if ((trustees & grant.trustee) &&
        !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, grant.sid)) {
      return 0;
    }
  }
  SECURITY_DESCRIPTOR descriptor;
  // Protected: the ACEs that the parent (a shared temporary directory, a
  // drive's root) would pass on are not merged in.
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return 0;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  return CreateDirectoryA(path, &attributes) != 0;
}

// Elevated under UAC, or an administrator's token where there is no UAC
// (TokenElevation is then unknown to the system).
int Win32IsTokenElevated() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  if (known && elevation.TokenIsElevated) return 1;
  alignas(DWORD) BYTE administrators[SECURITY_MAX_SID_SIZE];
  MakeNtSid(administrators, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
  BOOL member = FALSE;
  return CheckTokenMembership(nullptr, administrators, &member) && member;
}

uint32_t Win32ReadTimeStampLow() {
  return static_cast<uint32_t>(__rdtsc());
}

}  // namespace

PlatformOps NativePlatform() {
  PlatformOps ops;
  ops.openFile = Win32OpenFile;
  ops.deleteFile = Win32DeleteFile;
  ops.createDirectory = Win32CreateDirectory;
  ops.lastError = Win32LastError;
  ops.isLeadByte = Win32IsLeadByte;
  ops.sendNotice = Win32SendNotice;
  ops.getTempPath = Win32GetTempPath;
  ops.pathExists = Win32PathExists;
  ops.getLogicalDriveStrings = Win32GetLogicalDriveStrings;
  ops.getDriveType = Win32GetDriveType;
  ops.findFreeSpaceEx = Win32FindFreeSpaceEx;
  ops.getDiskFreeSpace = Win32GetDiskFreeSpace;
  ops.readTimeStampLow = Win32ReadTimeStampLow;
  ops.createPrivateDirectory = Win32CreatePrivateDirectory;
  ops.isTokenElevated = Win32IsTokenElevated;
  return ops;
}

PlatformOps g_platform = NativePlatform();
