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

// ---- Runs with switches: the command line, the log, the wait for the
// whole setup, the workspace's removal and the extraction folder. ----

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the seam's wide text is the system's");

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* Wide(char16_t* text) {
  return reinterpret_cast<wchar_t*>(text);
}

// A length the call wrote whole: below the capacity, which leaves the terminator room.
uint32_t WrittenWhole(DWORD length, uint32_t capacity) {
  if (length > 0 && length < capacity) return length;
  if (length >= capacity) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return 0;
}

const char16_t* Win32GetCommandLineWide() {
  return reinterpret_cast<const char16_t*>(GetCommandLineW());
}

uint32_t Win32GetProgramPathWide(char16_t* buffer, uint32_t capacity) {
  return WrittenWhole(GetModuleFileNameW(nullptr, Wide(buffer), capacity), capacity);
}

uint32_t Win32GetTempPathWide(char16_t* buffer, uint32_t capacity) {
  return WrittenWhole(GetTempPathW(capacity, Wide(buffer)), capacity);
}

uint32_t Win32GetFullPathWide(const char16_t* path, char16_t* buffer, uint32_t capacity) {
  return WrittenWhole(GetFullPathNameW(Wide(path), capacity, Wide(buffer), nullptr), capacity);
}

uint32_t Win32AnsiToWide(const char* text, char16_t* buffer, uint32_t capacity) {
  int written = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, Wide(buffer),
                                    static_cast<int>(capacity));
  return written > 0 ? static_cast<uint32_t>(written) : 0;
}

// No best fit: a character the code page lacks fails the conversion rather
// than becoming a look-alike that names another file. Where the ANSI code
// page is UTF-8 the call takes neither the flag nor the default character.
uint32_t Win32WideToAnsi(const char16_t* text, char* buffer, uint32_t capacity) {
  bool utf8 = GetACP() == CP_UTF8;
  BOOL defaulted = FALSE;
  int written = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                    Wide(text), -1, buffer, static_cast<int>(capacity), nullptr,
                                    utf8 ? nullptr : &defaulted);
  if (written > 0 && !defaulted) return static_cast<uint32_t>(written);
  if (defaulted) SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return 0;
}

// The name itself is opened, never where a reparse point there leads; only
// a plain file of one name is emptied, so that no link planted at the name
// makes the launcher empty another file.
HeldHandle Win32CreateLogFile(const char16_t* path, int replace) {
  HANDLE file = CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            replace ? OPEN_ALWAYS : CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  DWORD error = ERROR_ACCESS_DENIED;
  if (GetFileInformationByHandle(file, &info) &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
      info.nNumberOfLinks == 1) {
    if (SetEndOfFile(file)) return file;
    error = GetLastError();
  }
  CloseHandle(file);
  SetLastError(error);
  return nullptr;
}

int Win32WriteLogFile(HeldHandle file, const void* bytes, uint32_t size) {
  const char* at = static_cast<const char*>(bytes);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(file), at, size, &written, nullptr) || written == 0)
      return 0;
    at += written;
    size -= written;
  }
  return 1;
}

void Win32GetLocalTime(LocalTime* time) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  *time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

// A job that outlives nothing it holds (no kill on close) and lets a child
// leave it by CREATE_BREAKAWAY_FROM_JOB: a setup program that means a
// process to outlive the install (the product it starts at its end) can
// say so; every other child stays in the job and is waited for.
HANDLE CreateWaitJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
    return job;
  DWORD error = GetLastError();
  CloseHandle(job);
  SetLastError(error);
  return nullptr;
}

// Suspended until it has joined, so that nothing it starts can be outside.
void JoinJob(HANDLE job, HANDLE process, SetupProcess* setup) {
  if (AssignProcessToJobObject(job, process)) {
    setup->join = kSetupInJob;
    setup->job = job;
    return;
  }
  setup->join = kSetupJobNotJoined;
  setup->joinError = GetLastError();
  CloseHandle(job);
}

