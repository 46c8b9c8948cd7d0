// The packer: what it refuses (with a message, leaving nothing behind), what
// it warns about, the names it writes, that its output does not depend on
// the thread count, and whole folders packed, verified and extracted by the
// built qwpack byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/container.h"
#include "decode/lzma_decode.h"
#include "encode/pipeline/package_stream.h"
#include "image/launcher_stub.h"
#include "platform/code_page.h"
#include "tests/unit/sample_data.h"
#include "tools/qwpack/depfile.h"
#include "tools/qwpack/entry_names_ansi.h"
#include "tools/qwpack/host/host_files.h"
#include "tools/qwpack/host/output_file.h"
#include "tools/qwpack/packer.h"
#include "tests/unit/qwpack/pack_fixture.h"

TEST_F(PackTest, RefusesStubsThatCannotCarryAPackage) {
  options_.stub = Bytes(4096, 'x');
  ExpectRefusal("not a Windows program");

  options_.stub = MinimalStub(0x80);
  ExpectRefusal("PE header begins at offset 128");

  options_.stub = MinimalStub();
  StoreLe16(&options_.stub[0x88 + 22], 0x2102);  // a DLL
  ExpectRefusal("not a Windows program");

  options_.stub = MinimalStub();
  StoreLe32(&options_.stub[0x88 + 24 + 96 + 8 * 4], 1024);  // certificate table
  StoreLe32(&options_.stub[0x88 + 24 + 96 + 8 * 4 + 4], 16);
  ExpectRefusal("already signed");

  // Cut inside its section's raw data, or inside its section table.
  options_.stub = MinimalStub();
  options_.stub.resize(800);
  ExpectRefusal("it is cut short: its sections run to offset 1024, past its end at 800");
  options_.stub = MinimalStub();
  options_.stub.resize(0x88 + 24 + 224 + 20);
  ExpectRefusal("it is cut short");
}

TEST_F(PackTest, RefusesALauncherThatAlreadyCarriesAPackageButNotLinkerDataInTheLocator) {
  PackReport report;
  ASSERT_EQ(PackFolder(options_, &report), "");
  Bytes packed = ReadFile(options_.output);
  unlink(options_.output.c_str());

  options_.stub = packed;
  ExpectRefusal("already carries a package");
  options_.stub.assign(packed.begin(), packed.begin() + 1024 + 100);  // its package cut off
  ExpectRefusal("cut short");

  // Bytes a linker left where the locator goes, naming nothing past the image.
  options_.stub = MinimalStub();
  StoreLe32(&options_.stub[kLocatorOffset], 0x536E6144);
  StoreLe32(&options_.stub[kLocatorOffset + 4], 0x1234);
  ASSERT_EQ(PackFolder(options_, &report), "");
  Bytes launcher = ReadFile(options_.output);
  EXPECT_EQ(LoadLe32(&launcher[kLocatorOffset]), 1024u);
  EXPECT_EQ(LoadLe32(&launcher[kLocatorOffset + 4]), launcher.size() - 1024);
}

TEST_F(PackTest, RefusesNamesTheLauncherOrWindowsCannotUseAndNamesTheFile) {
  const char* const kRefused[][2] = {
      {"a:b.txt", "':'"},
      {"sub/con.txt", "device name"},
      {"dots.", "ends with a dot"},
      {"what?.txt", "'?'"},
      {"smile\xF0\x9F\x98\x80.txt", "code page 936 cannot hold"},
      {"...", "ends with a dot"},
      {"sub/setup.exe ", "or a space"},
  };
  for (const auto& refused : kRefused) {
    SCOPED_TRACE(refused[0]);
    Add(refused[0], TextLike(10, 2));
    ExpectRefusal(std::string(refused[0]) + ": ");
    ExpectRefusal(refused[1]);
    Shell("find " + Quoted(source_) + " -mindepth 1 -delete");
    Add("QWSetup.exe", TextLike(10, 1));
  }

  Add(std::string(99, 'n'), TextLike(10, 3));  // 99 bytes: the most a name field holds
  PackReport report;
  EXPECT_EQ(PackFolder(options_, &report), "");
  unlink(options_.output.c_str());
  Add(std::string(100, 'm'), TextLike(10, 3));
  ExpectRefusal("an entry holds at most 99");
}

