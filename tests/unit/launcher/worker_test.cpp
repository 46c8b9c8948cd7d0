#include <sys/stat.h>

#include <numeric>

#include "common/crc32.h"
#include "tests/unit/bit_stream.h"
#include "tests/unit/launcher/worker_fixture.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; i++) data[i] = static_cast<uint8_t>((i * 31 + seed) ^ (i >> 7));
  return data;
}

// A coded block of "ABAB..." of `length` bytes: two literals and one match.
StoredBlock CodedAbab(uint32_t length) {
  BitWriter writer;
  writer.Literal('A');
  writer.Literal('B');
  writer.Match(length - 2, 2, 0);
  return {true, writer.bytes()};
}

// Offsets of a single-entry package's fields.
constexpr size_t kHeader = 4;
constexpr size_t kMethodField = kHeader + 2;
constexpr size_t kSubdirectoryField = kHeader + 4;
constexpr size_t kFileNameField = kHeader + 104;
constexpr size_t kLastBlockSizeField = kHeader + 208;
constexpr size_t kChecksumField = kHeader + 212;
constexpr size_t kFirstBlock = kHeader + 224;

std::vector<uint8_t> OneFile(const std::string& subdirectory, const std::string& name,
                             const std::vector<uint8_t>& data) {
  PackageBuilder builder;
  builder.AddFile(subdirectory, name, data);
  return builder.Build();
}

}  // namespace

TEST_F(WorkerTest, UnpacksFilesSubdirectoriesAndEmptyEntries) {
  PackageBuilder builder;
  builder.AddFile("", "QWSetup.exe", Bytes("setup"));
  builder.AddFile("bin\\x64", "big.dat", Pattern(3 * 4096 + 17, 1));
  builder.AddFile("bin", "empty.txt", {});
  builder.AddEntry("bin\\x64", "abab.txt", 4096 + 100, {CodedAbab(4096), {false, Pattern(100, 2)}});
  builder.AddFile("bin\\x64", "big.dat", Pattern(8192, 3));  // overwrites the earlier one
  Run(builder.Build());

  ExpectOneFinal(kNoticeSuccess);
  EXPECT_EQ(ReadFile("QWSetup.exe"), "setup");
  std::vector<uint8_t> big = Pattern(8192, 3);
  EXPECT_EQ(ReadFile("bin/x64/big.dat"), std::string(big.begin(), big.end()));
  EXPECT_TRUE(Exists(workspace_ + "/bin/empty.txt"));
  EXPECT_EQ(ReadFile("bin/empty.txt"), "");
  std::string abab = ReadFile("bin/x64/abab.txt");
  ASSERT_EQ(abab.size(), 4196u);
  EXPECT_EQ(abab.substr(0, 6), "ABABAB");
  EXPECT_EQ(abab[4095], 'B');
  // One progress notice per non-empty entry: 100 + 100 * i / 5.
  EXPECT_EQ(Positions(101), (std::vector<uint32_t>{120, 140, 160, 180}));
}

TEST_F(WorkerTest, CopyOutProgressRisesToOneHundred) {
  PackageBuilder builder;
  builder.AddFile("", "a.bin", Pattern(500000, 4));
  Run(builder.Build());
  ExpectOneFinal(kNoticeSuccess);
  std::vector<uint32_t> copy;
  for (const Notice& n : notices_) {
    if (n.code != kNoticeProgress) continue;
    if (!copy.empty() && copy.back() == 100) break;  // the unpack stage starts
    copy.push_back(n.position);
  }
  size_t bodyLength = 500000 + 123 * 4 + 224;
  EXPECT_EQ(copy.size(), (bodyLength + 4095) / 4096);  // one per chunk, changed or not
  EXPECT_EQ(copy.front(), 0u);                         // a body over 409,600 bytes
  EXPECT_EQ(copy.back(), 100u);
  EXPECT_TRUE(std::is_sorted(copy.begin(), copy.end()));
  EXPECT_EQ(Positions(101), std::vector<uint32_t>{200});
}