int Win32StartSetup(const char16_t* program, char16_t* commandLine, int joinJob,
                    SetupProcess* setup) {
  *setup = SetupProcess();
  setup->join = kSetupJobNotAsked;
  HANDLE job = joinJob ? CreateWaitJob() : nullptr;
  if (joinJob && !job) {
    setup->join = kSetupJobNotMade;
    setup->joinError = GetLastError();
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION info;
  if (!CreateProcessW(Wide(program), Wide(commandLine), nullptr, nullptr, FALSE,
                      job ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup, &info)) {
    DWORD error = GetLastError();
    if (job) CloseHandle(job);
    SetLastError(error);
    return 0;
  }
  if (job) JoinJob(job, info.hProcess, setup);
  if (job && ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
    DWORD error = GetLastError();
    TerminateProcess(info.hProcess, ERROR_PROCESS_ABORTED);
    if (setup->job) CloseHandle(setup->job);
    setup->job = nullptr;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    SetLastError(error);
    return 0;
  }
  CloseHandle(info.hThread);
  setup->process = info.hProcess;
  setup->processId = info.dwProcessId;
  return 1;
}

enum Woken { kWokenSignalled, kWokenTimedOut, kWokenFailed };

// Waits for `handle` (none: just the time) while answering the messages
// sent to this thread's windows: a setup program that broadcasts with
// SendMessage (a changed environment, say) is never held up by them.
// Posted messages (keys, WM_QUIT) stay queued.
Woken WaitAnswering(HANDLE handle, DWORD milliseconds) {
  for (;;) {
    DWORD woken =
        MsgWaitForMultipleObjects(handle ? 1 : 0, &handle, FALSE, milliseconds, QS_SENDMESSAGE);
    if (handle && woken == WAIT_OBJECT_0) return kWokenSignalled;
    if (woken == WAIT_TIMEOUT) return kWokenTimedOut;
    if (woken != WAIT_OBJECT_0 + (handle ? 1 : 0)) return kWokenFailed;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

constexpr DWORD kJobPollMs = 250;  // how soon the end of the job's last process is seen

// Until the job's count of active processes is 0: the setup program's end
// wakes the wait at once, the ends of what it left behind within a poll.
bool WaitForJob(HANDLE job, HANDLE process) {
  bool processEnded = false;
  for (;;) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr)) {
      return false;
    }
    if (accounting.ActiveProcesses == 0) return true;
    Woken woken = WaitAnswering(processEnded ? nullptr : process, kJobPollMs);
    if (woken == kWokenFailed) return false;
    processEnded = processEnded || woken == kWokenSignalled;
  }
}

int Win32WaitForSetup(SetupProcess* setup, uint32_t* exitCode) {
  HANDLE process = static_cast<HANDLE>(setup->process);
  if (setup->job && !WaitForJob(static_cast<HANDLE>(setup->job), process)) return 0;
  if (WaitAnswering(process, INFINITE) != kWokenSignalled) return 0;
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return 0;
  *exitCode = code;
  return 1;
}

void Win32CloseSetup(SetupProcess* setup) {
  if (setup->process) CloseHandle(static_cast<HANDLE>(setup->process));
  if (setup->job) CloseHandle(static_cast<HANDLE>(setup->job));
  setup->process = nullptr;
  setup->job = nullptr;
}

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

int Win32ListDirectory(const char16_t* directory, DirectoryVisitor visit, void* context) {
  // The pattern is the directory and "\*"; a path buffer's worth on the
  // heap, since a tree's removal lists one directory inside another.
  size_t length = wcslen(Wide(directory));
  wchar_t* pattern = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 3) * 2));
  if (!pattern) return 0;
  memcpy(pattern, directory, length * 2);
  memcpy(pattern + length, L"\\*", 3 * 2);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  HeapFree(GetProcessHeap(), 0, pattern);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool going = true;
  do {
    if (IsDotOrDotDot(found.cFileName)) continue;
    going =
        visit(context, reinterpret_cast<const char16_t*>(found.cFileName), found.dwFileAttributes);
  } while (going && FindNextFileW(search, &found));
  DWORD error = going ? GetLastError() : ERROR_NO_MORE_FILES;
  FindClose(search);
  return error == ERROR_NO_MORE_FILES;
}

// The workspace's removal goes down from its hold by handles. An entry is
// opened as itself (a link is never followed) with every sharing, so that
// an open elsewhere delays its deletion instead of refusing the open; what
// it is comes from that handle, not from a listing a moment older.
HeldHandle Win32OpenEntryIn(HeldHandle directory, const char16_t* name, uint32_t* attributes) {
  const ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE entry = OpenIn(static_cast<HANDLE>(directory), Wide(name),
                        DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, share, FILE_OPEN,
                        FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT);
  if (!entry) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(entry, &info)) {
    DWORD error = GetLastError();
    CloseHandle(entry);
    SetLastError(error);
    return nullptr;
  }
  *attributes = info.dwFileAttributes;
  bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (!folder) return entry;
  // Listing needs one more right; asked of the same folder, not its name.
  HANDLE listable =
      ReOpenFile(entry, FILE_LIST_DIRECTORY | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                 share, FILE_FLAG_BACKUP_SEMANTICS);
  DWORD error = GetLastError();
  CloseHandle(entry);
  if (listable == INVALID_HANDLE_VALUE) {
    SetLastError(error);
    return nullptr;
  }
  return listable;
}

