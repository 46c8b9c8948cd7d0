#include "tools/qwpack/packer.h"

#include <algorithm>
#include <map>
#include <set>

#include "package/format.h"
#include "package/lzma_codec.h"
#include "package/package_writer.h"
#include "platform/code_page.h"
#include "tools/qwpack/ansi_paths.h"
#include "tools/qwpack/entry_names_ansi.h"
#include "tools/qwpack/folder_scan.h"
#include "tools/qwpack/host_files.h"
#include "tools/qwpack/launcher_stub.h"
#include "tools/qwpack/output_file.h"
#include "tools/qwpack/package_stream.h"

namespace {

constexpr const char kSetupProgram[] = "QWSetup.exe";
constexpr size_t kMostProblemsListed = 20;
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFu;  // fileSize is 32 bits
// The fewest bytes a block can take in a package: its header and one byte
// of a coded literal followed by one match (33 bits).
constexpr uint64_t kSmallestStoredBlock = 4 + 5;

std::string Joined(const std::vector<std::string>& levels) {
  std::string path;
  for (const std::string& level : levels) {
    if (!path.empty()) path += kHostSeparator;
    path += level;
  }
  return path;
}

std::string FoldAsciiCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string PackagePath(const std::string& subdirectory, const std::string& fileName) {
  return subdirectory.empty() ? fileName : subdirectory + "\\" + fileName;
}

// Windows folds case: two files whose paths differ only in case would land
// on one file, and a file may not share its path with a folder.
void FindCaseClashes(const std::vector<SourceFile>& files, std::vector<std::string>* problems) {
  std::map<std::string, std::string> filesByFolded;
  std::map<std::string, std::string> foldersByFolded;
  for (const SourceFile& file : files) {
    std::string path;
    for (size_t i = 0; i + 1 < file.levels.size(); i++) {
      if (!path.empty()) path += kHostSeparator;
      path += file.levels[i];
      foldersByFolded.emplace(FoldAsciiCase(path), path);
    }
    std::string whole = Joined(file.levels);
    auto placed = filesByFolded.emplace(FoldAsciiCase(whole), whole);
    if (!placed.second)
      problems->push_back(whole + ": Windows takes it for the same file as " +
                          placed.first->second);
  }
  for (const auto& file : filesByFolded) {
    auto folder = foldersByFolded.find(file.first);
    if (folder != foldersByFolded.end())
      problems->push_back(file.second + ": Windows takes it for the same name as the folder " +
                          folder->second);
  }
}

// The top-most folders with no file below them.
std::vector<std::string> TopEmptyFolders(std::vector<std::string> folders) {
  std::sort(folders.begin(), folders.end());
  std::vector<std::string> top;
  for (const std::string& folder : folders)
    if (top.empty() || folder.compare(0, top.back().size() + 1, top.back() + kHostSeparator) != 0)
      top.push_back(folder);
  return top;
}

std::string ListProblems(const std::vector<std::string>& problems) {
  std::string text;
  for (size_t i = 0; i < problems.size() && i < kMostProblemsListed; i++)
    text += (i ? "\n" : "") + problems[i];
  if (problems.size() > kMostProblemsListed)
    text += "\n... and " + std::to_string(problems.size() - kMostProblemsListed) + " more";
  return text;
}

// The identity of the output when it exists, so the walk can leave it out.
FileIdentity IdentifyOutput(const std::string& output) {
  HostFileInfo info;
  return HostStat(output, &info).empty() ? info.identity : FileIdentity();
}

std::string CollectEntries(const PackOptions& options, PackReport* report,
                           std::vector<PackageEntry>* entries) {
  FolderScan scan;
  std::string problem = ScanFolder(options.folder, IdentifyOutput(options.output), &scan);
  if (!problem.empty()) return problem;

  std::vector<std::string> problems;
  FindCaseClashes(scan.files, &problems);
  bool hasSetup = false;
  std::map<std::string, std::string> longPaths;  // package path -> what to say, in package order
  for (const SourceFile& file : scan.files) {
    std::string path = Joined(file.levels);
    EntryNames names;
    std::string nameProblem = MakeEntryNames(file.levels, options.codePage, &names);
    if (!nameProblem.empty()) problems.push_back(path + ": " + nameProblem);
    size_t pathBytes = PackagePathBytes(names.subdirectory.size(), names.fileName.size());
    if (nameProblem.empty() && !FitsTypicalWindowsPath(pathBytes))
      longPaths[PackagePath(names.subdirectory, names.fileName)] =
          path + ": " + TypicalPathWarning(pathBytes);
    if (file.size > kMaxFileSize)
      problems.push_back(path + ": 4 GiB or larger, more than an entry can hold");
    entries->push_back({file.hostPath, names.subdirectory, names.fileName, file.size});
    hasSetup = hasSetup || (file.levels.size() == 1 &&
                            FoldAsciiCase(file.levels[0]) == FoldAsciiCase(kSetupProgram));
  }
  for (const auto& longPath : longPaths)
    (options.strict ? problems : report->warnings).push_back(longPath.second);
  if (!problems.empty()) return ListProblems(problems);
  if (entries->empty()) return options.folder + " holds no files; a package needs at least one";

  std::sort(entries->begin(), entries->end(), [](const PackageEntry& a, const PackageEntry& b) {
    return PackagePath(a.subdirectory, a.fileName) < PackagePath(b.subdirectory, b.fileName);
  });
  if (!hasSetup)
    report->warnings.push_back(std::string("the folder has no ") + kSetupProgram +
                               " at its top; the launcher will unpack everything and then fail "
                               "to start it");
  for (const std::string& folder : TopEmptyFolders(scan.emptyDirectories))
    report->warnings.push_back("the empty folder " + folder +
                               " is left out: a package cannot carry a folder without files");
  return "";
}

// The least the package can take, to refuse a launcher that cannot fit
// below 2 GiB before any work is done.
uint64_t SmallestPackage(const std::vector<PackageEntry>& entries) {
  uint64_t least = 4;
  for (const PackageEntry& entry : entries)
    least += kEntryHeaderSize + (entry.size + kBlockSize - 1) / kBlockSize * kSmallestStoredBlock;
  return least;
}

}  // namespace

