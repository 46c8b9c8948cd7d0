// The platform seam on Windows: each entry is the Win32 call it names.
#include "platform/platform.h"

#include "platform/notice_filter.h"
#include "platform/platform_win32.h"

#include <windows.h>
#include <winternl.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <share.h>
#include <shlwapi.h>
#include <intrin.h>

#include <cstring>
#include <cwchar>

namespace {

// A file being written is shared for reading only: nobody else can write,
// rename or delete it before the worker has verified and closed it. It is
// opened for reading as well, which mapping it as an image needs.
FILE* Win32OpenFile(const char* path, const char* mode) {
  return mode[0] == 'w' ? _fsopen(path, "w+b", _SH_DENYWR) : fopen(path, mode);
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

// The token's integrity level is High or above. Systems without levels
// (no TokenIntegrityLevel) have none to give a directory.
bool ReadHighIntegrity(HANDLE token, bool* high) {
  alignas(TOKEN_MANDATORY_LABEL) BYTE label[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenIntegrityLevel, label, sizeof label, &size)) {
    *high = false;
    return GetLastError() == ERROR_INVALID_PARAMETER;
  }
  PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label)->Label.Sid;
  UCHAR count = *GetSidSubAuthorityCount(sid);
  *high = count > 0 && *GetSidSubAuthority(sid, count - 1) >= SECURITY_MANDATORY_HIGH_RID;
  return true;
}

bool ReadUserSid(HANDLE token, char* text, size_t capacity) {
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  char* converted = nullptr;
  if (!GetTokenInformation(token, TokenUser, user, sizeof user, &size) ||
      !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &converted)) {
    return false;
  }
  size_t length = strlen(converted);
  bool fits = length < capacity;
  if (fits) memcpy(text, converted, length + 1);
  LocalFree(converted);
  return fits;
}

// Membership as the token's own access checks see it: a filtered token's
// Administrators, present for deny only, does not count.
bool ReadAdministratorsMember(HANDLE token, bool* member) {
  HANDLE impersonation = nullptr;  // CheckTokenMembership wants one
  if (!DuplicateToken(token, SecurityIdentification, &impersonation)) return false;
  alignas(DWORD) BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof administrators;
  BOOL isMember = FALSE;
  bool checked =
      CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize) &&
      CheckTokenMembership(impersonation, administrators, &isMember);
  CloseHandle(impersonation);
  *member = isMember != FALSE;
  return checked;
}

int Win32ReadToken(TokenFacts* facts) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) return 0;
  bool read = ReadUserSid(token, facts->userSid, sizeof facts->userSid) &&
              ReadHighIntegrity(token, &facts->highIntegrity) &&
              ReadAdministratorsMember(token, &facts->administratorsMember);
  CloseHandle(token);
  return read;
}

constexpr size_t kNtPathCapacity = 520 + 8;  // a path buffer's worth, and the longest prefix

// The NT name of a full ANSI path: "\??\" before a drive path, "\??\UNC\"
// for a share, the prefix of "\\?\" paths replaced. False when it does not fit.
bool NtPathOf(const char* path, wchar_t* name, size_t capacity, USHORT* bytes) {
  const char* rest = path;
  const wchar_t* prefix = L"\\??\\";
  if (strncmp(path, "\\\\?\\", 4) == 0) {
    rest = path + 4;
  } else if (strncmp(path, "\\\\", 2) == 0) {
    rest = path + 2;
    prefix = L"\\??\\UNC\\";
  }
  size_t prefixLength = wcslen(prefix);
  memcpy(name, prefix, prefixLength * sizeof(wchar_t));
  int converted = MultiByteToWideChar(CP_ACP, 0, rest, -1, name + prefixLength,
                                      static_cast<int>(capacity - prefixLength));
  if (converted <= 0) return false;
  *bytes = static_cast<USHORT>((prefixLength + converted - 1) * sizeof(wchar_t));
  return true;
}

