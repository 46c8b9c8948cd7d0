// Damaged and hostile packages, swept region by region: each run ends with
// exactly one final notice, the package copy closed, and nothing created
// outside the workspace.
#include <random>

#include "decode/block_decode.h"
#include "decode/lzma_decode.h"
#include "encode/lzma/lzma_encoder.h"
#include "tests/unit/bit_stream.h"
#include "tests/unit/launcher/worker_fixture.h"

namespace {

std::vector<uint8_t> SamplePackage() {
  PackageBuilder builder;
  BitWriter coded;
  coded.Literal('x');
  coded.Match(99, 1, 0);
  builder.AddEntry("d", "coded", 100, {{true, coded.bytes()}});
  builder.AddFile("d\\e", "plain", std::vector<uint8_t>(4100, 'p'));
  return builder.Build();
}

// Method 2: a text entry going on into an MZ entry (x86 filter) whose
// middle block is stored, in one stream.
std::vector<uint8_t> SampleLzmaPackage() {
  std::mt19937 rng(3);
  std::vector<uint8_t> text, program = {'M', 'Z'};
  const char* words[] = {"setup ", "file ", "entry ", "block "};
  while (text.size() < 5000) {
    const char* word = words[rng() % 4];
    text.insert(text.end(), word, word + strlen(word));
  }
  while (program.size() < 4096) program.push_back(rng() % 3 ? 0xE8 : 0x90);
  for (int i = 0; i < 4096; i++) program.push_back(static_cast<uint8_t>(rng()));
  program.insert(program.end(), text.begin(), text.begin() + 300);
  std::vector<std::vector<StoredBlock>> entries = LzmaCutEntries({text, program});
  PackageBuilder builder;
  builder.AddEntry("d", "text", static_cast<uint32_t>(text.size()), entries[0], kMethodLzma);
  builder.AddEntry("", "program", static_cast<uint32_t>(program.size()), entries[1], kMethodLzma);
  return builder.Build();
}

}  // namespace

class HostilePackageTest : public WorkerTest {
 protected:
  // The package cut to `length` bytes, with a locator that tells the truth.
  void RunTruncated(const std::vector<uint8_t>& package, size_t length) {
    std::vector<uint8_t> program = MakeProgramFile(std::vector<uint8_t>(200, 'S'), package);
    program.resize(200 + length);
    StoreLe32(program.data() + 132, static_cast<uint32_t>(length));
    WriteProgram(program);
    Run();
  }
};

TEST_F(HostilePackageTest, TruncatedAtEveryByte) {
  std::vector<uint8_t> package = SamplePackage();
  EntryHeader first, second;
  ParseEntryHeader(package.data() + 4, &first);
  ParseEntryHeader(package.data() + first.dataEnd, &second);
  for (size_t length = 0; length < package.size(); length++) {
    RunTruncated(package, length);
    SCOPED_TRACE(length);
    ASSERT_NO_FATAL_FAILURE(ExpectOneFinal(Final().code));
    ASSERT_TRUE(IsFinalNotice(Final().code));
    ASSERT_TRUE(StrayFiles().empty());
    bool insideBlocks = (length > first.dataStart && length < first.dataEnd) ||
                        (length > second.dataStart && length < second.dataEnd);
    uint32_t expected = Final().code;  // elsewhere any final notice will do
    if (length < 4) expected = kNoticeDamagedPackage;
    if (insideBlocks) expected = kNoticeDecompressError;
    if (length == 4 || length == first.dataEnd) expected = kNoticeSuccess;
    ASSERT_EQ(Final().code, expected);
  }
}

TEST_F(HostilePackageTest, Method2CutOrCorruptedAtEveryByte) {
  std::vector<uint8_t> package = SampleLzmaPackage();
  Run(package);
  ASSERT_NO_FATAL_FAILURE(ExpectOneFinal(kNoticeSuccess));
  EntryHeader first, second;
  ParseEntryHeader(package.data() + 4, &first);
  ParseEntryHeader(package.data() + first.dataEnd, &second);
  ASSERT_EQ(second.method, kMethodLzma);
  // Every byte but those of the stored noise block, of which one in 64.
  size_t noiseStart = 0, noiseEnd = 0;
  for (size_t at = second.dataStart; at < second.dataEnd && !noiseEnd;) {
    BlockHeader block = ParseBlockHeader(&package[at]);
    if (!block.codedFlag) noiseStart = at, noiseEnd = at + 4 + block.storedLength;
    at += 4 + block.storedLength;
  }
  ASSERT_EQ(noiseEnd - noiseStart, 4u + kBlockSize);
  auto next = [&](size_t at) { return at + (at > noiseStart && at + 64 < noiseEnd ? 64 : 1); };
  for (size_t length = 0; length < package.size(); length = next(length)) {
    RunTruncated(package, length);
    SCOPED_TRACE("cut to " + std::to_string(length));
    ASSERT_NO_FATAL_FAILURE(ExpectOneFinal(Final().code));
    bool insideBlocks = (length > first.dataStart && length < first.dataEnd) ||
                        (length > second.dataStart && length < second.dataEnd);
    if (insideBlocks) {
      ASSERT_EQ(Final().code, kNoticeDecompressError);
    }
  }
  for (size_t at = 4; at < package.size(); at = next(at)) {
    std::vector<uint8_t> damaged = package;
    damaged[at] ^= 0x5A;
    Run(damaged);
    SCOPED_TRACE("byte " + std::to_string(at));
    ASSERT_NO_FATAL_FAILURE(ExpectOneFinal(Final().code));
    ASSERT_TRUE(StrayFiles().empty());
    // A damaged stored byte is refused by the decoder or by the checksum.
    bool blockBytes = (at >= first.dataStart + 4 && at < first.dataEnd) ||
                      (at >= second.dataStart + 4 && at < second.dataEnd);
    if (blockBytes) {
      ASSERT_TRUE(Final().code == kNoticeDecompressError || Final().code == kNoticeChecksumError);
    }
  }
}

TEST_F(HostilePackageTest, FieldsAtTheirLimitsAndPastThem) {
  struct Row {
    const char* what;
    uint32_t storedLength, lastBlockSize;
    uint32_t expected;
  } rows[] = {
      {"full block", 4096, 4096, kNoticeSuccess},
      {"stored length past the buffer", 4097, 4096, kNoticeDecompressError},
      {"stored length at the field's top", 65535, 4096, kNoticeDecompressError},
      {"last block past the buffer", 4096, 4097, kNoticeDecompressError},
      {"last block of nothing", 4096, 0, kNoticeDecompressError},
      {"last block at the top", 4096, 0xFFFFFFFFu, kNoticeDecompressError},
  };
  for (const Row& row : rows) {
    PackageBuilder builder;
    builder.AddFile("", "f", std::vector<uint8_t>(4096, 'q'));
    std::vector<uint8_t> package = builder.Build();
    StoreLe16(package.data() + 4 + 224, static_cast<uint16_t>(row.storedLength));
    StoreLe32(package.data() + 4 + 208, row.lastBlockSize);
    Run(package);
    SCOPED_TRACE(row.what);
    ExpectOneFinal(row.expected);
  }
}

TEST(HostileBlocks, EveryUnknownMethodIsRefused) {
  uint8_t out[8], stored[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (uint32_t method = 2; method <= 65535; method++)
    ASSERT_EQ(DecodeBlock(out, 8, stored, 8, static_cast<uint16_t>(method)), 0) << method;
}
