// The host's files as qwpack sees them: UTF-8 paths on every system. POSIX
// calls on Linux (host_files_posix.cpp); on Windows the wide calls, so that
// any name the file system holds can be reached (host_files_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "encode/pipeline/package_stream.h"

#ifdef _WIN32
constexpr char kHostSeparator = '\\';
#else
constexpr char kHostSeparator = '/';
#endif

// Tells two names for one file apart from two files: device and inode, or
// volume serial number and file index.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && file == other.file;
  }
};

enum class HostKind { kFile, kDirectory, kOther };

struct HostFileInfo {
  HostKind kind = HostKind::kOther;
  uint64_t size = 0;
  FileIdentity identity;
};

// What a path names, following links. Returns an empty string or what failed.
std::string HostStat(const std::string& path, HostFileInfo* info);

// The names in a directory, "." and ".." left out. Returns an empty string
// or what failed.
std::string HostListDirectory(const std::string& path, std::vector<std::string>* names);

// fopen; errno says why not.
FILE* HostOpenFile(const std::string& path, const char* mode);

// A file that disappears when closed, opened "w+b".
FILE* HostTemporaryFile();

// The whole file; false when it cannot be read.
bool HostReadFile(const std::string& path, std::vector<uint8_t>* bytes);
// The whole file, which must be no longer than `most` bytes (a file of the
// publisher's brand, which could be a device that never ends). Returns an
// empty string, or why not.
std::string HostReadSmallFile(const std::string& path, uint64_t most, std::vector<uint8_t>* bytes);

// mkdir -p. Returns an empty string or what failed.
std::string HostMakeDirectories(const std::string& path);

// The absolute form of `path` (links resolved where the system does so); the
// path itself when it cannot be resolved.
std::string HostAbsolutePath(const std::string& path);

// This program's own file.
std::string HostOwnProgram();

// The folder part of `path` ("." when it has none).
std::string HostDirectoryOf(const std::string& path);

// Writes all of `bytes` at `offset` of the open file `fd`, wherever its
// position stands; any thread may call it.
bool HostWriteAt(int fd, const uint8_t* bytes, size_t length, uint64_t offset);
// Reads `length` bytes at `offset` of `fd` in the same way; false when the
// file ends before them or a read fails.
bool HostReadAt(int fd, uint8_t* bytes, size_t length, uint64_t offset);

// Cuts the open file `fd` to `length` bytes.
bool HostTruncate(int fd, uint64_t length);

// Removes a file; false when it could not.
bool HostRemoveFile(const std::string& path);

// The packing pipeline's reads of the payload and positioned writes into
// the open launcher `fd`, through the calls above.
PackageFiles HostPackageFiles(int fd);

// The last error of the host's calls as a sentence (strerror, or the
// system's message on Windows).
std::string HostErrorText();

bool HostIsTerminal(FILE* stream);
unsigned HostProcessorCount();
double HostThreadCpuSeconds();

#ifdef _WIN32
// UTF-8 and the system's UTF-16 (unpaired surrogates become U+FFFD).
std::wstring HostWide(const std::string& utf8);
std::string HostUtf8(const std::wstring& wide);
// FormatMessage's sentence for a Win32 error code, as UTF-8.
std::string HostSystemMessage(unsigned long error);
#endif
