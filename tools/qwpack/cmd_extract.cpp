// extract, list and verify: the launcher's own two stages, run on the host.
#include <CLI/CLI.hpp>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "decode/notices.h"
#include "decode/unpack.h"
#include "launcher/run_state.h"
#include "launcher/worker.h"
#include "platform/platform.h"
#include "tools/qwpack/brand_listing.h"
#include "tools/qwpack/cli_style.h"
#include "tools/qwpack/commands.h"
#include "tools/qwpack/entry_names_ansi.h"
#include "tools/qwpack/host/ansi_paths.h"
#include "tools/qwpack/host/host_files.h"
#include "tools/qwpack/path_stand_ins.h"
#include "tools/qwpack/progress_bar.h"
#include "tools/qwpack/volume_reader.h"

namespace {

constexpr unsigned kDefaultCodePage = 936;
const char kDamagedPackageText[] = "This file has been damaged, please download a new one!";

// The worker's paths are ANSI; a host path reaches it as a stand-in.
void CopyWorkerPath(const std::string& hostPath, char* field) {
  snprintf(field, kPathCapacity, "%s", AddStandIn(hostPath).c_str());
}

// Receives the worker's notices as the progress window would.
struct NoticeRecorder {
  bool printNotices = false;
  bool deleteCopyAtEnd = true;
  ProgressBar* bar = nullptr;
  uint32_t finalCode = 0;
  std::string finalPath;

  static void Deliver(void* context, uint32_t code, uintptr_t value) {
    static_cast<NoticeRecorder*>(context)->Handle(code, value);
  }

  void Handle(uint32_t code, uintptr_t value) {
    if (code == kNoticeProgress) {
      if (printNotices) printf("%u %u\n", code, static_cast<uint32_t>(value));
      if (bar) bar->Update(static_cast<uint32_t>(value));
      return;
    }
    if (deleteCopyAtEnd) g_platform.deleteFileIn(g_runState.workspace, kPackageCopyName);
    finalCode = code;
    if (code >= kNoticeOpenError && code <= kNoticeDamagedPackage)
      finalPath = HostPathFromAnsi(reinterpret_cast<const char*>(value));
    if (printNotices) {
      if (code == kNoticeSuccess)
        printf("%u %u\n", code, static_cast<uint32_t>(value));
      else
        printf("%u %s\n", code, finalPath.c_str());
    }
  }

  // The launcher's message for the final notice; exit code 0 only on success.
  int Report() const {
    if (finalCode == kNoticeSuccess) return 0;
    if (const char* format = NoticeMessageFormat(finalCode)) {
      fprintf(stderr, format, finalPath.c_str());
      fputc('\n', stderr);
    } else if (finalCode == kNoticeDamagedPackage) {
      fprintf(stderr, "%s\n", kDamagedPackageText);
    } else {
      fprintf(stderr, "qwpack: the worker ended without a final notice\n");
    }
    return 1;
  }
};

void AddCodePageOption(CLI::App& app, unsigned* codePage) {
  app.add_option("--codepage", *codePage, "ANSI code page of the package's names (default 936)");
}

}  // namespace

