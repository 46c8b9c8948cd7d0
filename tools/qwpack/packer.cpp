#include "tools/qwpack/packer.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/container.h"
#include "decode/lzma_decode.h"
#include "encode/package_writer.h"
#include "encode/pipeline/package_stream.h"
#include "encode/volume_set_writer.h"
#include "image/launcher_stub.h"
#include "image/pe_checksum.h"
#include "platform/code_page.h"
#include "tools/qwpack/depfile.h"
#include "tools/qwpack/entry_names_ansi.h"
#include "tools/qwpack/folder_scan.h"
#include "tools/qwpack/host/ansi_paths.h"
#include "tools/qwpack/host/host_files.h"
#include "tools/qwpack/host/output_file.h"
#include "tools/qwpack/volume_outputs.h"

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

bool IsTopSetupProgram(const SourceFile& file) {
  return file.levels.size() == 1 && FoldAsciiCase(file.levels[0]) == FoldAsciiCase(kSetupProgram);
}

// The setup program given apart from the folder, as if it lay at its top.
std::string AddSetupProgram(const std::string& setupProgram, FolderScan* scan) {
  HostFileInfo info;
  std::string problem = HostStat(setupProgram, &info);
  if (!problem.empty()) return "the setup program: " + problem;
  if (info.kind != HostKind::kFile) return "the setup program " + setupProgram + " is not a file";
  for (const SourceFile& file : scan->files)
    if (IsTopSetupProgram(file))
      return "the folder holds " + file.levels[0] + " and the setup program " + setupProgram +
             " would take its place; pack one of them";
  scan->files.push_back({setupProgram, {kSetupProgram}, info.size});
  return "";
}

