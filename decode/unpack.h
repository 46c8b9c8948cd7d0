// The two stages of extraction as functions over open streams, so the
// launcher and the command-line tool run the very same code.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/container.h"
#include "common/sha256.h"
#include "platform/platform.h"

// Stream buffers of the worker's files, sized so that reads and writes of
// whole 4096-byte blocks reach the system sixteen at a time, not one by one.
constexpr size_t kStreamBufferSize = 64 * 1024;
struct StreamBuffer {
  char bytes[kStreamBufferSize];
};
// Gives a freshly opened `stream` the buffer, which must outlive it.
inline void UseStreamBuffer(FILE* stream, StreamBuffer* buffer) {
  setvbuf(stream, buffer->bytes, _IOFBF, sizeof buffer->bytes);
}

// Sizes `program` and reads its package locator: false when the file is
// under 136 bytes or 2 GiB and over, or the locator is invalid.
bool LocatePackage(FILE* program, PackageLocator* locator);

// Copies the package body (the package less its file count) from `program`
// to `copy`, sending a progress notice 0..100 to `noticeTarget` after each
// chunk. Returns the package's fileCount, or 0 when the file is under 136
// bytes or 2 GiB and over, the locator is invalid, a read delivers nothing
// before the body is complete, or a write comes up short. Closes nothing.
uint32_t CopyPackageBody(FILE* program, FILE* copy, void* noticeTarget);

// The SHA-256 and length of a held file's bytes: a forged file can match a
// CRC-32 and a length, which are linear, but not these.
struct HeldDigest {
  uint8_t sha256[kSha256Size];
  uint64_t length;
};

struct EntryReport {
  const EntryHeader* header;
  const char* outputPath;
  uint32_t blockCount;
  uint32_t codedBlockCount;
  uint64_t storedBytes;        // block headers included: dataEnd - dataStart of a sound entry
  HeldHandle held = nullptr;   // the output, held since its check (UnpackJob::holdWhenVerified)
  HeldDigest heldDigest = {};  // of the bytes written to `held`
};

struct UnpackJob {
  const char* workspacePath;  // without a trailing separator: what notices name
  // Where the files go: every file and folder is opened relative to this
  // held directory, the workspace, never through workspacePath. Null when
  // nothing is written.
  HeldHandle workspace;
  uint32_t fileCount;  // non-zero; divides the progress
  void* noticeTarget;  // receives the progress notices
  bool writeFiles;     // false: decode and verify, create nothing
  void (*onEntry)(void* context, const EntryReport& report);  // optional
  void* context;
  // Optional: an entry for which it returns true is, once written and
  // verified, closed and held without a gap (platform closeAndHold); the
  // hold goes to onEntry in the report, which then owns it.
  bool (*holdWhenVerified)(const EntryHeader& header) = nullptr;
};

// Walks the entries from the stream's position to the end of the package:
// creates subdirectories and files below the workspace, decodes and verifies
// each entry, and sends a progress notice after each non-empty entry.
// Returns the final notice code (1, or 3 to 6); for 3 to 6 `path` holds the
// notice's value. The caller closes `body` and sends the final notice.
uint32_t UnpackPackageBody(FILE* body, const UnpackJob& job, char* path);

// Reads the held file from its current position to its end: true only when
// those bytes have the SHA-256 and length the walk wrote. Needs neither the
// package nor a second decode, so it holds for every method, a method-2
// entry whose dictionary began in earlier entries included.
bool HeldFileMatches(HeldHandle file, const HeldDigest& expected);
