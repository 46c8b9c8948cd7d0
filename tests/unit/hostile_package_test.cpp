// Damaged and hostile packages, swept region by region: each run ends with
// exactly one final notice, the package copy closed, and nothing created
// outside the workspace.
#include "package/block_codec.h"
#include "tests/unit/bit_stream.h"
#include "tests/unit/worker_fixture.h"

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