std::string CollectEntries(const PackOptions& options, PackReport* report,
                           std::vector<PackageEntry>* entries, std::vector<std::string>* folders) {
  FolderScan scan;
  std::string problem = ScanFolder(options.folder, IdentifyOutput(options.output), &scan);
  if (problem.empty() && !options.setupProgram.empty())
    problem = AddSetupProgram(options.setupProgram, &scan);
  if (!problem.empty()) return problem;
  *folders = scan.directories;

  std::vector<std::string> problems;
  FindCaseClashes(scan.files, &problems);
  bool hasSetup = false;
  std::map<std::string, std::string> longPaths;  // package path -> what to say, in package order
  for (const SourceFile& file : scan.files) {
    std::string path = Joined(file.levels);
    EntryNames names;
    std::string nameProblem = MakeEntryNames(file.levels, options.codePage, &names);
    if (!nameProblem.empty()) problems.push_back(path + ": " + nameProblem);
    size_t pathUnits = PackagePathUnits(names.subdirectory, names.fileName, options.codePage);
    if (nameProblem.empty() && !FitsTypicalWindowsPath(pathUnits))
      longPaths[PackagePath(names.subdirectory, names.fileName)] =
          path + ": " + TypicalPathWarning(pathUnits);
    if (file.size > kMaxFileSize)
      problems.push_back(path + ": 4 GiB or larger, more than an entry can hold");
    entries->push_back({file.hostPath, names.subdirectory, names.fileName, file.size});
    hasSetup = hasSetup || IsTopSetupProgram(file);
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

// The least the package can take, to refuse a payload that cannot fit in
// a set's most volumes before any work is done.
uint64_t SmallestPackage(const std::vector<PackageEntry>& entries) {
  uint64_t least = 4;
  for (const PackageEntry& entry : entries)
    least += kEntryHeaderSize + (entry.size + kBlockSize - 1) / kBlockSize * kSmallestStoredBlock;
  return least;
}

// A branded launcher's checksum covers the whole file, as Windows' own
// CheckSumMappedFile counts it: the stub with its locator, then the package
// read back from where it was written. An unbranded launcher keeps the
// stub's bytes as they are.
std::string SetWholeFileChecksum(int fd, std::vector<uint8_t>* stub, uint64_t packageLength) {
  uint64_t field = PeChecksumOffset(*stub);
  PeChecksum checksum(field);
  checksum.Add(stub->data(), stub->size());
  std::vector<uint8_t> chunk(1 << 20);
  for (uint64_t done = 0; done < packageLength;) {
    size_t length = static_cast<size_t>(std::min<uint64_t>(chunk.size(), packageLength - done));
    if (!HostReadAt(fd, chunk.data(), length, stub->size() + done)) return HostErrorText();
    checksum.Add(chunk.data(), length);
    done += length;
  }
  StoreLe32(stub->data() + field, checksum.Finish());
  return "";
}

// What the launcher is made from: the files outside the folder, then the
// folders (whose times change when a file appears or goes) and the files.
std::vector<std::string> DepfileInputs(const PackOptions& options,
                                       const std::vector<PackageEntry>& entries,
                                       const std::vector<std::string>& folders) {
  std::vector<std::string> inputs = options.depfileInputs;
  inputs.insert(inputs.end(), folders.begin(), folders.end());
  for (const PackageEntry& entry : entries) inputs.push_back(entry.hostPath);
  return inputs;
}

// A set's program file carries its record in place of the package: the
// stream's parts went into volumes, each now given its header and digest.
std::string WriteSetPackage(const std::vector<PackageEntry>& entries, const PackageTotals& totals,
                            uint64_t packageOffset, OutputFile* output, VolumeOutputs* volumes,
                            PackReport* report) {
  std::vector<VolumeRecord> records;
  std::string problem = volumes->Finish(totals.packageLength, &records);
  if (!problem.empty()) return problem;
  SetHeader header = {static_cast<uint32_t>(entries.size()), static_cast<uint32_t>(records.size()),
                      0};
  for (const PackageEntry& entry : entries) header.fileBytes += entry.size;
  std::vector<uint8_t> package = BuildSetPackage(header, records);
  if (!HostTruncate(output->fd(), packageOffset) ||
      !HostWriteAt(output->fd(), package.data(), package.size(), packageOffset))
    return "cannot write " + output->temporaryPath() + ": " + HostErrorText();
  report->volumes = volumes->Paths();
  for (const VolumeRecord& record : records) {
    report->volumeLengths.push_back(record.length);
    report->packageBytes += record.length;
  }
  return "";
}

// True when `path` begins as volume `number` of a set does.
bool LooksLikeVolume(const std::string& path, uint32_t number) {
  FILE* file = HostOpenFile(path, "rb");
  if (!file) return false;
  uint8_t header[kVolumeHeaderSize];
  bool volume =
      fread(header, 1, sizeof header, file) == sizeof header && IsVolumeHeader(header, number);
  fclose(file);
  return volume;
}

// Volumes beside the program file from an earlier, longer set would be
// taken for its own by whoever ships the folder: removed, each named.
void RemoveStaleVolumes(const std::string& program, uint32_t first, PackReport* report) {
  for (uint32_t number = first; number <= kMaxVolumes; number++) {
    std::string path = VolumePathBeside(program, number);
    if (!LooksLikeVolume(path, number)) return;
    if (HostRemoveFile(path))
      report->notes.push_back("removed " + path + ", a volume of an earlier set");
  }
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
  std::vector<uint8_t> stub = options.stub;
  if (!options.brand.Empty()) {
    std::string brandProblem = ApplyBrand(options.brand, &stub);
    if (!brandProblem.empty())
      return "the brand cannot be written into the launcher:\n" + brandProblem;
  }

  std::vector<PackageEntry> entries;
  std::vector<std::string> folders;
  std::string problem = CollectEntries(options, report, &entries, &folders);
  if (!problem.empty()) return problem;

  uint64_t room = options.programLimit - stub.size();
  uint64_t volumeLimit =
      options.volumeSize ? std::min(options.volumeSize, kMaxVolumeLength) : kMaxVolumeLength;
  if (SmallestPackage(entries) > kMaxVolumes * (volumeLimit - kVolumeHeaderSize))
    return "even at its smallest, the package would need more than " + std::to_string(kMaxVolumes) +
           " volumes of " + std::to_string(volumeLimit) + " bytes";

  OutputFile output;
  problem = output.Open(options.output);
  if (!problem.empty()) return problem;
  VolumeOutputs volumes(options.output, &output, stub.size());
  if (options.volumeSize) {
    problem = volumes.StartFirstVolume();
    if (!problem.empty()) return problem;
  }
  uint64_t total = 0;
  for (const PackageEntry& entry : entries) total += entry.size;
  PackageStreamOptions streamOptions;
  streamOptions.threads = options.threads;
  streamOptions.store = options.store;
  streamOptions.method = options.method;
  streamOptions.lzmaStretchBytes = options.lzmaStretchBytes;
  streamOptions.maxPackageLength = options.volumeSize ? volumeLimit : room;
  streamOptions.maxVolumeLength = volumeLimit;
  if (options.progress)
    streamOptions.progress = [&](uint64_t done) { options.progress(done, total); };
  PackageTotals totals;
  problem = WritePackageStream(volumes.Files(), options.volumeSize ? 0 : stub.size(), entries,
                               streamOptions, &totals);
  if (!problem.empty()) return problem;
  uint64_t packageLength = totals.packageLength;
  if (volumes.HasVolumes()) {
    problem = WriteSetPackage(entries, totals, stub.size(), &output, &volumes, report);
    if (!problem.empty()) return problem;
    packageLength = SetPackageLength(static_cast<uint32_t>(report->volumes.size()));
    if (!options.volumeSize)
      report->notes.push_back("the package would pass the program file's limit (" +
                              (options.programLimit == kMaxProgramSize
                                   ? std::string("2 GiB")
                                   : std::to_string(options.programLimit) + " bytes") +
                              "), so it went into " + std::to_string(report->volumes.size()) +
                              " volumes beside it; ship them with it");
  }

  // The stub goes in last, once the package's length is known for its
  // locator; the package was written behind the space it fills.
  WriteLocator(stub.data(), static_cast<uint32_t>(stub.size()),
               static_cast<uint32_t>(packageLength));
  if (!options.brand.Empty()) {
    problem = SetWholeFileChecksum(output.fd(), &stub, packageLength);
    if (!problem.empty()) return "cannot write " + output.temporaryPath() + ": " + problem;
  }
  if (!HostWriteAt(output.fd(), stub.data(), stub.size(), 0))
    return "cannot write " + output.temporaryPath() + ": " + HostErrorText();
  if (!options.depfile.empty()) {
    problem =
        WriteDepfile(options.depfile, options.output, DepfileInputs(options, entries, folders));
    if (!problem.empty()) return problem;
  }
  problem = volumes.Commit();
  if (problem.empty()) problem = output.Commit();
  if (!problem.empty()) return problem;
  RemoveStaleVolumes(options.output, static_cast<uint32_t>(report->volumes.size()) + 1, report);

  report->files = entries.size();
  report->inputBytes = totals.inputBytes;
  if (report->volumes.empty()) report->packageBytes = totals.packageLength;
  report->launcherBytes = stub.size() + packageLength;
  report->blocks = totals.blocks;
  report->codedBlocks = totals.codedBlocks;
  return "";
}
