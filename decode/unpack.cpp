#include "decode/unpack.h"

#include <cstdlib>
#include <cstring>

#include "common/crc32.h"
#include "common/entry_names.h"
#include "decode/block_decode.h"
#include "decode/lzma_decode.h"
#include "decode/nested_directory.h"
#include "decode/notices.h"
#include "platform/platform.h"

namespace {

bool ReadExactly(FILE* stream, void* buffer, uint32_t length) {
  return fread(buffer, 1, length, stream) == length;
}

// Sizes the file as the launcher does, with signed 32-bit positions.
bool SizeProgramFile(FILE* program, uint32_t* size) {
  if (fseek(program, 0, SEEK_SET) != 0) return false;
  long start = ftell(program);
  if (fseek(program, 0, SEEK_END) != 0) return false;
  long end = ftell(program);
  if (start < 0 || end < start || static_cast<unsigned long>(end - start) > kMaxProgramSize)
    return false;
  *size = static_cast<uint32_t>(end - start);
  return true;
}

bool ReadLocator(FILE* program, uint32_t fileSize, PackageLocator* locator) {
  uint8_t raw[8];
  if (fseek(program, kLocatorOffset, SEEK_SET) != 0 || !ReadExactly(program, raw, 8)) return false;
  locator->packageOffset = LoadLe32(raw);
  locator->packageLength = LoadLe32(raw + 4);
  return IsLocatorValid(*locator, fileSize);
}

}  // namespace

bool LocatePackage(FILE* program, PackageLocator* locator) {
  uint32_t fileSize;
  return SizeProgramFile(program, &fileSize) && fileSize >= kLocatorEnd &&
         ReadLocator(program, fileSize, locator);
}