TEST_F(PackTest, RefusesAFolderPathOver99BytesAndNamesClashingInCase) {
  std::string deep = std::string(50, 'd') + "/" + std::string(49, 'e');  // 100 bytes with '\'
  Add(deep + "/f.txt", TextLike(10, 4));
  ExpectRefusal("folder path takes 100 bytes");
  Shell("rm -rf " + Quoted(source_ + "/" + std::string(50, 'd')));

  Add("Docs/Read.txt", TextLike(10, 5));
  Add("docs/read.TXT", TextLike(10, 6));
  ExpectRefusal("the same file as");
  Shell("rm -rf " + Quoted(source_ + "/docs"));
  Add("DOCS", TextLike(10, 7));  // a file named as the folder Docs
  ExpectRefusal("the same name as the folder");
}

TEST_F(PackTest, RefusesFilesAnEntryCannotHoldAndGrowthPast2GiB) {
  int fd = open((source_ + "/huge.bin").c_str(), O_CREAT | O_WRONLY, 0666);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 0x100000000LL), 0);  // sparse: nothing is written
  close(fd);
  ExpectRefusal("huge.bin: 4 GiB or larger");
  unlink((source_ + "/huge.bin").c_str());

  // The stream stops as soon as the package outgrows the room it has.
  std::string target = out_ + "/stream";
  int out = open(target.c_str(), O_CREAT | O_RDWR, 0666);
  std::vector<PackageEntry> entries = {{source_ + "/QWSetup.exe", "", "QWSetup.exe", 10000}};
  PackageStreamOptions stream;
  stream.maxPackageLength = 1000;
  PackageTotals totals;
  std::string problem = WritePackageStream(HostPackageFiles(out), 0, entries, stream, &totals);
  close(out);
  EXPECT_NE(problem.find("2 GiB"), std::string::npos) << problem;
}

TEST_F(PackTest, RefusesFilesThatChangeWhilePacked) {
  std::string target = out_ + "/stream";
  int out = open(target.c_str(), O_CREAT | O_RDWR, 0666);
  PackageTotals totals;
  std::vector<PackageEntry> shorter = {{source_ + "/QWSetup.exe", "", "QWSetup.exe", 10001}};
  EXPECT_NE(
      WritePackageStream(HostPackageFiles(out), 0, shorter, {}, &totals).find("became shorter"),
      std::string::npos);
  std::vector<PackageEntry> longer = {{source_ + "/QWSetup.exe", "", "QWSetup.exe", 9999}};
  EXPECT_NE(WritePackageStream(HostPackageFiles(out), 0, longer, {}, &totals).find("became longer"),
            std::string::npos);
  close(out);
}

TEST_F(PackTest, WarnsOfAMissingSetupProgramAndOfEmptyFolders) {
  PackReport report;
  ASSERT_EQ(PackFolder(options_, &report), "");
  EXPECT_TRUE(report.warnings.empty());

  rename((source_ + "/QWSetup.exe").c_str(), (source_ + "/Other.exe").c_str());
  mkdir((source_ + "/empty").c_str(), 0777);
  mkdir((source_ + "/empty/below").c_str(), 0777);
  Add("full/file.txt", TextLike(10, 8));
  ASSERT_EQ(PackFolder(options_, &report), "");
  ASSERT_EQ(report.warnings.size(), 2u);
  EXPECT_NE(report.warnings[0].find("no QWSetup.exe"), std::string::npos);
  EXPECT_NE(report.warnings[1].find("the empty folder empty is left out"), std::string::npos);
}

