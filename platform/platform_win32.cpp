// The platform seam on Windows: each entry is the Win32 call it names.
#include "platform/platform.h"

#include <windows.h>
#include <shlwapi.h>
#include <intrin.h>

#include "run/notices.h"

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

void Win32SendNotice(void* target, uint32_t code, uintptr_t value) {
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
  return ops;
}

PlatformOps g_platform = NativePlatform();