int Win32ListHeld(HeldHandle directory, DirectoryVisitor visit, void* context) {
  // A buffer of its own per listing: a removal lists one folder inside another.
  const DWORD kListingBytes = 16 * 1024;
  void* listing = HeapAlloc(GetProcessHeap(), 0, kListingBytes);
  if (!listing) return 0;
  FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;
  bool going = true;
  while (going && GetFileInformationByHandleEx(static_cast<HANDLE>(directory), next, listing,
                                               kListingBytes)) {
    next = FileIdBothDirectoryInfo;
    auto* entry = static_cast<FILE_ID_BOTH_DIR_INFO*>(listing);
    for (;;) {
      // The name is counted, not ended: copied out with its terminator.
      wchar_t name[MAX_PATH + 1];
      size_t units = entry->FileNameLength / sizeof(wchar_t);
      if (units > MAX_PATH) units = MAX_PATH;
      memcpy(name, entry->FileName, units * sizeof(wchar_t));
      name[units] = L'\0';
      if (!IsDotOrDotDot(name)) {
        going = visit(context, reinterpret_cast<const char16_t*>(name), entry->FileAttributes);
        if (!going) break;
      }
      if (!entry->NextEntryOffset) break;
      entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<char*>(entry) +
                                                       entry->NextEntryOffset);
    }
  }
  DWORD error = going ? GetLastError() : ERROR_NO_MORE_FILES;
  HeapFree(GetProcessHeap(), 0, listing);
  SetLastError(error);
  return error == ERROR_NO_MORE_FILES;
}

int Win32DeleteHeld(HeldHandle entry) {
  HANDLE handle = static_cast<HANDLE>(entry);
  FILE_BASIC_INFO basic;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
    basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
    if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

int Win32RemoveDirectoryWide(const char16_t* path) {
  return RemoveDirectoryW(Wide(path)) != 0;
}

int Win32DeleteAtRestart(const char16_t* path) {
  return MoveFileExW(Wide(path), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

void Win32SleepMilliseconds(uint32_t milliseconds) {
  Sleep(milliseconds);
}

int Win32CreateDirectoryWide(const char16_t* path) {
  return CreateDirectoryW(Wide(path), nullptr) != 0;
}

uint32_t Win32GetFileAttributesWide(const char16_t* path) {
  return GetFileAttributesW(Wide(path));
}

// The console of whoever started the launcher: a program of the windows
// subsystem has none of its own, and its standard handles lead nowhere.
int Win32WriteParentConsole(const char16_t* text) {
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return 0;
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  DWORD written = 0;
  bool wrote =
      console != INVALID_HANDLE_VALUE &&
      WriteConsoleW(console, Wide(text), static_cast<DWORD>(wcslen(Wide(text))), &written, nullptr);
  if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
  FreeConsole();
  return wrote;
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
  // Runs with switches.
  ops.getCommandLineWide = Win32GetCommandLineWide;
  ops.getProgramPathWide = Win32GetProgramPathWide;
  ops.getTempPathWide = Win32GetTempPathWide;
  ops.getFullPathWide = Win32GetFullPathWide;
  ops.ansiToWide = Win32AnsiToWide;
  ops.wideToAnsi = Win32WideToAnsi;
  ops.createLogFile = Win32CreateLogFile;
  ops.writeLogFile = Win32WriteLogFile;
  ops.getLocalTime = Win32GetLocalTime;
  ops.startSetup = Win32StartSetup;
  ops.waitForSetup = Win32WaitForSetup;
  ops.closeSetup = Win32CloseSetup;
  ops.listDirectory = Win32ListDirectory;
  ops.openEntryIn = Win32OpenEntryIn;
  ops.listHeld = Win32ListHeld;
  ops.deleteHeld = Win32DeleteHeld;
  ops.removeDirectoryWide = Win32RemoveDirectoryWide;
  ops.deleteAtRestart = Win32DeleteAtRestart;
  ops.sleepMilliseconds = Win32SleepMilliseconds;
  ops.createDirectoryWide = Win32CreateDirectoryWide;
  ops.getFileAttributesWide = Win32GetFileAttributesWide;
  ops.writeParentConsole = Win32WriteParentConsole;
  return ops;
}

PlatformOps g_platform = NativePlatform();