// Made and opened by one call, so that no other directory can be put in its
// place between its creation and the hold. Read access, so that the
// handle's sharing counts against every later open; without
// FILE_SHARE_DELETE nobody can rename or delete it while it is held.
HeldHandle Win32CreateHeldDirectory(const char* path, const char* sddl) {
  wchar_t name[kNtPathCapacity];
  UNICODE_STRING unicodeName;
  if (!NtPathOf(path, name, sizeof name / sizeof name[0], &unicodeName.Length)) return nullptr;
  unicodeName.MaximumLength = unicodeName.Length;
  unicodeName.Buffer = name;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return nullptr;
  }
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, nullptr, descriptor);
  IO_STATUS_BLOCK io;
  HANDLE directory = nullptr;
  NTSTATUS status = NtCreateFile(
      &directory, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE, &attributes, &io, nullptr,
      FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
      FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, nullptr, 0);
  LocalFree(descriptor);
  if (status < 0) {
    SetLastError(RtlNtStatusToDosError(status));
    return nullptr;
  }
  return directory;
}

// Opens `name` relative to the held `directory` in one NT call: what the
// name leads to is decided inside that directory, whatever its path now
// names. Sets the last error from the status on failure.
HANDLE OpenIn(HANDLE directory, const wchar_t* name, ACCESS_MASK access, ULONG share,
              ULONG disposition, ULONG options) {
  UNICODE_STRING unicodeName;
  size_t length = wcslen(name);
  if (length == 0 || length > 0x7FFF) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  unicodeName.Length = unicodeName.MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
  unicodeName.Buffer = const_cast<wchar_t*>(name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, directory, nullptr);
  IO_STATUS_BLOCK io;
  HANDLE opened = nullptr;
  NTSTATUS status =
      NtCreateFile(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                   share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status < 0) {
    SetLastError(RtlNtStatusToDosError(status));
    return nullptr;
  }
  return opened;
}

// An ANSI name in the system's code page, as the wide calls take it; false,
// with the last error set, when it does not convert or fit.
bool WideName(const char* name, wchar_t* wide, int capacity) {
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide, capacity) > 0) return true;
  SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return false;
}

HeldHandle Win32HoldDirectory(const char* path) {
  HANDLE directory = CreateFileA(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return directory == INVALID_HANDLE_VALUE ? nullptr : directory;
}

int Win32FinalPath(HeldHandle handle, char* path, uint32_t capacity) {
  wchar_t wide[kNtPathCapacity];
  DWORD length = GetFinalPathNameByHandleW(static_cast<HANDLE>(handle), wide, kNtPathCapacity,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= kNtPathCapacity) return 0;
  // "\\?\C:\..." is "C:\..."; "\\?\UNC\server\share\..." is "\\server\share\...".
  const wchar_t* start = wide;
  if (wcsncmp(wide, L"\\\\?\\UNC\\", 8) == 0) {
    start = wide + 6;
    wide[6] = L'\\';
  } else if (wcsncmp(wide, L"\\\\?\\", 4) == 0) {
    start = wide + 4;
  }
  BOOL substituted = FALSE;
  int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, start, -1, path,
                                  static_cast<int>(capacity), nullptr, &substituted);
  return bytes > 0 && !substituted;
}

int Win32CloseAndHold(FILE* file, HeldHandle* held) {
  *held = nullptr;
  bool flushed = fflush(file) == 0;
  HANDLE written = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  // Between the writer's close and the narrowed hold, the image mapping
  // keeps writers out; the first hold, opened beside the writer, shares
  // writing with it, and sharing no deleting keeps renames and deletes out.
  HANDLE image =
      flushed ? CreateFileMappingA(written, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr)
              : nullptr;
  HANDLE beside = flushed ? ReOpenFile(written, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0)
                          : INVALID_HANDLE_VALUE;
  bool closed = fclose(file) == 0 && flushed;
  if (closed && beside != INVALID_HANDLE_VALUE) {
    HANDLE narrowed = ReOpenFile(beside, GENERIC_READ, FILE_SHARE_READ, 0);
    if (narrowed != INVALID_HANDLE_VALUE) *held = narrowed;
  }
  if (beside != INVALID_HANDLE_VALUE) CloseHandle(beside);
  if (image) CloseHandle(image);
  return closed;
}