TEST_F(PackTest, ASetupProgramGivenApartIsPackedAtTheTopButNeverInPlaceOfTheFolders) {
  std::string setupPath = root_ + "/Other Setup.exe";
  Bytes setup = RandomBytes(7000, 256, 3);
  WriteFile(setupPath, setup);
  options_.setupProgram = setupPath;
  options_.depfile = out_ + "/Setup.d";
  ExpectRefusal("the folder holds QWSetup.exe and the setup program " + setupPath);

  rename((source_ + "/QWSetup.exe").c_str(), (source_ + "/qwsetup.exe").c_str());
  ExpectRefusal("the folder holds qwsetup.exe");
  unlink((source_ + "/qwsetup.exe").c_str());
  options_.setupProgram = root_;
  ExpectRefusal("is not a file");

  options_.setupProgram = setupPath;
  Add("readme.txt", TextLike(100, 4));
  PackReport report;
  ASSERT_EQ(PackFolder(options_, &report), "");
  EXPECT_TRUE(report.warnings.empty()) << report.warnings[0];
  std::vector<EntryHeader> entries = Entries(ReadFile(options_.output));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_STREQ(entries[0].subdirectory, "");
  EXPECT_STREQ(entries[0].fileName, "QWSetup.exe");
  std::string log;
  ASSERT_EQ(Shell(std::string(QWPACK_BINARY) + " extract " + Quoted(options_.output) + " -C " +
                      Quoted(root_ + "/unpacked"),
                  &log),
            0)
      << log;
  EXPECT_EQ(ReadFile(root_ + "/unpacked/QWSetup.exe"), setup);
}

// The rule a build tool reads back: every folder (its time changes when a
// file appears or goes), every file, the setup program and the inputs named
// by the caller, with the characters make and ninja read specially escaped.
TEST_F(PackTest, TheDepfileNamesEveryFolderAndFileTheLauncherIsMadeFrom) {
  Add("docs/a b#1$.txt", TextLike(100, 5));
  mkdir((source_ + "/docs/empty").c_str(), 0777);
  std::string setupPath = root_ + "/setup.exe";
  WriteFile(setupPath, TextLike(100, 6));
  unlink((source_ + "/QWSetup.exe").c_str());
  options_.setupProgram = setupPath;
  options_.depfile = out_ + "/Setup.d";
  options_.depfileInputs = {"/stubs/launcher.exe"};
  PackReport report;
  ASSERT_EQ(PackFolder(options_, &report), "");
  Bytes depfile = ReadFile(options_.depfile);
  std::string text(depfile.begin(), depfile.end());
  EXPECT_EQ(text.substr(0, text.find(':') + 1), options_.output + ":");
  std::vector<std::string> prerequisites;
  for (size_t at = text.find(" \\\n  "); at != std::string::npos;) {
    size_t next = text.find(" \\\n  ", at + 1);
    size_t end = next == std::string::npos ? text.size() - 1 : next;
    prerequisites.push_back(text.substr(at + 5, end - at - 5));
    at = next;
  }
  std::vector<std::string> expected = {
      "/stubs/launcher.exe",   source_,   source_ + "/docs",
      source_ + "/docs/empty", setupPath, source_ + "/docs/a\\ b\\#1$$.txt"};
  std::sort(prerequisites.begin() + 1, prerequisites.end());
  std::sort(expected.begin() + 1, expected.end());
  EXPECT_EQ(prerequisites, expected) << text;
  EXPECT_EQ(text.back(), '\n');

  std::string ignored;
  EXPECT_NE(DepfileText("out", {"/a\nb"}, &ignored), "");
  EXPECT_NE(DepfileText("out", {"/a\\b"}, &ignored), "");  // a separator to every reader
}