namespace {

// Composes the entry's output path and creates its subdirectory. Names are
// checked before anything is created. Returns 0 or the failure's code.
uint32_t PrepareOutputPath(const UnpackJob& job, const EntryHeader& header, char* path,
                           MadeSubdirectory* made) {
  char subdirectory[kNameFieldSize + 1];
  char fileName[kNameFieldSize + 1];
  memcpy(subdirectory, header.subdirectory, kNameFieldSize);
  memcpy(fileName, header.fileName, kNameFieldSize);
  subdirectory[kNameFieldSize] = fileName[kNameFieldSize] = '\0';

  path[0] = '\0';
  AppendPathPart(path, kPathCapacity, 0, job.workspacePath);
  bool hasSubdirectory = subdirectory[0] != '\0';
  if (hasSubdirectory) {
    bool fits = AppendPathPart(path, kPathCapacity, '\\', subdirectory);
    if (!fits || !IsNameFieldTerminated(header.subdirectory) || !IsSafeSubdirectory(subdirectory))
      return kNoticeDirectoryError;
  }
  bool fits = AppendPathPart(path, kPathCapacity, '\\', fileName);
  if (!fits || !IsNameFieldTerminated(header.fileName) || !IsSafeFileName(fileName))
    return kNoticeWriteError;

  if (hasSubdirectory && job.writeFiles &&
      !CreateEntrySubdirectory(job.workspace, subdirectory, made) &&
      g_platform.lastError() != kErrorAlreadyExists) {
    path[0] = '\0';
    AppendPathPart(path, kPathCapacity, 0, job.workspacePath);
    AppendPathPart(path, kPathCapacity, '\\', subdirectory);
    return kNoticeDirectoryError;
  }
  return 0;
}

struct BlockBuffers {
  uint8_t input[kBlockSize];
  uint8_t output[kBlockSize];
  StreamBuffer outputStream;  // of each output file in turn
  // The method-2 decoder with its dictionary: taken at the walk's first
  // method-2 entry, carried through the others, freed when the walk ends.
  // Null where the allocation failed, which fails those entries' decoding.
  LzmaDecoder* lzma;
  bool lzmaTried;
};

LzmaDecoder* TakeLzmaDecoder(BlockBuffers* buffers) {
  if (!buffers->lzmaTried) {
    buffers->lzmaTried = true;
    buffers->lzma = static_cast<LzmaDecoder*>(malloc(sizeof(LzmaDecoder)));
    if (buffers->lzma) LzmaBeginPackage(buffers->lzma);
  }
  return buffers->lzma;
}

// A file to be held once verified also gets the SHA-256 and length of the
// bytes written, so that what is started can be checked against them.
struct OutputFile {
  FILE* file;
  bool holdWhenVerified;
  HeldHandle held;
  Sha256 hash;
  HeldDigest written;
};

bool PutToFile(OutputFile* output, const uint8_t* data, uint32_t length) {
  if (output->holdWhenVerified) {
    Sha256Add(&output->hash, data, length);
    output->written.length += length;
  }
  return fwrite(data, 1, length, output->file) == length;
}
// Closes the file, or holds it when it was verified and is to be held.
bool CloseFile(OutputFile* output, bool verified) {
  if (!(verified && output->holdWhenVerified)) return fclose(output->file) == 0;
  Sha256Finish(&output->hash, output->written.sha256);
  return g_platform.closeAndHold(output->file, &output->held) != 0;
}

// Reads, decodes and writes the blocks of a non-empty entry and checks its
// checksum; `output` may be null (verification only). The output is closed
// (or held) whatever happens.
uint32_t UnpackEntryBlocks(FILE* body, const EntryHeader& header, OutputFile* output,
                           BlockBuffers* buffers, EntryReport* report) {
  memset(buffers->input, 0, sizeof buffers->input);
  memset(buffers->output, 0, sizeof buffers->output);
  uint32_t checksum = 0;
  uint32_t runningOffset = header.dataStart;
  bool decoded = header.lastBlockSize >= 1 && header.lastBlockSize <= kBlockSize;
  LzmaDecoder* lzma = nullptr;
  if (header.method == kMethodLzma) {
    lzma = TakeLzmaDecoder(buffers);
    if (lzma)
      LzmaBeginEntry(lzma);
    else
      decoded = false;
  }
  bool written = true;
  for (bool last = false; decoded && !last;) {
    uint8_t rawHeader[4];
    if (!ReadExactly(body, rawHeader, 4)) {
      decoded = false;
      break;
    }
    BlockHeader block = ParseBlockHeader(rawHeader);
    uint16_t method = block.codedFlag ? header.method : kMethodCopy;
    runningOffset += 4 + block.storedLength;
    last = !(runningOffset < header.dataEnd);
    uint32_t outputLength = last ? header.lastBlockSize : kBlockSize;
    // Every block of a method-2 entry, stored ones too, goes through its
    // decoder's dictionary.
    if (block.storedLength > kBlockSize || !ReadExactly(body, buffers->input, block.storedLength) ||
        !(lzma ? LzmaDecodeBlock(lzma, buffers->output, outputLength, buffers->input,
                                 block.storedLength, block.codedFlag != 0)
               : DecodeBlock(buffers->output, outputLength, buffers->input, block.storedLength,
                             method))) {
      decoded = false;
      break;
    }
    checksum += BlockChecksum(rawHeader, buffers->input, block.storedLength);
    if (output) written = written && PutToFile(output, buffers->output, outputLength);
    report->blockCount++;
    report->codedBlockCount += block.codedFlag ? 1 : 0;
    report->storedBytes += 4 + block.storedLength;
  }
  bool verified = decoded && written && checksum == header.checksum;
  if (output) written = CloseFile(output, verified) && written;
  if (!decoded) return kNoticeDecompressError;
  if (!written) return kNoticeWriteError;
  if (checksum != header.checksum) return kNoticeChecksumError;
  return 0;
}

}  // namespace