TEST_F(WorkerTest, ProgressCountsOnlyNonEmptyEntriesAndMayPassTwoHundred) {
  PackageBuilder builder;
  for (int i = 0; i < 213; i++)
    builder.AddFile("", "f" + std::to_string(i), i < 13 ? std::vector<uint8_t>() : Bytes("x"));
  Run(builder.Build());
  ExpectOneFinal(kNoticeSuccess);
  std::vector<uint32_t> positions = Positions();
  std::vector<uint32_t> tail(positions.end() - 200, positions.end());
  for (uint32_t i = 1; i <= 200; i++) EXPECT_EQ(tail[i - 1], 100 + 100 * i / 213);
  EXPECT_EQ(tail.back(), 193u);

  Run(builder.Build(100));  // a fileCount that lies only changes the arithmetic
  ExpectOneFinal(kNoticeSuccess);
  EXPECT_EQ(Positions().back(), 300u);
}

TEST_F(WorkerTest, EmptyBodyAndZeroFileCount) {
  Run(PackageBuilder().Build(5));  // packageLength 4: nothing to copy, nothing to unpack
  ExpectOneFinal(kNoticeSuccess);
  EXPECT_TRUE(Positions().empty());
  EXPECT_FALSE(Exists(workspace_ + "/QW.tmp") && !ReadFile("QW.tmp").empty());

  PackageBuilder builder;
  builder.AddFile("", "a", Pattern(10000, 5));
  Run(builder.Build(0));
  ExpectOneFinal(kNoticeDamagedPackage);
  EXPECT_EQ(Final().path, workspace_ + "\\QW.tmp");
  EXPECT_EQ(Positions().back(), 100u);  // the whole copy ran first
  EXPECT_FALSE(Exists(workspace_ + "/a"));
}

TEST_F(WorkerTest, LocatorRules) {
  std::vector<uint8_t> package = OneFile("", "a", Bytes("abc"));
  std::vector<uint8_t> program = MakeProgramFile(std::vector<uint8_t>(136, 'S'), package);

  WriteProgram(std::vector<uint8_t>(program.begin(), program.begin() + 135));
  Run();
  ExpectOneFinal(kNoticeDamagedPackage);

  WriteProgram(program);  // the package ends exactly at the end of the file
  Run();
  ExpectOneFinal(kNoticeSuccess);

  WriteProgram(std::vector<uint8_t>(program.begin(), program.end() - 1));
  Run();
  ExpectOneFinal(kNoticeDamagedPackage);

  for (auto [offset, length] :
       {std::pair<uint32_t, uint32_t>{0xFFFFFFF0u, 0x20}, {136, 3}, {136, 0}}) {
    std::vector<uint8_t> bad = program;
    StoreLe32(bad.data() + 128, offset);
    StoreLe32(bad.data() + 132, length);
    WriteProgram(bad);
    Run();
    ExpectOneFinal(kNoticeDamagedPackage);
  }

  // A 136-byte program whose locator names a package of just its file count.
  std::vector<uint8_t> tiny(136, 0);
  StoreLe32(tiny.data() + 128, 132);
  StoreLe32(tiny.data() + 132, 4);
  StoreLe32(tiny.data() + 132, 4);
  WriteProgram(tiny);
  Run();
  ExpectOneFinal(kNoticeSuccess);  // fileCount is the length field itself: 4

  strcpy(g_runState.programPath, (root_ + "/missing.exe").c_str());
  Run();
  ExpectOneFinal(kNoticeDamagedPackage);
}

TEST_F(WorkerTest, WalkEndsAtABadMagicWhateverFollows) {
  PackageBuilder builder;
  builder.AddFile("", "first", Bytes("1"));
  builder.AddFile("", "second", Bytes("2"));
  std::vector<uint8_t> package = builder.Build();
  EntryHeader first;
  ParseEntryHeader(package.data() + 4, &first);
  package[first.dataEnd] = 0;  // the second header's magic
  Run(package);
  ExpectOneFinal(kNoticeSuccess);
  EXPECT_EQ(ReadFile("first"), "1");
  EXPECT_FALSE(Exists(workspace_ + "/second"));
}