TEST_F(PackTest, WritesNamesInTheChosenCodePageInBytewisePathOrder) {
  Add("\xE4\xB8\xAD\xE6\x96\x87/\xE8\xAF\xB4\xE6\x98\x8E.txt", TextLike(100, 9));  // 中文/说明.txt
  Add("b.txt", TextLike(100, 10));
  Add("a/z.txt", Bytes());
  PackReport report;
  ASSERT_EQ(PackFolder(options_, &report), "");
  std::vector<EntryHeader> entries = Entries(ReadFile(options_.output));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_STREQ(entries[0].fileName, "QWSetup.exe");
  EXPECT_STREQ(entries[1].subdirectory, "a");
  EXPECT_EQ(entries[1].lastBlockSize, 0u);  // the empty file
  EXPECT_STREQ(entries[2].fileName, "b.txt");
  EXPECT_STREQ(entries[3].subdirectory, "\xD6\xD0\xCE\xC4");  // GBK
  EXPECT_STREQ(entries[3].fileName, "\xCB\xB5\xC3\xF7.txt");  // GBK
  EXPECT_EQ(entries[0].method, 1);
  EXPECT_EQ(entries[1].method, 0);

  // Big5 has no simplified 说; it has 中文, as A4 A4 A4 E5.
  options_.codePage = 950;
  unlink(options_.output.c_str());
  ExpectRefusal("\xE8\xAF\xB4\xE6\x98\x8E.txt' has characters code page 950 cannot hold");
  rename((source_ + "/\xE4\xB8\xAD\xE6\x96\x87/\xE8\xAF\xB4\xE6\x98\x8E.txt").c_str(),
         (source_ + "/\xE4\xB8\xAD\xE6\x96\x87/a.txt").c_str());
  ASSERT_EQ(PackFolder(options_, &report), "");
  EXPECT_STREQ(Entries(ReadFile(options_.output))[3].subdirectory, "\xA4\xA4\xA4\xE5");
}

TEST_F(PackTest, OutputDoesNotDependOnTheThreadCount) {
  for (int i = 0; i < 40; i++)
    Add("f" + std::to_string(i % 7) + "/file" + std::to_string(i),
        i % 3 ? TextLike(3000 * i, i) : RandomBytes(5000 * i, 256, i));
  Bytes first;
  for (bool store : {false, true}) {
    for (unsigned threads : {1u, 2u, 5u}) {
      options_.threads = threads;
      options_.store = store;
      PackReport report;
      ASSERT_EQ(PackFolder(options_, &report), "");
      Bytes launcher = ReadFile(options_.output);
      if (threads == 1) {
        first = launcher;
        EXPECT_EQ(report.codedBlocks == 0, store);
      }
      EXPECT_EQ(launcher, first) << threads << " threads, store " << store;
    }
  }
}

// Method 2 codes each stretch on one thread, its chunks in order, and the
// stretches in parallel: the bytes must not depend on the thread count, and
// each stretch after the first starts with new properties on the
// dictionary as it stands, wherever in an entry it falls.
TEST_F(PackTest, Method2OutputDoesNotDependOnTheThreadCountAcrossStretches) {
  for (int i = 0; i < 2; i++) {
    Bytes piece = TextLike(64 * 1024, i), big;
    while (big.size() < 3 * kBlockSize * 256 + 5) big.insert(big.end(), piece.begin(), piece.end());
    big.resize(3 * kBlockSize * 256 + 5);
    Add("big" + std::to_string(i) + ".txt", big);
    Add("small" + std::to_string(i) + ".bin", RandomBytes(3000 + 5000 * i, 256, i));
    Add("small" + std::to_string(i) + ".empty", Bytes());
  }
  options_.method = kMethodLzma;
  options_.lzmaStretchBytes = 2 * kBlockSize * 256;  // two chunks
  Bytes first;
  for (unsigned threads : {1u, 3u}) {
    options_.threads = threads;
    PackReport report;
    ASSERT_EQ(PackFolder(options_, &report), "");
    Bytes launcher = ReadFile(options_.output);
    if (threads == 1) first = launcher;
    EXPECT_EQ(launcher, first) << threads << " threads";
  }
  std::string log;
  EXPECT_EQ(Shell(std::string(QWPACK_BINARY) + " verify " + Quoted(options_.output), &log), 0)
      << log;
  // Just over six chunks at most two chunks long make four stretches of
  // just over one and a half. A stretch starts at the first entry's first
  // block, then at the first chunk (256 blocks) to start past that length:
  // QWSetup.exe and two of big0's chunks, the rest of big0 and one of
  // big1's, two of big1's. The last, of big1's last 5 bytes and the small
  // entries, codes none of them.
  uint32_t start = LoadLe32(&first[kLocatorOffset]);
  std::vector<std::string> starts;
  for (const EntryHeader& entry : Entries(first)) {
    uint32_t at = start + entry.dataStart;
    for (uint32_t block = 0; at < start + entry.dataEnd; block++) {
      BlockHeader header = ParseBlockHeader(&first[at]);
      uint32_t reset = first[at + 4] >> kLzmaResetShift & 3;
      if (header.codedFlag && reset >= kLzmaResetProperties)
        starts.push_back(std::string(entry.fileName) + ":" + std::to_string(block) + ":" +
                         std::to_string(reset));
      at += 4 + header.storedLength;
    }
  }
  EXPECT_EQ(starts,
            (std::vector<std::string>{"QWSetup.exe:0:3", "big0.txt:512:2", "big1.txt:256:2"}));
}