uint32_t CopyPackageBody(FILE* program, FILE* copy, void* noticeTarget) {
  PackageLocator locator;
  uint8_t chunk[kBlockSize];
  if (!LocatePackage(program, &locator)) return 0;
  if (fseek(program, static_cast<long>(locator.packageOffset), SEEK_SET) != 0 ||
      !ReadExactly(program, chunk, 4))
    return 0;
  uint32_t fileCount = LoadLe32(chunk);

  uint32_t bodyLength = locator.packageLength - 4;
  uint32_t copied = 0;
  while (copied < bodyLength) {
    uint32_t wanted = bodyLength - copied < kBlockSize ? bodyLength - copied : kBlockSize;
    size_t got = fread(chunk, 1, wanted, program);
    if (got == 0) return 0;  // the file shrank or failed: the body can never complete
    if (fwrite(chunk, 1, got, copy) != got) return 0;
    copied += static_cast<uint32_t>(got);
    uint32_t position = static_cast<uint32_t>(static_cast<uint64_t>(copied) * 100 / bodyLength);
    g_platform.sendNotice(noticeTarget, kNoticeProgress, position);
  }
  return fileCount;
}

namespace {

uint32_t UnpackEntries(FILE* body, const UnpackJob& job, char* path, BlockBuffers* buffers) {
  uint8_t rawHeader[kEntryHeaderSize];
  EntryHeader header;
  uint32_t progress = 0;
  MadeSubdirectory made;  // this walk's own: a later walk makes its directories again
  for (;;) {
    memset(rawHeader, 0, sizeof rawHeader);
    // A short header counts, its missing bytes being zero.
    if (fread(rawHeader, 1, kEntryHeaderSize, body) == 0) return kNoticeSuccess;
    ParseEntryHeader(rawHeader, &header);
    if (header.magic != kEntryMagic) return kNoticeSuccess;

    uint32_t failure = PrepareOutputPath(job, header, path, &made);
    if (failure) return failure;
    // The path is the workspace's, a separator, then the entry's own.
    const char* relativePath = path + strlen(job.workspacePath) + 1;
    FILE* output = nullptr;
    if (job.writeFiles && !(output = g_platform.openFileIn(job.workspace, relativePath, "wb")))
      return kNoticeWriteError;
    if (output) UseStreamBuffer(output, &buffers->outputStream);

    EntryReport report = {&header, path, 0, 0, 0};
    if (header.dataStart == header.dataEnd) {
      if (output && fclose(output) != 0) return kNoticeWriteError;
    } else {
      bool hold = job.holdWhenVerified && job.holdWhenVerified(header);
      OutputFile file = {output, hold, nullptr, {}, {}};
      Sha256Begin(&file.hash);
      failure = UnpackEntryBlocks(body, header, output ? &file : nullptr, buffers, &report);
      report.held = file.held;
      report.heldDigest = file.written;
      if (failure) return failure;
      progress += 100;
      g_platform.sendNotice(job.noticeTarget, kNoticeProgress, progress / job.fileCount + 100);
    }
    if (job.onEntry) job.onEntry(job.context, report);
  }
}

}  // namespace

uint32_t UnpackPackageBody(FILE* body, const UnpackJob& job, char* path) {
  BlockBuffers buffers;
  buffers.lzma = nullptr;
  buffers.lzmaTried = false;
  uint32_t code = UnpackEntries(body, job, path, &buffers);
  free(buffers.lzma);
  return code;
}

bool HeldFileMatches(HeldHandle file, const HeldDigest& expected) {
  uint8_t bytes[kBlockSize];
  Sha256 hash;
  Sha256Begin(&hash);
  uint64_t length = 0;
  for (;;) {
    int32_t got = g_platform.readHeld(file, bytes, sizeof bytes);
    if (got < 0) return false;
    if (got == 0) break;
    Sha256Add(&hash, bytes, static_cast<uint32_t>(got));
    length += static_cast<uint32_t>(got);
  }
  uint8_t digest[kSha256Size];
  Sha256Finish(&hash, digest);
  return length == expected.length && memcmp(digest, expected.sha256, kSha256Size) == 0;
}
