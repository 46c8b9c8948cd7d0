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

int Win32CreatePrivateDirectory(const char* path) {
  // The user running the program: the token's user, in a buffer that holds
  // a TOKEN_USER with any SID.
  alignas(TOKEN_USER) BYTE userBuffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
  DWORD size = 0;
  BOOL gotUser = GetTokenInformation(token, TokenUser, userBuffer, sizeof userBuffer, &size);
  DWORD error = GetLastError();
  CloseHandle(token);
  if (!gotUser) {
    SetLastError(error);
    return 0;
  }
  PSID user = reinterpret_cast<TOKEN_USER*>(userBuffer)->User.Sid;

  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  alignas(DWORD) BYTE system[SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE administrators[SECURITY_MAX_SID_SIZE];
  InitializeSid(system, &ntAuthority, 1);
  *GetSidSubAuthority(system, 0) = SECURITY_LOCAL_SYSTEM_RID;
  InitializeSid(administrators, &ntAuthority, 2);
  *GetSidSubAuthority(administrators, 0) = SECURITY_BUILTIN_DOMAIN_RID;
  *GetSidSubAuthority(administrators, 1) = DOMAIN_ALIAS_RID_ADMINS;

  constexpr size_t kAclSize =
      sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
  alignas(DWORD) BYTE aclBuffer[kAclSize];
  PACL acl = reinterpret_cast<PACL>(aclBuffer);
  const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  SECURITY_DESCRIPTOR descriptor;
  // Protected: the ACEs that the parent (a shared temporary directory, a
  // drive's root) would pass on are not merged in.
  if (!InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, system) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, administrators) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, user) ||
      !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return 0;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  return CreateDirectoryA(path, &attributes) != 0;
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
  return ops;
}

PlatformOps g_platform = NativePlatform();