// Stretches come in an even count of one length, so two cores finish
// together, and never longer than asked.
TEST(PackStretches, AreBalancedForTwoCores) {
  constexpr uint64_t kMiB = 1u << 20, kLongest = 64 * kMiB;
  EXPECT_EQ(BalancedStretchBytes(0, kLongest), kLongest);
  EXPECT_EQ(BalancedStretchBytes(16 * kMiB - 1, kLongest), kLongest);  // too short to split
  EXPECT_EQ(BalancedStretchBytes(16 * kMiB, kLongest), 8 * kMiB);
  EXPECT_EQ(BalancedStretchBytes(80 * kMiB, kLongest), 40 * kMiB);
  EXPECT_EQ(BalancedStretchBytes(130 * kMiB, kLongest), 130 * kMiB / 4);  // 3 rounded up to 4
  for (uint64_t total = 17 * kMiB; total < 2000 * kMiB; total = total * 9 / 7 + 12345) {
    uint64_t length = BalancedStretchBytes(total, kLongest);
    uint64_t count = (total + length - 1) / length;
    EXPECT_LE(length, kLongest) << total;
    EXPECT_EQ(count % 2, 0u) << total;
    EXPECT_LT(count * length - total, count) << total;  // one length, the last short by < count
  }
  EXPECT_EQ(BalancedStretchBytes(3 * kBlockSize, kBlockSize), kBlockSize);  // 3 rounded up to 4
}

TEST(PackOutputFile, AnInterruptedRunLeavesNothingBehind) {
  char scratch[] = "/tmp/qwoutputXXXXXX";
  std::string folder = mkdtemp(scratch);
  std::string final = folder + "/Setup.exe";
  pid_t child = fork();
  if (child == 0) {
    OutputFile output;
    if (!output.Open(final).empty() || write(output.fd(), "half", 4) != 4) _exit(3);
    raise(SIGINT);
    _exit(4);  // not reached: SIGINT ends the process
  }
  int status;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
  EXPECT_EQ(rmdir(folder.c_str()), 0) << "the temporary file is still there";
}

TEST(PackNames, TheLauncherPathBudget) {
  // 272 bytes of workspace, two separators, the names and the terminator.
  EXPECT_TRUE(FitsLauncherPath(99, 99));
  EXPECT_TRUE(FitsLauncherPath(0, 99));
  EXPECT_TRUE(FitsLauncherPath(120, 125, kLongestWorkspace));  // 272 + 2 + 245 + 1 = 520
  EXPECT_FALSE(FitsLauncherPath(120, 126, kLongestWorkspace));
  EXPECT_TRUE(FitsLauncherPath(0, 246, kLongestWorkspace));  // one separator only
  EXPECT_FALSE(FitsLauncherPath(0, 247, kLongestWorkspace));

  // Behind a 60-character workspace and its separator, 198 of Windows' 259.
  EXPECT_TRUE(FitsTypicalWindowsPath(198));
  EXPECT_FALSE(FitsTypicalWindowsPath(199));
}