int32_t Win32ReadHeld(HeldHandle file, void* buffer, uint32_t size) {
  DWORD got = 0;
  if (!ReadFile(static_cast<HANDLE>(file), buffer, size, &got, nullptr)) return -1;
  return static_cast<int32_t>(got);
}

void Win32Release(HeldHandle handle) {
  CloseHandle(static_cast<HANDLE>(handle));
}

int Win32StartProgram(const char* program, char* commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 0;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 1;
}

uint32_t Win32ReadTimeStampLow() {
  return static_cast<uint32_t>(__rdtsc());
}

}  // namespace

FILE* Win32OpenFileInWide(HANDLE directory, const wchar_t* name, const char* mode) {
  bool writing = mode[0] == 'w';
  HANDLE file = writing ? OpenIn(directory, name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                 FILE_OVERWRITE_IF, FILE_NON_DIRECTORY_FILE)
                        : OpenIn(directory, name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 FILE_OPEN, FILE_NON_DIRECTORY_FILE);
  if (!file) return nullptr;
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file),
                                   _O_BINARY | (writing ? _O_RDWR : _O_RDONLY));
  if (descriptor < 0) {
    CloseHandle(file);
    return nullptr;
  }
  FILE* stream = _fdopen(descriptor, writing ? "w+b" : "rb");
  if (!stream) _close(descriptor);
  return stream;
}

int Win32CreateDirectoryInWide(HANDLE directory, const wchar_t* name) {
  HANDLE made = OpenIn(directory, name, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       FILE_CREATE, FILE_DIRECTORY_FILE);
  if (!made) return 0;
  CloseHandle(made);
  return 1;
}

int Win32DeleteFileInWide(HANDLE directory, const wchar_t* name) {
  HANDLE file =
      OpenIn(directory, name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
             FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE);
  if (!file) return 0;
  CloseHandle(file);
  return 1;
}

namespace {

FILE* Win32OpenFileIn(HeldHandle directory, const char* relativePath, const char* mode) {
  wchar_t wide[kNtPathCapacity];
  return WideName(relativePath, wide, kNtPathCapacity)
             ? Win32OpenFileInWide(static_cast<HANDLE>(directory), wide, mode)
             : nullptr;
}

int Win32CreateDirectoryIn(HeldHandle directory, const char* relativePath) {
  wchar_t wide[kNtPathCapacity];
  return WideName(relativePath, wide, kNtPathCapacity) &&
         Win32CreateDirectoryInWide(static_cast<HANDLE>(directory), wide);
}

int Win32DeleteFileIn(HeldHandle directory, const char* relativePath) {
  wchar_t wide[kNtPathCapacity];
  return WideName(relativePath, wide, kNtPathCapacity) &&
         Win32DeleteFileInWide(static_cast<HANDLE>(directory), wide);
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
  ops.readToken = Win32ReadToken;
  ops.createHeldDirectory = Win32CreateHeldDirectory;
  ops.holdDirectory = Win32HoldDirectory;
  ops.finalPath = Win32FinalPath;
  ops.openFileIn = Win32OpenFileIn;
  ops.createDirectoryIn = Win32CreateDirectoryIn;
  ops.deleteFileIn = Win32DeleteFileIn;
  ops.closeAndHold = Win32CloseAndHold;
  ops.readHeld = Win32ReadHeld;
  ops.release = Win32Release;
  ops.startProgram = Win32StartProgram;
  return ops;
}

PlatformOps g_platform = NativePlatform();
