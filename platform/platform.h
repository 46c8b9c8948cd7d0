// The platform seam: every call the portable logic makes into the operating
// system goes through g_platform. On Windows each entry is the Win32 call of
// the same name; on Linux a small POSIX mapping; unit tests swap in fakes.
#pragma once

#include <cstdint>
#include <cstdio>

// Win32 values the logic compares against.
constexpr uint32_t kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
constexpr uint32_t kDriveFixed = 3;            // DRIVE_FIXED

// The window message that carries a notice from the worker to the window.
constexpr uint32_t kNoticeMessage = 0x1400;  // WM_USER + 0x1000
// The code of a progress notice, the one notice the seam may leave undelivered
// (notice_filter.h).
constexpr uint32_t kProgressNoticeCode = 8;

// GetDiskFreeSpaceExA behind a calling convention of our own; the counts are
// bytes available to the caller, total bytes, total free bytes.
typedef int (*FreeSpaceExQuery)(const char* path, uint64_t* availableToCaller, uint64_t* totalBytes,
                                uint64_t* totalFreeBytes);

// Who gets full control of a private directory (a set of these bits).
enum DirectoryTrustee : uint32_t {
  kTrusteeSystem = 1,          // S-1-5-18, LocalSystem
  kTrusteeAdministrators = 2,  // S-1-5-32-544, the Administrators alias
  kTrusteeTokenUser = 4,       // the user of the process token
};

struct PlatformOps {
  // Files: fopen on an ANSI path, "rb" or "wb".
  FILE* (*openFile)(const char* path, const char* mode);
  int (*deleteFile)(const char* path);

  // CreateDirectoryA(path, NULL): non-zero on success; lastError() says why not.
  int (*createDirectory)(const char* path);
  uint32_t (*lastError)();

  // IsDBCSLeadByte in the system's ANSI code page.
  int (*isLeadByte)(unsigned char byte);

  // SendMessageA(target, 0x1400, code, value): synchronous. On Windows a
  // progress notice that repeats the position last delivered to the window
  // is not sent (notice_filter.h); on Linux every notice reaches the sink.
  void (*sendNotice)(void* target, uint32_t code, uintptr_t value);

  // Workspace queries.
  uint32_t (*getTempPath)(uint32_t size, char* buffer);
  int (*pathExists)(const char* path);
  uint32_t (*getLogicalDriveStrings)(uint32_t size, char* buffer);
  uint32_t (*getDriveType)(const char* root);
  FreeSpaceExQuery (*findFreeSpaceEx)();  // GetModuleHandleA + GetProcAddress
  int (*getDiskFreeSpace)(const char* path, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                          uint32_t* freeClusters, uint32_t* totalClusters);
  uint32_t (*readTimeStampLow)();  // low 32 bits of the time-stamp counter

  // Like createDirectory, but with a protected DACL: full control for the
  // `trustees` (DirectoryTrustee bits) and nobody else, inherited by
  // everything created below it, nothing inherited from above (POSIX: mode
  // 0700 whatever the trustees).
  int (*createPrivateDirectory)(const char* path, uint32_t trustees);

  // True when the process token is elevated, or is an administrator's
  // (a member of the Administrators alias, as on systems without UAC).
  int (*isTokenElevated)();
};

extern PlatformOps g_platform;

// The real operations of the system the program was built for.
PlatformOps NativePlatform();

// On Linux, and in the publisher's tool on Windows, notices go to a
// callback: noticeTarget points at a NoticeSink.
struct NoticeSink {
  void (*deliver)(void* context, uint32_t code, uintptr_t value);
  void* context;
};

#ifndef _WIN32

// The ANSI code page that package names are read in (default 936). Paths are
// converted to UTF-8 and backslashes mapped to '/' when they reach the file
// system; lead bytes follow the same code page.
void PosixSetCodePage(unsigned codePage);
unsigned PosixCodePage();
// Writes the file-system form of an ANSI path; returns 0 when it does not fit.
int PosixMapPath(const char* ansiPath, char* out, size_t outSize);
#endif

// The calling convention of a thread entry (CreateThread's LPTHREAD_START_ROUTINE).
#ifdef _WIN32
#define QW_THREAD_CALL __stdcall
#else
#define QW_THREAD_CALL
#endif
