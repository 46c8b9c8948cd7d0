// The platform seam: every call the portable logic makes into the operating
// system goes through g_platform. On Windows each entry is the Win32 call of
// the same name; on Linux a small POSIX mapping; unit tests swap in fakes.
#pragma once

#include <cstddef>
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

// What the launcher needs to know of its own process token.
constexpr size_t kSidTextCapacity = 192;  // the longest SID's string form fits
struct TokenFacts {
  bool administratorsMember;       // CheckTokenMembership(token, Administrators)
  bool highIntegrity;              // mandatory level High or above (elevated, or SYSTEM)
  char userSid[kSidTextCapacity];  // the token's user, "S-1-5-21-..."
};

// A directory or file kept open so that, while it is held, nobody can
// rename or delete it, nor write it when it is a file. Null: nothing held.
typedef void* HeldHandle;

// The local time of a log line (GetLocalTime).
struct LocalTime {
  uint16_t year, month, day, hour, minute, second, millisecond;
};

// A setup program started for the launcher to wait for (startSetup).
enum SetupJoin : uint32_t {
  kSetupInJob,         // in a job of its own: the wait covers what it starts
  kSetupJobNotMade,    // CreateJobObject (or its limits) failed: waited for alone
  kSetupJobNotJoined,  // AssignProcessToJobObject failed: waited for alone
  kSetupJobNotAsked,   // started without a job
};
struct SetupProcess {
  void* process;  // its handle
  void* job;      // null unless kSetupInJob
  uint32_t processId;
  SetupJoin join;
  uint32_t joinError;  // the Win32 error behind kSetupJobNotMade or kSetupJobNotJoined
};

// File attributes the launcher looks at (GetFileAttributesW).
constexpr uint32_t kFileAttributeReadOnly = 0x1;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;
constexpr uint32_t kNoFileAttributes = 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES

// One entry of a listed directory: its name (no path) and attributes.
typedef bool (*DirectoryVisitor)(void* context, const char16_t* name, uint32_t attributes);

struct PlatformOps {
  // Files: fopen on an ANSI path, "rb" or "wb": the program file itself.
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

  // Reads the process token; false when any of it cannot be read.
  int (*readToken)(TokenFacts* facts);

  // Creates a directory with the security descriptor `sddl` (SDDL) and
  // opens it in the same call (NtCreateFile: FILE_CREATE, a directory,
  // backup intent, read access) with read and write sharing but no delete
  // sharing, so that it cannot be renamed or deleted while held and no
  // other can take its place before. Null on failure, lastError() says
  // why. POSIX: mode 0700, then an open descriptor, whatever `sddl` asks.
  HeldHandle (*createHeldDirectory)(const char* path, const char* sddl);
  // Opens an existing directory and holds it as createHeldDirectory does
  // (qwpack extract's folder). Null on failure.
  HeldHandle (*holdDirectory)(const char* path);
  // The full path of what `handle` names as the system resolves it, every
  // junction and link followed: a path whose every folder is a real one,
  // above an open handle. Drive paths without the "\\?\" prefix, in the
  // ANSI code page. 0 when there is none, it does not fit in `capacity`
  // bytes, or the code page cannot hold it.
  int (*finalPath)(HeldHandle handle, char* path, uint32_t capacity);

  // Files and folders inside a held directory, named relative to it
  // ("sub\\name", ANSI): the workspace's contents are reached through its
  // handle, never through a path that another program could point
  // elsewhere. openFileIn as openFile, "rb" or "wb"; a file being written
  // others may read but not write, rename or delete. createDirectoryIn as
  // createDirectory (183 when it exists).
  FILE* (*openFileIn)(HeldHandle directory, const char* relativePath, const char* mode);
  int (*createDirectoryIn)(HeldHandle directory, const char* relativePath);
  int (*deleteFileIn)(HeldHandle directory, const char* relativePath);

  // Closes an output file that has been written and verified, and holds it
  // from the writer's own handle, never by name: a second handle is opened
  // on the same file while the writer is still open (ReOpenFile), the
  // writer closed, and the hold narrowed to read sharing, so that nobody
  // can rename or delete it at any time and nobody can write it while it
  // is held; an image mapping made before the writer closes keeps writers
  // out in between (a file that is no image is checked by its digest
  // instead). Returns fclose's success; *held is null when the file could
  // not be held.
  int (*closeAndHold)(FILE* file, HeldHandle* held);
  // Reads up to `size` bytes at the held file's position; the count, 0 at
  // its end, -1 on failure.
  int32_t (*readHeld)(HeldHandle file, void* buffer, uint32_t size);
  void (*release)(HeldHandle handle);

  // CreateProcessA(program, commandLine) with a normal window, not waited
  // for; non-zero when the process was created.
  int (*startProgram)(const char* program, char* commandLine);

  // ---- Runs with switches: the command line, the log, the wait for the
  // whole setup, the workspace's removal and the extraction folder. Wide
  // text is UTF-16 in char16_t (wchar_t's representation on Windows).
  // Failures leave their Win32 error for lastError(). ----