int RunExtract(int argc, char** argv) {
  CLI::App app(
      "Unpack a launcher's package exactly as the launcher does: the package copy\n"
      "DIR/QW.tmp, then every entry below DIR.",
      "qwpack extract");
  UseOneOptionStyle(app);
  std::string program, directory = ".";
  bool notices = false;
  unsigned codePage = kDefaultCodePage;
  app.add_option("PROGRAM", program, "the launcher (any file laid out as a launcher)")->required();
  app.add_option("-C", directory, "the workspace, created if missing (default: .)");
  app.add_flag("--notices", notices, "print every notice on stdout: CODE VALUE");
  AddCodePageOption(app, &codePage);
  CLI11_PARSE(app, argc, argv);
  UsePathCodePage(codePage);

  std::string problem = HostMakeDirectories(directory);
  if (!problem.empty()) {
    fprintf(stderr, "qwpack: %s\n", problem.c_str());
    return 1;
  }
  std::string workspace = HostAbsolutePath(directory);
  CopyWorkerPath(program, g_runState.programPath);
  CopyWorkerPath(workspace, g_runState.workspacePath);
  CopyWorkerPath(workspace + kHostSeparator + kPackageCopyName, g_runState.packageCopyPath);
  // The worker opens everything in the folder through this handle, as the
  // launcher does in its workspace.
  g_runState.workspace = g_platform.holdDirectory(g_runState.workspacePath);
  if (!g_runState.workspace) {
    fprintf(stderr, "qwpack: cannot open %s: %s\n", workspace.c_str(), HostErrorText().c_str());
    return 1;
  }

  ProgressBar bar("extract", 200);
  NoticeRecorder recorder;
  recorder.printNotices = notices;
  recorder.bar = &bar;
  NoticeSink sink = {NoticeRecorder::Deliver, &recorder};
  g_runState.noticeTarget = &sink;
  // A set's volumes lie beside the host path; the worker, which knows the
  // program file by a stand-in, is given the way to them.
  std::unique_ptr<HostVolumes> volumes(new HostVolumes{program, "", {}});
  g_runState.volumes = HostVolumeOpener(volumes.get());
  ExtractionWorkerMain(nullptr);
  g_runState.volumes = {};
  VolumeSet set;
  bool volumeRefused =
      (recorder.finalCode == kNoticeOpenError || recorder.finalCode == kNoticeChecksumError) &&
      ReadHostVolumeSet(program, &set) == kSetRead;
  std::string explanation =
      volumeRefused ? ExplainVolumeRefusal(program, set, recorder.finalPath) : "";
  if (!explanation.empty()) fprintf(stderr, "qwpack: %s\n", explanation.c_str());
  g_platform.release(g_runState.workspace);
  g_runState.workspace = nullptr;
  if (recorder.finalCode == kNoticeSuccess) bar.Finish();
  return recorder.Report();
}

namespace {

// Copies the package body into a temporary file and walks it without
// writing anything, as extract would.
int WalkPackage(const std::string& program, void (*onEntry)(void*, const EntryReport&),
                void* context, uint32_t* fileCount) {
  FILE* programFile = HostOpenFile(program, "rb");
  if (!programFile) {
    fprintf(stderr, "qwpack: cannot open %s: %s\n", program.c_str(), HostErrorText().c_str());
    return 1;
  }
  FILE* copy = HostTemporaryFile();
  if (!copy) {
    fclose(programFile);
    fprintf(stderr, "qwpack: cannot create a temporary file: %s\n", HostErrorText().c_str());
    return 1;
  }
  NoticeRecorder recorder;
  recorder.deleteCopyAtEnd = false;
  NoticeSink sink = {NoticeRecorder::Deliver, &recorder};
  VolumeSet set;
  SetReading reading = ReadVolumeSet(programFile, &set);
  *fileCount = reading == kNotASet ? CopyPackageBody(programFile, copy, &sink) : 0;
  fclose(programFile);
  if (reading == kSetRead) {
    std::string explanation;
    if (CopyOutHostVolumes(program, set, copy, "a temporary file", &sink, &explanation) != 0) {
      fclose(copy);
      fprintf(stderr, "qwpack: %s\n", explanation.c_str());
      return 1;
    }
    *fileCount = set.header.fileCount;
  }
  if (*fileCount == 0) {
    fclose(copy);
    fprintf(stderr, "%s\n", kDamagedPackageText);
    return 1;
  }
  rewind(copy);
  ProgressBar bar("verify", 200);
  recorder.bar = &bar;
  char path[kPathCapacity];
  UnpackJob job = {"", nullptr, *fileCount, &sink, false, onEntry, context};
  uint32_t code = UnpackPackageBody(copy, job, path);
  fclose(copy);
  recorder.Handle(code, reinterpret_cast<uintptr_t>(path));
  if (code == kNoticeSuccess) bar.Finish();
  return recorder.Report();
}

std::string EntryDisplayPath(const EntryHeader& header) {
  std::string ansi(header.subdirectory, strnlen(header.subdirectory, kNameFieldSize));
  if (!ansi.empty()) ansi += '\\';
  ansi.append(header.fileName, strnlen(header.fileName, kNameFieldSize));
  return HostPathFromAnsi(ansi.c_str());
}

struct Listing {
  bool json = false;
  nlohmann::json rows = nlohmann::json::array();
  size_t longPaths = 0;
};

void ListEntry(void* context, const EntryReport& report) {
  Listing* listing = static_cast<Listing*>(context);
  const EntryHeader& header = *report.header;
  std::string path = EntryDisplayPath(header);
  size_t pathUnits = PackagePathUnits(
      std::string(header.subdirectory, strnlen(header.subdirectory, kNameFieldSize)),
      std::string(header.fileName, strnlen(header.fileName, kNameFieldSize)), PathCodePage());
  bool longPath = !FitsTypicalWindowsPath(pathUnits);
  listing->longPaths += longPath;
  if (listing->json) {
    listing->rows.push_back({{"path", path},
                             {"size", header.fileSize},
                             {"method", header.method},
                             {"blocks", report.blockCount},
                             {"stored", report.storedBytes},
                             {"long_path", longPath}});
  } else {
    printf("%-50s %12u  method %u  %6u blocks  %12llu stored%s\n", path.c_str(), header.fileSize,
           header.method, report.blockCount, static_cast<unsigned long long>(report.storedBytes),
           longPath ? ("  LONG PATH " + std::to_string(pathUnits) + " characters").c_str() : "");
  }
}

void CountEntry(void* context, const EntryReport& report) {
  uint64_t* totals = static_cast<uint64_t*>(context);
  totals[0]++;
  totals[1] += report.header->fileSize;
}

}  // namespace