namespace {

// 49 times 中 and a 'd': 99 bytes in GBK (148 in UTF-8), 50 UTF-16 units.
const std::string kGbkFolder99 = [] {
  std::string folder;
  for (int i = 0; i < 49; i++) folder += "\xE4\xB8\xAD";
  return folder + "d";
}();
// The longest package path a name field allows: 99 + 1 + 99 ASCII bytes.
const std::string kLongestAsciiPath = std::string(99, 'd') + "/" + std::string(99, 'm');

}  // namespace

TEST(PackNames, PathsAreCountedInUtf16UnitsAsWindowsCountsThem) {
  std::string gbkFolder, gbkName;
  ASSERT_TRUE(Utf8ToCodePage(kGbkFolder99, 936, &gbkFolder));
  ASSERT_EQ(gbkFolder.size(), 99u);
  EXPECT_EQ(PackagePathUnits(gbkFolder, std::string(99, 'm'), 936), 150u);
  EXPECT_EQ(PackagePathUnits("", std::string(99, 'm'), 936), 99u);
  // Bytes the code page leaves undefined count one unit each.
  EXPECT_EQ(PackagePathUnits("", "\xFF\xFF", 936), 2u);
}

TEST_F(PackTest, WarnsOfPathsPastWindowsLimitInUtf16UnitsAndStrictRefusesThem) {
  // 199 bytes in the code page, 150 characters on Windows: it fits.
  Add(kGbkFolder99 + "/" + std::string(99, 'm'), TextLike(10, 11));
  Add(std::string(99, 'd') + "/" + std::string(98, 'n'), TextLike(10, 13));  // 198
  PackReport report;
  ASSERT_EQ(PackFolder(options_, &report), "");
  EXPECT_TRUE(report.warnings.empty()) << report.warnings[0];
  unlink(options_.output.c_str());

  Add(kLongestAsciiPath, TextLike(10, 12));
  ASSERT_EQ(PackFolder(options_, &report), "");
  ASSERT_EQ(report.warnings.size(), 1u);
  EXPECT_EQ(report.warnings[0].find(kLongestAsciiPath + ": its path takes 199 characters"), 0u)
      << report.warnings[0];
  EXPECT_NE(report.warnings[0].find("over the 198"), std::string::npos);
  unlink(options_.output.c_str());

  options_.strict = true;
  ExpectRefusal(kLongestAsciiPath + ": its path takes 199 characters");
}