TEST_F(WorkerTest, ChecksumAndDecodeFailures) {
  std::vector<uint8_t> package = OneFile("", "data.bin", Pattern(9000, 6));
  package[kChecksumField] ^= 1;
  Run(package);
  ExpectOneFinal(kNoticeChecksumError);
  EXPECT_EQ(Final().path, workspace_ + "\\data.bin");
  EXPECT_EQ(ReadFile("data.bin").size(), 9000u);  // complete and closed

  // A coded block that cannot decode is a decode error, though the checksum fails too.
  PackageBuilder builder;
  StoredBlock broken = {true, {0x80}};  // a match before any literal
  builder.AddEntry("", "data.bin", 4096 + 3, {{false, Pattern(4096, 7)}, broken});
  package = builder.Build();
  package[kChecksumField] ^= 1;
  Run(package);
  ExpectOneFinal(kNoticeDecompressError);
  EXPECT_EQ(Final().path, workspace_ + "\\data.bin");
  EXPECT_EQ(ReadFile("data.bin").size(), 4096u);  // the blocks before the failing one
}

TEST_F(WorkerTest, MalformedFieldsAreDecodeErrors) {
  std::vector<uint8_t> package = OneFile("", "f", Pattern(5000, 8));
  auto refused = [&](std::vector<uint8_t> bad) {
    Run(bad);
    ExpectOneFinal(kNoticeDecompressError);
    return Final().path == workspace_ + "\\f";
  };
  std::vector<uint8_t> bad = package;
  StoreLe32(bad.data() + kLastBlockSizeField, 4097);
  EXPECT_TRUE(refused(bad));
  bad = package;
  StoreLe32(bad.data() + kLastBlockSizeField, 0);
  EXPECT_TRUE(refused(bad));
  bad = package;
  StoreLe16(bad.data() + kFirstBlock, 4097);  // storedLength over the buffer
  EXPECT_TRUE(refused(bad));
  bad = package;
  StoreLe16(bad.data() + kFirstBlock + 2, 1);  // coded with a method that is not one
  for (uint16_t method : {2, 7, 65535}) {
    StoreLe16(bad.data() + kMethodField, method);
    EXPECT_TRUE(refused(bad)) << method;
  }
  bad.assign(package.begin(), package.end() - 10);  // the copy ends inside the entry
  EXPECT_TRUE(refused(bad));
}

TEST_F(WorkerTest, CodedFlagZeroInsideAnLzEntryIsCopied) {
  PackageBuilder builder;
  builder.AddEntry("", "mixed", 4096 + 5, {CodedAbab(4096), {false, Bytes("plain")}});
  Run(builder.Build());
  ExpectOneFinal(kNoticeSuccess);
  EXPECT_EQ(ReadFile("mixed").substr(4096), "plain");
}

TEST_F(WorkerTest, NamesThatWouldLeaveTheWorkspaceCreateNothing) {
  const char* subdirectories[] = {"..",  "a\\..\\..", "\\abs", "a\\",   "a\\\\b",  "C:\\x", "a/b",
                                  "a:b", "ok\\.",     "...",   "a\x01", "dot.\\x", "x\\sp "};
  for (const char* subdirectory : subdirectories) {
    Run(OneFile(subdirectory, "evil.txt", Bytes("x")));
    ExpectOneFinal(kNoticeDirectoryError);
    EXPECT_EQ(Final().path, workspace_ + "\\" + subdirectory) << subdirectory;
  }
  // Windows drops a trailing dot or space: "QWSetup.exe." would be written
  // as QWSetup.exe, a name the walk does not know it by.
  const char* names[] = {"..",    ".", "a\\b",         "..\\up",       "/etc/x",        "c:x",
                         "tab\t", "",  "QWSetup.exe.", "QWSetup.exe ", "QWSetup.exe. ."};
  for (const char* name : names) {
    Run(OneFile("sub", name, Bytes("x")));
    ExpectOneFinal(kNoticeWriteError);
    EXPECT_EQ(Final().path, workspace_ + "\\sub\\" + name) << name;
  }
  EXPECT_TRUE(StrayFiles().empty());
  EXPECT_FALSE(Exists(workspace_ + "/sub"));  // refused before the directory was made
}