std::string PackFolder(const PackOptions& options, PackReport* report) {
  *report = PackReport();
  std::string probe;
  if (!Utf8ToCodePage("A", options.codePage, &probe))
    return "code page " + std::to_string(options.codePage) + " is unknown here";
  UsePathCodePage(options.codePage);

  if (options.method == kMethodLzma && !CanWriteLzma()) return LzmaUnavailableText();
  std::string stubProblem = CheckLauncherStub(options.stub);
  if (!stubProblem.empty()) return "the launcher stub cannot be used: " + stubProblem;

  std::vector<PackageEntry> entries;
  std::string problem = CollectEntries(options, report, &entries);
  if (!problem.empty()) return problem;

  uint64_t room = kMaxProgramSize - options.stub.size();
  if (SmallestPackage(entries) > room)
    return "the launcher would reach 2 GiB, more than the launcher can read (signed 32-bit "
           "file offsets)";

  OutputFile output;
  problem = output.Open(options.output);
  if (!problem.empty()) return problem;
  uint64_t total = 0;
  for (const PackageEntry& entry : entries) total += entry.size;
  PackageStreamOptions streamOptions;
  streamOptions.threads = options.threads;
  streamOptions.store = options.store;
  streamOptions.method = options.method;
  streamOptions.maxPackageLength = room;
  if (options.progress)
    streamOptions.progress = [&](uint64_t done) { options.progress(done, total); };
  PackageTotals totals;
  problem = WritePackageStream(output.fd(), options.stub.size(), entries, streamOptions, &totals);
  if (!problem.empty()) return problem;

  // The stub goes in last, once the package's length is known for its
  // locator; the package was written behind the space it fills.
  std::vector<uint8_t> stub = options.stub;
  WriteLocator(stub.data(), static_cast<uint32_t>(stub.size()),
               static_cast<uint32_t>(totals.packageLength));
  if (!HostWriteAt(output.fd(), stub.data(), stub.size(), 0))
    return "cannot write " + output.temporaryPath() + ": " + HostErrorText();
  problem = output.Commit();
  if (!problem.empty()) return problem;

  report->files = entries.size();
  report->inputBytes = totals.inputBytes;
  report->packageBytes = totals.packageLength;
  report->launcherBytes = stub.size() + totals.packageLength;
  report->blocks = totals.blocks;
  report->codedBlocks = totals.codedBlocks;
  return "";
}