TEST_F(PackTest, CommandLineWarnsOfLongPathsRefusesThemWhenStrictAndListMarksThem) {
  Add(kGbkFolder99 + "/" + std::string(99, 'm'), TextLike(10, 11));
  const std::string& longPath = kLongestAsciiPath;
  Add(longPath, TextLike(10, 12));
  std::string stub = root_ + "/stub.exe";
  WriteFile(stub, MinimalStub());
  std::string pack = std::string(QWPACK_BINARY) + " pack " + Quoted(source_) + " --stub " +
                     Quoted(stub) + " -o " + Quoted(options_.output);
  std::string log;
  ASSERT_EQ(Shell(pack + " --strict", &log), 1) << log;
  EXPECT_NE(log.find(longPath + ": its path takes 199 characters"), std::string::npos) << log;
  EXPECT_TRUE(OutputFolder().empty());

  ASSERT_EQ(Shell(pack, &log), 0) << log;
  EXPECT_NE(log.find("warning: " + longPath + ": its path takes 199 characters"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("warning: " + kGbkFolder99), std::string::npos) << log;

  std::string list = std::string(QWPACK_BINARY) + " list " + Quoted(options_.output);
  ASSERT_EQ(Shell("(" + list + " 2>/dev/null)", &log), 0) << log;
  size_t setupRow = log.find("QWSetup.exe"), longRow = log.find(std::string(99, 'm'));
  ASSERT_LT(setupRow, longRow) << log;
  size_t mark = log.find("  LONG PATH");
  EXPECT_EQ(mark, log.find("  LONG PATH 199 characters\n", longRow)) << log;
  EXPECT_EQ(log.find("  LONG PATH", mark + 1), std::string::npos) << log;
  ASSERT_EQ(Shell("(" + list + " --json 2>/dev/null)", &log), 0) << log;
  EXPECT_NE(log.find("\"long_path\": false"), std::string::npos) << log;
  EXPECT_NE(log.find("\"long_path\": true"), std::string::npos) << log;
}

namespace {

// Packs `folder` with the built qwpack at several thread counts; each
// launcher must verify and extract to the folder's very bytes.
void PackVerifyExtract(const std::string& root, const std::string& folder, const Bytes& stub) {
  std::string stubPath = root + "/stub.exe";
  WriteFile(stubPath, stub);
  Bytes previous;
  for (const char* threads : {"1", "2", ""}) {
    SCOPED_TRACE(std::string("threads ") + (*threads ? threads : "default"));
    std::string launcher = root + "/Setup" + threads + ".exe";
    std::string workspace = root + "/ws" + threads;
    std::string log;
    ASSERT_EQ(Shell(std::string(QWPACK_BINARY) + " pack " + Quoted(folder) + " -o " +
                        Quoted(launcher) + " --stub " + Quoted(stubPath) +
                        (*threads ? std::string(" --threads ") + threads : ""),
                    &log),
              0)
        << log;
    ASSERT_EQ(Shell(std::string(QWPACK_BINARY) + " verify " + Quoted(launcher), &log), 0) << log;
    ASSERT_EQ(Shell(std::string(QWPACK_BINARY) + " extract " + Quoted(launcher) + " -C " +
                        Quoted(workspace),
                    &log),
              0)
        << log;
    EXPECT_EQ(Shell("diff -r " + Quoted(folder) + " " + Quoted(workspace), &log), 0) << log;
    Bytes bytes = ReadFile(launcher);
    if (!previous.empty()) {
      EXPECT_EQ(bytes, previous);
    }
    previous = bytes;
  }
}

// A folder like an installation: nested folders, programs, text, data that
// does not compress, empty files, names in Chinese.
void MakeInstallationFolder(const std::string& folder, int files, size_t largest) {
  std::mt19937 rng(42);
  Bytes program = ReadFile("/proc/self/exe");
  for (int i = 0; i < files; i++) {
    std::string dir =
        folder + "/" + (i % 5 ? "lib" + std::to_string(i % 13) : "\xE8\xB5\x84\xE6\xBA\x90");
    if (i % 4 == 0) dir += "/sub" + std::to_string(i % 3);
    Shell("mkdir -p " + Quoted(dir));
    size_t size = i % 17 == 0 ? 0 : rng() % largest;
    Bytes bytes;
    switch (i % 3) {
      case 0:
        bytes = TextLike(size, i);
        break;
      case 1:
        bytes = RandomBytes(size, 256, i);
        break;
      default:
        size_t at = program.empty() ? 0 : rng() % program.size();
        bytes.assign(program.begin() + at, program.begin() + std::min(program.size(), at + size));
    }
    WriteFile(dir + "/file" + std::to_string(i) + (i % 2 ? ".dll" : ".txt"), bytes);
  }
  WriteFile(folder + "/QWSetup.exe",
            Bytes(program.begin(), program.begin() + std::min<size_t>(program.size(), 300000)));
}

}  // namespace

TEST_F(PackTest, AFolderPacksVerifiesAndExtractsByteForByteAtEveryThreadCount) {
  std::string folder = root_ + "/installation";
  MakeInstallationFolder(folder, 200, 15000);
  PackVerifyExtract(root_, folder, MinimalStub());
}

// Thousands of files and tens of megabytes: the "slow" CTest runs it.
TEST_F(PackTest, DISABLED_LargeFolderPacksVerifiesAndExtractsByteForByte) {
  std::string folder = root_ + "/installation";
  MakeInstallationFolder(folder, 3000, 24000);
  PackVerifyExtract(root_, folder, MinimalStub());
}