TEST_F(WorkerTest, NamesWithoutTheirTerminatorOrTooLongForAPath) {
  std::vector<uint8_t> package = OneFile("sub", "name", Bytes("x"));
  std::vector<uint8_t> bad = package;
  memset(bad.data() + kSubdirectoryField, 'd', 100);
  Run(bad);
  ExpectOneFinal(kNoticeDirectoryError);
  bad = package;
  memset(bad.data() + kFileNameField, 'n', 100);
  Run(bad);
  ExpectOneFinal(kNoticeWriteError);

  // 99-byte names fit their fields but not, behind a long workspace, a 520-byte path.
  std::string level(99, 'l'), name(99, 'n');
  auto useWorkspaceOf = [&](size_t length) {
    std::string path = workspace_;
    while (path.size() < length) {
      path += "/" + std::string(std::min<size_t>(200, length - path.size() - 1), 'w');
      mkdir(path.c_str(), 0777);
    }
    strcpy(g_runState.workspacePath, path.c_str());
    return path;
  };
  useWorkspaceOf(519 - 2 - 99 - 99);  // exactly 519 bytes with the terminator's room
  Run(OneFile(level, name, Bytes("x")));
  ExpectOneFinal(kNoticeSuccess);
  std::string workspace = useWorkspaceOf(519 - 2 - 99 - 99 + 1);
  Run(OneFile(level, name, Bytes("x")));
  ExpectOneFinal(kNoticeWriteError);
  EXPECT_EQ(Final().path.size(), 519u);  // cut to the buffer, never past it
  EXPECT_FALSE(Exists(workspace + "/" + level));
  useWorkspaceOf(519 - 99);
  Run(OneFile(level, "n", Bytes("x")));
  ExpectOneFinal(kNoticeDirectoryError);
}

TEST_F(WorkerTest, ExistingSubdirectoryIsNoError) {
  mkdir((workspace_ + "/sub").c_str(), 0777);
  Run(OneFile("sub", "f", Bytes("x")));
  ExpectOneFinal(kNoticeSuccess);
  // A file where a directory must go cannot be made a directory.
  std::ofstream(workspace_ + "/blocker") << "x";
  Run(OneFile("blocker\\inner", "f", Bytes("x")));
  ExpectOneFinal(kNoticeDirectoryError);
  EXPECT_EQ(Final().path, workspace_ + "\\blocker\\inner");
}

TEST_F(WorkerTest, EachSubdirectoryLevelIsMadeOncePerWalk) {
  static std::vector<std::string> s_made;
  g_platform.createDirectoryIn = [](HeldHandle directory, const char* path) {
    s_made.push_back(path);
    return NativePlatform().createDirectoryIn(directory, path);
  };
  PackageBuilder builder;
  for (int i = 0; i < 6; i++) builder.AddFile("a\\b\\c", "f" + std::to_string(i), Bytes("c"));
  builder.AddFile("a\\b", "up", Bytes("b"));         // an ancestor of the last one: made
  builder.AddFile("a\\bc", "sibling", Bytes("bc"));  // shares "a", not "a\\b"
  builder.AddFile("", "top", Bytes("t"));
  builder.AddFile("a\\bc\\d", "deeper", Bytes("d"));
  std::vector<uint8_t> package = builder.Build();
  // Each level relative to the held workspace, once.
  std::vector<std::string> wanted = {"a", "a\\b", "a\\b\\c", "a\\bc", "a\\bc\\d"};
  for (int walk = 0; walk < 2; walk++) {
    // The second walk finds nothing made: what the first made is not taken on trust.
    ASSERT_EQ(system(("rm -rf '" + workspace_ + "/a'").c_str()), 0);
    s_made.clear();
    Run(package);
    ExpectOneFinal(kNoticeSuccess);
    EXPECT_EQ(s_made, wanted) << walk;
    EXPECT_EQ(ReadFile("a/b/c/f5"), "c");
    EXPECT_EQ(ReadFile("a/b/up"), "b");
    EXPECT_EQ(ReadFile("a/bc/d/deeper"), "d");
  }
}

