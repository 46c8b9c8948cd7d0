// The platform seam on Linux: ANSI paths with backslash separators mapped to
// POSIX paths, Win32 error codes derived from errno, free space from statvfs.
#include "platform/platform.h"

#include "platform/code_page.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

thread_local uint32_t t_lastError = 0;
unsigned g_codePage = 936;

uint32_t Win32ErrorFromErrno(int error) {
  switch (error) {
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOENT:
    case ENOTDIR:
      return 3;  // ERROR_PATH_NOT_FOUND
    case EACCES:
    case EPERM:
    case EROFS:
      return 5;  // ERROR_ACCESS_DENIED
    case ENOSPC:
    case EDQUOT:
      return 112;  // ERROR_DISK_FULL
    case ENAMETOOLONG:
      return 206;  // ERROR_FILENAME_EXCED_RANGE
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

int IsLeadByteInCodePage(unsigned char byte) {
  switch (g_codePage) {
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    default:
      return 0;
  }
}

bool MapPath(const char* ansiPath, std::string* mapped) {
  std::string separated;
  for (const char* p = ansiPath; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (IsLeadByteInCodePage(c) && p[1]) {
      separated += *p++;
      separated += *p;
    } else {
      separated += c == '\\' ? '/' : *p;
    }
  }
  bool ascii = true;
  for (unsigned char c : separated) ascii = ascii && c < 0x80;
  if (ascii || !CodePageToUtf8(separated, g_codePage, mapped)) *mapped = separated;  // raw bytes
  return true;
}

FILE* PosixOpenFile(const char* path, const char* mode) {
  std::string mapped;
  MapPath(path, &mapped);
  return fopen(mapped.c_str(), mode);
}

int PosixDeleteFile(const char* path) {
  std::string mapped;
  MapPath(path, &mapped);
  return unlink(mapped.c_str()) == 0;
}

int MakeDirectory(const char* path, mode_t mode) {
  std::string mapped;
  MapPath(path, &mapped);
  if (mkdir(mapped.c_str(), mode) == 0) return 1;
  t_lastError = Win32ErrorFromErrno(errno);
  return 0;
}

int PosixCreateDirectory(const char* path) {
  return MakeDirectory(path, 0777);
}
// The POSIX owner is the only trustee there is: a plain user's token.
int PosixReadToken(TokenFacts* facts) {
  facts->administratorsMember = false;
  facts->highIntegrity = false;
  snprintf(facts->userSid, sizeof facts->userSid, "S-1-22-1-%u", static_cast<unsigned>(getuid()));
  return 1;
}

// Descriptors are handed out as their value + 1, so that none is null.
HeldHandle HandleOf(int descriptor) {
  return descriptor < 0 ? nullptr
                        : reinterpret_cast<HeldHandle>(static_cast<intptr_t>(descriptor) + 1);
}
int DescriptorOf(HeldHandle handle) {
  return static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1);
}

HeldHandle PosixOpenHeld(const char* path, int flags) {
  std::string mapped;
  MapPath(path, &mapped);
  int descriptor = open(mapped.c_str(), flags);
  if (descriptor < 0) t_lastError = Win32ErrorFromErrno(errno);
  return HandleOf(descriptor);
}

// POSIX has no share modes: the directory is the owner's (0700), and the
// descriptor is held all the same.
HeldHandle PosixCreateHeldDirectory(const char* path, const char*) {
  if (!MakeDirectory(path, 0700)) return nullptr;
  return PosixOpenHeld(path, O_RDONLY | O_DIRECTORY);
}

HeldHandle PosixHoldDirectory(const char* path) {
  return PosixOpenHeld(path, O_RDONLY | O_DIRECTORY);
}

// /proc names an open descriptor's file, whatever its name has become.
std::string DescriptorLink(int descriptor) {
  return "/proc/self/fd/" + std::to_string(descriptor);
}

int PosixFinalPath(HeldHandle handle, char* path, uint32_t capacity) {
  char target[4096];
  ssize_t length = readlink(DescriptorLink(DescriptorOf(handle)).c_str(), target, sizeof target);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return 0;
  std::string utf8(target, static_cast<size_t>(length)), ansi;
  bool ascii = true;
  for (unsigned char c : utf8) ascii = ascii && c < 0x80;
  if (ascii)
    ansi = utf8;
  else if (!Utf8ToCodePage(utf8, g_codePage, &ansi))
    return 0;
  if (ansi.size() + 1 > capacity) return 0;
  memcpy(path, ansi.c_str(), ansi.size() + 1);
  return 1;
}

FILE* PosixOpenFileIn(HeldHandle directory, const char* relativePath, const char* mode) {
  std::string mapped;
  MapPath(relativePath, &mapped);
  bool writing = mode[0] == 'w';
  int descriptor = openat(DescriptorOf(directory), mapped.c_str(),
                          (writing ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY) | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    t_lastError = Win32ErrorFromErrno(errno);
    return nullptr;
  }
  FILE* file = fdopen(descriptor, writing ? "wb" : "rb");
  if (!file) close(descriptor);
  return file;
}

int PosixCreateDirectoryIn(HeldHandle directory, const char* relativePath) {
  std::string mapped;
  MapPath(relativePath, &mapped);
  if (mkdirat(DescriptorOf(directory), mapped.c_str(), 0777) == 0) return 1;
  t_lastError = Win32ErrorFromErrno(errno);
  return 0;
}

int PosixDeleteFileIn(HeldHandle directory, const char* relativePath) {
  std::string mapped;
  MapPath(relativePath, &mapped);
  return unlinkat(DescriptorOf(directory), mapped.c_str(), 0) == 0;
}

// The hold is opened on the writer's own file through its descriptor, not
// its name, before the writer closes.
int PosixCloseAndHold(FILE* file, HeldHandle* held) {
  *held = nullptr;
  if (fflush(file) != 0) {
    fclose(file);
    return 0;
  }
  int descriptor = open(DescriptorLink(fileno(file)).c_str(), O_RDONLY | O_CLOEXEC);
  if (fclose(file) != 0) {
    if (descriptor >= 0) close(descriptor);
    return 0;
  }
  *held = HandleOf(descriptor);
  return 1;
}

int32_t PosixReadHeld(HeldHandle file, void* buffer, uint32_t size) {
  return static_cast<int32_t>(read(DescriptorOf(file), buffer, size));
}

void PosixRelease(HeldHandle handle) {
  close(DescriptorOf(handle));
}

// Linux starts no Windows programs.
int PosixStartProgram(const char*, char*) {
  t_lastError = 193;  // ERROR_BAD_EXE_FORMAT
  return 0;
}

uint32_t PosixLastError() {
  return t_lastError;
}

int PosixIsLeadByte(unsigned char byte) {
  return IsLeadByteInCodePage(byte);
}

void PosixSendNotice(void* target, uint32_t code, uintptr_t value) {
  const NoticeSink* sink = static_cast<const NoticeSink*>(target);
  if (sink && sink->deliver) sink->deliver(sink->context, code, value);
}

uint32_t PosixGetTempPath(uint32_t size, char* buffer) {
  const char* dir = getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  if (path.size() + 1 > size) return static_cast<uint32_t>(path.size() + 1);
  memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<uint32_t>(path.size());
}

int PosixPathExists(const char* path) {
  std::string mapped;
  MapPath(path, &mapped);
  struct stat st;
  return stat(mapped.c_str(), &st) == 0;
}

// Linux has one root; it stands for the single fixed drive.
uint32_t PosixGetLogicalDriveStrings(uint32_t size, char* buffer) {
  if (size < 3) return 3;
  buffer[0] = '/';
  buffer[1] = '\0';
  buffer[2] = '\0';
  return 2;
}

uint32_t PosixGetDriveType(const char*) {
  return kDriveFixed;
}

int PosixFreeSpaceEx(const char* path, uint64_t* availableToCaller, uint64_t* totalBytes,
                     uint64_t* totalFreeBytes) {
  std::string mapped;
  MapPath(path, &mapped);
  struct statvfs vfs;
  if (statvfs(mapped.c_str(), &vfs) != 0) return 0;
  *availableToCaller = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  *totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
  *totalFreeBytes = static_cast<uint64_t>(vfs.f_bfree) * vfs.f_frsize;
  return 1;
}

FreeSpaceExQuery PosixFindFreeSpaceEx() {
  return PosixFreeSpaceEx;
}

int PosixGetDiskFreeSpace(const char* path, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                          uint32_t* freeClusters, uint32_t* totalClusters) {
  uint64_t available, total, free;
  if (!PosixFreeSpaceEx(path, &available, &total, &free)) return 0;
  *sectorsPerCluster = 8;
  *bytesPerSector = 512;
  *freeClusters = static_cast<uint32_t>(free / 4096 > 0xFFFFFFFFu ? 0xFFFFFFFFu : free / 4096);
  *totalClusters = static_cast<uint32_t>(total / 4096 > 0xFFFFFFFFu ? 0xFFFFFFFFu : total / 4096);
  return 1;
}

uint32_t PosixReadTimeStampLow() {
#if defined(__x86_64__) || defined(__i386__)
  return static_cast<uint32_t>(__builtin_ia32_rdtsc());
#else
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(ts.tv_nsec ^ ts.tv_sec);
#endif
}

// ---- Runs with switches: stand-ins where Linux has the like, refusals
// where it has not (no Windows program starts here). Wide paths are
// Unicode already: UTF-8 with '/' for '\\'. ----

std::string Utf8OfWide(const char16_t* text, bool path) {
  std::string out;
  for (; *text; text++) {
    uint32_t c = *text;
    if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (*++text - 0xDC00);
    if (path && c == '\\') c = '/';
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// UTF-8 to UTF-16 into `buffer`: the units with the terminator, 0 when it
// does not fit or is no UTF-8.
uint32_t WideOfUtf8(const std::string& text, char16_t* buffer, uint32_t capacity) {
  uint32_t at = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || text.size() - i <= static_cast<size_t>(extra)) return 0;
    uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; k++)
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += extra + 1;
    uint32_t units = c >= 0x10000 ? 2 : 1;
    if (at + units + 1 > capacity) return 0;
    if (units == 2) {
      buffer[at++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      buffer[at++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      buffer[at++] = static_cast<char16_t>(c);
    }
  }
  if (at + 1 > capacity) return 0;
  buffer[at] = u'\0';
  return at + 1;
}

uint32_t FailWith(uint32_t error) {
  t_lastError = error;
  return 0;
}

const char16_t* PosixGetCommandLineWide() {
  return u"launcher";
}

uint32_t CopyWide(const std::string& utf8, char16_t* buffer, uint32_t capacity) {
  uint32_t units = WideOfUtf8(utf8, buffer, capacity);
  return units ? units - 1 : FailWith(122);  // ERROR_INSUFFICIENT_BUFFER
}

uint32_t PosixGetProgramPathWide(char16_t* buffer, uint32_t capacity) {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return FailWith(Win32ErrorFromErrno(errno));
  return CopyWide(std::string(path, static_cast<size_t>(length)), buffer, capacity);
}

uint32_t PosixGetTempPathWide(char16_t* buffer, uint32_t capacity) {
  char path[4096];
  uint32_t length = PosixGetTempPath(sizeof path, path);
  if (length == 0 || length >= sizeof path) return FailWith(122);
  return CopyWide(path, buffer, capacity);
}

uint32_t PosixGetFullPathWide(const char16_t* path, char16_t* buffer, uint32_t capacity) {
  std::string mapped = Utf8OfWide(path, true);
  if (mapped.empty() || mapped[0] != '/') {
    char directory[4096];
    if (!getcwd(directory, sizeof directory)) return FailWith(Win32ErrorFromErrno(errno));
    mapped = std::string(directory) + "/" + mapped;
  }
  return CopyWide(mapped, buffer, capacity);
}

uint32_t PosixAnsiToWide(const char* text, char16_t* buffer, uint32_t capacity) {
  std::string utf8;
  if (!CodePageToUtf8(text, g_codePage, &utf8))
    return FailWith(1113);  // ERROR_NO_UNICODE_TRANSLATION
  uint32_t units = WideOfUtf8(utf8, buffer, capacity);
  return units ? units : FailWith(122);
}

uint32_t PosixWideToAnsi(const char16_t* text, char* buffer, uint32_t capacity) {
  std::string ansi;
  if (!Utf8ToCodePage(Utf8OfWide(text, false), g_codePage, &ansi)) return FailWith(1113);
  if (ansi.size() + 1 > capacity) return FailWith(122);
  memcpy(buffer, ansi.c_str(), ansi.size() + 1);
  return static_cast<uint32_t>(ansi.size() + 1);
}

// O_NOFOLLOW keeps a link at the name from leading elsewhere; only a plain
// file of one name is emptied.
HeldHandle PosixCreateLogFile(const char16_t* path, int replace) {
  std::string mapped = Utf8OfWide(path, true);
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_APPEND | (replace ? 0 : O_EXCL);
  int descriptor = open(mapped.c_str(), flags, 0644);
  if (descriptor < 0) {
    FailWith(Win32ErrorFromErrno(errno));
    return nullptr;
  }
  struct stat st;
  if (fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      ftruncate(descriptor, 0) != 0) {
    close(descriptor);
    FailWith(5);  // ERROR_ACCESS_DENIED
    return nullptr;
  }
  return HandleOf(descriptor);
}

int PosixWriteLogFile(HeldHandle file, const void* bytes, uint32_t size) {
  const char* at = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t written = write(DescriptorOf(file), at, size);
    if (written <= 0) return static_cast<int>(FailWith(Win32ErrorFromErrno(errno)));
    at += written;
    size -= static_cast<uint32_t>(written);
  }
  return 1;
}

void PosixGetLocalTime(LocalTime* time) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm local;
  localtime_r(&now.tv_sec, &local);
  *time = {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
           static_cast<uint16_t>(local.tm_mday),        static_cast<uint16_t>(local.tm_hour),
           static_cast<uint16_t>(local.tm_min),         static_cast<uint16_t>(local.tm_sec),
           static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

int PosixStartSetup(const char16_t*, char16_t*, int, SetupProcess* setup) {
  *setup = SetupProcess();
  return static_cast<int>(FailWith(193));  // ERROR_BAD_EXE_FORMAT
}

int PosixWaitForSetup(SetupProcess*, uint32_t*) {
  return static_cast<int>(FailWith(6));  // ERROR_INVALID_HANDLE
}

void PosixCloseSetup(SetupProcess* setup) {
  *setup = SetupProcess();
}

// The attributes Windows would give: a symbolic link is a reparse point,
// and a directory when it leads to one.
uint32_t AttributesOf(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return kNoFileAttributes;
  if (!S_ISLNK(st.st_mode)) return S_ISDIR(st.st_mode) ? kFileAttributeDirectory : 0;
  struct stat target;
  bool directory = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  return kFileAttributeReparsePoint | (directory ? kFileAttributeDirectory : 0);
}

// Visits each entry of an open listing but "." and "..", then closes it;
// their attributes are read in `folder` when it is given.
int VisitListing(DIR* listing, const std::string* folder, DirectoryVisitor visit, void* context) {
  bool going = true;
  while (struct dirent* entry = going ? readdir(listing) : nullptr) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    char16_t wide[1024];
    if (!WideOfUtf8(name, wide, 1024)) continue;
    going = visit(context, wide, folder ? AttributesOf(*folder + "/" + name) : 0);
  }
  closedir(listing);
  return 1;
}

int PosixListDirectory(const char16_t* directory, DirectoryVisitor visit, void* context) {
  std::string mapped = Utf8OfWide(directory, true);
  DIR* listing = opendir(mapped.c_str());
  if (!listing) return static_cast<int>(FailWith(Win32ErrorFromErrno(errno)));
  return VisitListing(listing, &mapped, visit, context);
}

// A link is opened as itself (O_PATH), a folder for listing.
HeldHandle PosixOpenEntryIn(HeldHandle directory, const char16_t* name, uint32_t* attributes) {
  std::string entry = Utf8OfWide(name, false);
  struct stat st;
  bool found = fstatat(DescriptorOf(directory), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  bool folder = found && S_ISDIR(st.st_mode);
  int flags = folder ? O_RDONLY | O_DIRECTORY | O_NOFOLLOW : O_PATH | O_NOFOLLOW;
  int descriptor = found ? openat(DescriptorOf(directory), entry.c_str(), flags) : -1;
  if (descriptor < 0) {
    FailWith(Win32ErrorFromErrno(errno));
    return nullptr;
  }
  *attributes =
      S_ISLNK(st.st_mode) ? kFileAttributeReparsePoint : (folder ? kFileAttributeDirectory : 0);
  return HandleOf(descriptor);
}

int PosixListHeld(HeldHandle directory, DirectoryVisitor visit, void* context) {
  int descriptor = dup(DescriptorOf(directory));
  DIR* listing = descriptor < 0 ? nullptr : fdopendir(descriptor);
  if (!listing) {
    if (descriptor >= 0) close(descriptor);
    return static_cast<int>(FailWith(Win32ErrorFromErrno(errno)));
  }
  rewinddir(listing);
  return VisitListing(listing, nullptr, visit, context);
}

// POSIX deletes by name only: the name /proc gives the descriptor, and only
// while that name still leads to the descriptor's own file.
int PosixDeleteHeld(HeldHandle entry) {
  char target[4096];
  ssize_t length = readlink(DescriptorLink(DescriptorOf(entry)).c_str(), target, sizeof target - 1);
  if (length <= 0) return static_cast<int>(FailWith(6));  // ERROR_INVALID_HANDLE
  target[length] = '\0';
  struct stat held, named;
  if (fstat(DescriptorOf(entry), &held) != 0 || lstat(target, &named) != 0 ||
      held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
    return static_cast<int>(FailWith(2));  // ERROR_FILE_NOT_FOUND
  }
  int removed = S_ISDIR(named.st_mode) ? rmdir(target) : unlink(target);
  return removed == 0 ? 1 : static_cast<int>(FailWith(Win32ErrorFromErrno(errno)));
}

// A link to a directory goes by unlink; rmdir would refuse it.
int PosixRemoveDirectoryWide(const char16_t* path) {
  std::string mapped = Utf8OfWide(path, true);
  int removed = (AttributesOf(mapped) & kFileAttributeReparsePoint) ? unlink(mapped.c_str())
                                                                    : rmdir(mapped.c_str());
  return removed == 0 ? 1 : static_cast<int>(FailWith(Win32ErrorFromErrno(errno)));
}

int PosixDeleteAtRestart(const char16_t*) {
  return static_cast<int>(FailWith(50));  // ERROR_NOT_SUPPORTED
}

void PosixSleepMilliseconds(uint32_t milliseconds) {
  struct timespec pause = {static_cast<time_t>(milliseconds / 1000),
                           static_cast<long>(milliseconds % 1000) * 1000000};
  nanosleep(&pause, nullptr);
}

int PosixCreateDirectoryWide(const char16_t* path) {
  if (mkdir(Utf8OfWide(path, true).c_str(), 0777) == 0) return 1;
  return static_cast<int>(FailWith(Win32ErrorFromErrno(errno)));
}

uint32_t PosixGetFileAttributesWide(const char16_t* path) {
  uint32_t attributes = AttributesOf(Utf8OfWide(path, true));
  if (attributes == kNoFileAttributes) t_lastError = 2;  // ERROR_FILE_NOT_FOUND
  return attributes;
}

int PosixWriteParentConsole(const char16_t* text) {
  std::string utf8 = Utf8OfWide(text, false);
  return fwrite(utf8.data(), 1, utf8.size(), stdout) == utf8.size() && fflush(stdout) == 0;
}

}  // namespace

void PosixSetCodePage(unsigned codePage) {
  g_codePage = codePage;
}
unsigned PosixCodePage() {
  return g_codePage;
}

HeldHandle PosixHeldDescriptor(int descriptor) {
  return HandleOf(descriptor);
}

int PosixMapPath(const char* ansiPath, char* out, size_t outSize) {
  std::string mapped;
  MapPath(ansiPath, &mapped);
  if (mapped.size() + 1 > outSize) return 0;
  memcpy(out, mapped.c_str(), mapped.size() + 1);
  return 1;
}

PlatformOps NativePlatform() {
  PlatformOps ops;
  ops.openFile = PosixOpenFile;
  ops.deleteFile = PosixDeleteFile;
  ops.createDirectory = PosixCreateDirectory;
  ops.lastError = PosixLastError;
  ops.isLeadByte = PosixIsLeadByte;
  ops.sendNotice = PosixSendNotice;
  ops.getTempPath = PosixGetTempPath;
  ops.pathExists = PosixPathExists;
  ops.getLogicalDriveStrings = PosixGetLogicalDriveStrings;
  ops.getDriveType = PosixGetDriveType;
  ops.findFreeSpaceEx = PosixFindFreeSpaceEx;
  ops.getDiskFreeSpace = PosixGetDiskFreeSpace;
  ops.readTimeStampLow = PosixReadTimeStampLow;
  ops.readToken = PosixReadToken;
  ops.createHeldDirectory = PosixCreateHeldDirectory;
  ops.holdDirectory = PosixHoldDirectory;
  ops.finalPath = PosixFinalPath;
  ops.openFileIn = PosixOpenFileIn;
  ops.createDirectoryIn = PosixCreateDirectoryIn;
  ops.deleteFileIn = PosixDeleteFileIn;
  ops.closeAndHold = PosixCloseAndHold;
  ops.readHeld = PosixReadHeld;
  ops.release = PosixRelease;
  ops.startProgram = PosixStartProgram;
  // Runs with switches.
  ops.getCommandLineWide = PosixGetCommandLineWide;
  ops.getProgramPathWide = PosixGetProgramPathWide;
  ops.getTempPathWide = PosixGetTempPathWide;
  ops.getFullPathWide = PosixGetFullPathWide;
  ops.ansiToWide = PosixAnsiToWide;
  ops.wideToAnsi = PosixWideToAnsi;
  ops.createLogFile = PosixCreateLogFile;
  ops.writeLogFile = PosixWriteLogFile;
  ops.getLocalTime = PosixGetLocalTime;
  ops.startSetup = PosixStartSetup;
  ops.waitForSetup = PosixWaitForSetup;
  ops.closeSetup = PosixCloseSetup;
  ops.listDirectory = PosixListDirectory;
  ops.openEntryIn = PosixOpenEntryIn;
  ops.listHeld = PosixListHeld;
  ops.deleteHeld = PosixDeleteHeld;
  ops.removeDirectoryWide = PosixRemoveDirectoryWide;
  ops.deleteAtRestart = PosixDeleteAtRestart;
  ops.sleepMilliseconds = PosixSleepMilliseconds;
  ops.createDirectoryWide = PosixCreateDirectoryWide;
  ops.getFileAttributesWide = PosixGetFileAttributesWide;
  ops.writeParentConsole = PosixWriteParentConsole;
  return ops;
}

PlatformOps g_platform = NativePlatform();
