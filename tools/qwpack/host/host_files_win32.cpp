// The host's files on Windows: every path goes to the wide calls, so names
// outside the ANSI code page are reached as they are.
#include <windows.h>
#include <io.h>

#include <cerrno>
#include <cstring>

#include "tools/qwpack/host/host_files.h"

namespace {

thread_local std::string t_lastError;

std::string Failed(const std::string& what) {
  t_lastError = HostSystemMessage(GetLastError());
  return what + ": " + t_lastError;
}

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

}  // namespace

std::wstring HostWide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

std::string HostUtf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length,
                      nullptr, nullptr);
  return utf8;
}

std::string HostSystemMessage(unsigned long error) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.'))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : HostUtf8(message);
}

std::string HostStat(const std::string& path, HostFileInfo* info) {
  // No access asked for: the attributes and identity only. Backup
  // semantics let it open folders too; links are followed.
  HANDLE handle =
      CreateFileW(HostWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failed("cannot read " + path);
  BY_HANDLE_FILE_INFORMATION file;
  bool read = GetFileInformationByHandle(handle, &file) != 0;
  DWORD type = GetFileType(handle);
  CloseHandle(handle);
  if (!read) return Failed("cannot read " + path);
  info->kind = (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? HostKind::kDirectory
               : type == FILE_TYPE_DISK                           ? HostKind::kFile
                                                                  : HostKind::kOther;
  info->size = static_cast<uint64_t>(file.nFileSizeHigh) << 32 | file.nFileSizeLow;
  info->identity.volume = file.dwVolumeSerialNumber;
  info->identity.file = static_cast<uint64_t>(file.nFileIndexHigh) << 32 | file.nFileIndexLow;
  return "";
}

std::string HostListDirectory(const std::string& path, std::vector<std::string>* names) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(HostWide(path + "\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return "";
    return Failed("cannot read the folder " + path);
  }
  do {
    if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L".."))
      names->push_back(HostUtf8(found.cFileName));
  } while (FindNextFileW(search, &found));
  DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    SetLastError(error);
    return Failed("cannot read the folder " + path);
  }
  return "";
}

FILE* HostOpenFile(const std::string& path, const char* mode) {
  FILE* file = _wfopen(HostWide(path).c_str(), HostWide(mode).c_str());
  if (!file) t_lastError = strerror(errno);
  return file;
}

FILE* HostTemporaryFile() {
  wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
  if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"qwp", 0, name)) {
    Failed("no temporary file");
    return nullptr;
  }
  // D: deleted when closed.
  FILE* file = _wfopen(name, L"w+bD");
  if (!file) {
    t_lastError = strerror(errno);
    DeleteFileW(name);
  }
  return file;
}

// Creates every level in turn; only whether the whole path ends up a folder
// counts, since a drive or share root cannot be created.
std::string HostMakeDirectories(const std::string& path) {
  std::wstring wide = HostWide(path);
  for (size_t i = 1; i <= wide.size(); i++) {
    if (i == wide.size() || IsSeparator(wide[i]))
      CreateDirectoryW(wide.substr(0, i).c_str(), nullptr);
  }
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Failed("cannot create " + path);
  return "";
}

std::string HostAbsolutePath(const std::string& path) {
  std::wstring wide = HostWide(path);
  DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (!length) return path;
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(wide.c_str(), length, &full[0], nullptr);
  full.resize(length);
  return HostUtf8(full);
}

std::string HostOwnProgram() {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
    if (length == 0) return "";
    if (length < self.size()) {
      self.resize(length);
      return HostUtf8(self);
    }
    self.resize(self.size() * 2);
  }
}

std::string HostDirectoryOf(const std::string& path) {
  size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return ".";
  return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

bool HostWriteAt(int fd, const uint8_t* bytes, size_t length, uint64_t offset) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  while (length > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD chunk = length < (1u << 30) ? static_cast<DWORD>(length) : (1u << 30), written = 0;
    if (!WriteFile(handle, bytes, chunk, &written, &at) || written == 0) {
      Failed("write");
      return false;
    }
    bytes += written;
    length -= written;
    offset += written;
  }
  return true;
}

bool HostTruncate(int fd, uint64_t length) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  FILE_END_OF_FILE_INFO end = {};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end)) return true;
  Failed("truncate");
  return false;
}

bool HostRemoveFile(const std::string& path) {
  if (DeleteFileW(HostWide(path).c_str())) return true;
  Failed("remove " + path);
  return false;
}

bool HostReadAt(int fd, uint8_t* bytes, size_t length, uint64_t offset) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  while (length > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD chunk = length < (1u << 30) ? static_cast<DWORD>(length) : (1u << 30), read = 0;
    if (!ReadFile(handle, bytes, chunk, &read, &at) || read == 0) {
      Failed("read");
      return false;
    }
    bytes += read;
    length -= read;
    offset += read;
  }
  return true;
}

std::string HostErrorText() {
  return t_lastError;
}

bool HostIsTerminal(FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

unsigned HostProcessorCount() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return system.dwNumberOfProcessors;
}

double HostThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) * 1e-7;
  };
  return seconds(kernel) + seconds(user);
}