TEST_F(WorkerTest, OpenAndWriteFailures) {
  std::vector<uint8_t> package = OneFile("", "f", Pattern(20000, 9));
  static std::string s_redirectFrom, s_redirectTo;
  static int s_opens;
  g_platform.openFileIn = [](HeldHandle directory, const char* path, const char* mode) -> FILE* {
    s_opens++;
    if (s_redirectFrom == path && (s_redirectTo != "fail-read" || mode[0] == 'r'))
      return s_redirectTo == "fail-read" ? nullptr : fopen(s_redirectTo.c_str(), mode);
    return NativePlatform().openFileIn(directory, path, mode);
  };

  s_redirectFrom = kPackageCopyName;  // the copy cannot be written: a full disk
  s_redirectTo = "/dev/full";
  Run(package);
  ExpectOneFinal(kNoticeDamagedPackage);

  s_redirectTo = "fail-read";  // the copy cannot be reopened
  Run(package);
  ExpectOneFinal(kNoticeOpenError);
  EXPECT_EQ(Final().path, std::string(g_runState.packageCopyPath));

  s_redirectFrom = "f";  // the output cannot be written
  s_redirectTo = "/dev/full";
  Run(package);
  ExpectOneFinal(kNoticeWriteError);
  EXPECT_EQ(Final().path, workspace_ + "\\f");

  s_redirectFrom = "f";
  s_redirectTo = root_ + "/no/such/dir";
  Run(package);
  ExpectOneFinal(kNoticeWriteError);
}

// A program file that claims more bytes than it delivers, as one that shrinks
// during the copy would: the copy-out stage must end, and fail.
TEST_F(WorkerTest, CopyOutEndsWhenReadsDeliverNothing) {
  std::vector<uint8_t> program =
      MakeProgramFile(std::vector<uint8_t>(200, 'S'), OneFile("", "f", Pattern(50000, 10)));
  WriteProgram(program);
  static std::string s_program;
  s_program = program_;
  g_platform.openFile = [](const char* path, const char* mode) -> FILE* {
    FILE* real = NativePlatform().openFile(path, mode);
    if (s_program != path || !real) return real;
    cookie_io_functions_t io = {};
    io.read = [](void* cookie, char* buffer, size_t size) -> ssize_t {
      FILE* file = static_cast<FILE*>(cookie);
      long at = ftell(file);
      if (at >= 20000) return 0;  // the file "shrank" here, whatever the reads' size
      return static_cast<ssize_t>(fread(buffer, 1, std::min<size_t>(size, 20000 - at), file));
    };
    io.seek = [](void* cookie, off64_t* offset, int whence) -> int {
      FILE* file = static_cast<FILE*>(cookie);
      if (fseek(file, static_cast<long>(*offset), whence) != 0) return -1;
      *offset = ftell(file);
      return 0;
    };
    io.close = [](void* cookie) { return fclose(static_cast<FILE*>(cookie)); };
    return fopencookie(real, mode, io);
  };
  Run();
  ExpectOneFinal(kNoticeDamagedPackage);
  EXPECT_LT(Positions().back(), 100u);
}

// The hold on the setup program is taken from its writer's own handle,
// never by its name: a program that puts another file at the name between
// the write and the hold gets its file neither held nor checked.
TEST_F(WorkerTest, TheSetupProgramIsHeldFromItsWriterNotByItsName) {
  static std::string s_setup;
  s_setup = workspace_ + "/QWSetup.exe";
  g_platform.closeAndHold = [](FILE* file, HeldHandle* held) {
    rename(s_setup.c_str(), (s_setup + ".moved").c_str());
    std::ofstream(s_setup, std::ios::binary) << "an impostor of the same name";
    return NativePlatform().closeAndHold(file, held);
  };
  std::vector<uint8_t> setup = Pattern(9000, 3);
  Run(OneFile("", "QWSetup.exe", setup));
  ExpectOneFinal(kNoticeSuccess);
  const VerifiedSetup& held = VerifiedSetupProgram();
  ASSERT_NE(held.file, nullptr);
  EXPECT_EQ(held.written.length, setup.size());
  EXPECT_TRUE(HeldFileMatches(held.file, held.written));
  ReleaseVerifiedSetup();
}