int RunList(int argc, char** argv) {
  CLI::App app(
      "List a launcher's version resource, the brand it carries (names, execution level,\n"
      "whether icon, skin and bar fill are the project's own) and the entries of its\n"
      "package: path, size, method, blocks, stored bytes.",
      "qwpack list");
  UseOneOptionStyle(app);
  std::string program;
  Listing listing;
  unsigned codePage = kDefaultCodePage;
  app.add_option("PROGRAM", program, "the launcher")->required();
  app.add_flag("--json", listing.json,
               "print a JSON object: version_resource, brand and the list of entries");
  AddCodePageOption(app, &codePage);
  CLI11_PARSE(app, argc, argv);
  UsePathCodePage(codePage);

  if (!listing.json) PrintLauncherResources(program);
  uint32_t fileCount;
  int status = WalkPackage(program, ListEntry, &listing, &fileCount);
  if (listing.json) {
    nlohmann::json launcher = LauncherResourcesJson(program);
    launcher["entries"] = listing.rows;
    // Names and strings from a launcher are whatever bytes it holds: any
    // that are not UTF-8 are shown as U+FFFD rather than refused.
    printf("%s\n", launcher.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  }
  if (listing.longPaths)
    fprintf(stderr,
            "qwpack: %zu entries marked LONG PATH take more than %zu characters: behind a typical "
            "workspace (%zu characters) they pass Windows' %zu characters, and the launcher "
            "fails to write them\n",
            listing.longPaths, kTypicalPathBudget, kTypicalWorkspaceLength, kWindowsPathLimit);
  return status;
}

int RunVerify(int argc, char** argv) {
  CLI::App app("Decode and check every entry of a launcher's package, writing nothing.",
               "qwpack verify");
  UseOneOptionStyle(app);
  std::string program;
  unsigned codePage = kDefaultCodePage;
  app.add_option("PROGRAM", program, "the launcher")->required();
  AddCodePageOption(app, &codePage);
  CLI11_PARSE(app, argc, argv);
  UsePathCodePage(codePage);

  uint64_t totals[2] = {0, 0};
  uint32_t fileCount;
  int status = WalkPackage(program, CountEntry, totals, &fileCount);
  if (status == 0)
    printf("%s: %llu entries, %llu bytes, all sound\n", program.c_str(),
           static_cast<unsigned long long>(totals[0]), static_cast<unsigned long long>(totals[1]));
  return status;
}