  // GetCommandLineW.
  const char16_t* (*getCommandLineWide)();
  // GetModuleFileNameW of the program itself: the length, 0 when it fails
  // or does not fit in `capacity` units with its terminator.
  uint32_t (*getProgramPathWide)(char16_t* buffer, uint32_t capacity);
  // GetTempPathW: the length, ending in a separator; 0 as above.
  uint32_t (*getTempPathWide)(char16_t* buffer, uint32_t capacity);
  // GetFullPathNameW: the length; 0 as above.
  uint32_t (*getFullPathWide)(const char16_t* path, char16_t* buffer, uint32_t capacity);
  // The ANSI code page to UTF-16 and back (MultiByteToWideChar,
  // WideCharToMultiByte with no best-fit character): the units or bytes
  // written, terminator included; 0 when it does not fit, or when a
  // character has no exact form in the other.
  uint32_t (*ansiToWide)(const char* text, char16_t* buffer, uint32_t capacity);
  uint32_t (*wideToAnsi)(const char16_t* text, char* buffer, uint32_t capacity);

  // A log file, written by its own writes with others let read it only.
  // `replace` 0: created only where nothing is (CREATE_NEW); otherwise an
  // existing file is emptied, but only a plain file with one name: a
  // directory, a reparse point at the name (followed by nobody) or a file
  // of several hard links is refused (ERROR_ACCESS_DENIED) and left as it
  // was. Null on failure. Closed by release().
  HeldHandle (*createLogFile)(const char16_t* path, int replace);
  // Appends `size` bytes with one WriteFile: in the system's hands at
  // return, so a launcher killed after it loses none of them.
  int (*writeLogFile)(HeldHandle file, const void* bytes, uint32_t size);
  void (*getLocalTime)(LocalTime* time);  // GetLocalTime

  // Starts the setup program by CreateProcessW(program, commandLine) with a
  // normal window and no handles inherited. With `joinJob`, it starts
  // suspended, joins a new job object (no kill on close; a child may leave
  // it with CREATE_BREAKAWAY_FROM_JOB) and is resumed; a job that cannot be
  // made, or a process that cannot join it (a parent's job that forbids
  // it, a system without nested jobs), leaves it to run alone, and the
  // process says why (SetupProcess). False when no process was created
  // (or it could not be resumed, when it is ended again).
  int (*startSetup)(const char16_t* program, char16_t* commandLine, int joinJob,
                    SetupProcess* process);
  // Waits until no process of the job is left (without a job, until the
  // setup program ends), answering messages sent to the calling thread's
  // windows meanwhile so that a setup program's broadcast never waits on
  // them, then reads the setup program's own exit code. False when the
  // wait or the code failed.
  int (*waitForSetup)(SetupProcess* process, uint32_t* exitCode);
  void (*closeSetup)(SetupProcess* process);  // lets go of its handles; ends nothing

  // Calls `visit` for each entry of `directory` but "." and "..", until it
  // returns false; false when the directory cannot be listed.
  int (*listDirectory)(const char16_t* directory, DirectoryVisitor visit, void* context);
  // The workspace's removal, down from its hold by handles: an entry is
  // opened as itself, a link never followed, and deleted through that
  // handle, so that no path another program could point elsewhere decides
  // what is deleted. openEntryIn opens the entry `name` (one name) of a
  // held directory for deletion, and a folder for listing too, sharing
  // everything; *attributes are the opened entry's own. Null on failure.
  HeldHandle (*openEntryIn)(HeldHandle directory, const char16_t* name, uint32_t* attributes);
  // listDirectory over a held directory (from openEntryIn), from its start.
  int (*listHeld)(HeldHandle directory, DirectoryVisitor visit, void* context);
  // Deletes what an entry from openEntryIn names (a read-only attribute
  // cleared first), once every handle on it is closed: release() it next.
  int (*deleteHeld)(HeldHandle entry);
  // RemoveDirectoryW: an empty directory, or a directory link itself.
  int (*removeDirectoryWide)(const char16_t* path);
  // MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): deleted when the
  // system next starts, in the order asked; needs administrator rights.
  int (*deleteAtRestart)(const char16_t* path);
  void (*sleepMilliseconds)(uint32_t milliseconds);
  // CreateDirectoryW(path, NULL).
  int (*createDirectoryWide)(const char16_t* path);
  // GetFileAttributesW; kNoFileAttributes when nothing is there.
  uint32_t (*getFileAttributesWide)(const char16_t* path);

  // Writes to the console of the program that started the launcher
  // (AttachConsole(ATTACH_PARENT_PROCESS), WriteConsoleW); false when it
  // has none.
  int (*writeParentConsole)(const char16_t* text);
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
// A held handle for an open descriptor, which the handle then owns.
HeldHandle PosixHeldDescriptor(int descriptor);
#endif

// The calling convention of a thread entry (CreateThread's LPTHREAD_START_ROUTINE).
#ifdef _WIN32
#define QW_THREAD_CALL __stdcall
#else
#define QW_THREAD_CALL
#endif
