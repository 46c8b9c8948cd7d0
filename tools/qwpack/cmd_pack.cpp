// qwpack pack: a folder into a launcher.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/block_decode.h"
#include "decode/lzma_decode.h"
#include "tools/qwpack/brand_options.h"
#include "tools/qwpack/cli_style.h"
#include "tools/qwpack/commands.h"
#include "tools/qwpack/host/host_files.h"
#include "tools/qwpack/packer.h"
#include "tools/qwpack/progress_bar.h"

namespace {

constexpr const char kDefaultStub[] = "win32";

bool IsStubKind(const std::string& name) {
  return name == "win32" || name == "win64";
}

// Where the project's launcher for `kind` (win32, win64) may lie, relative
// to this program: installed (bin/qwpack, share/qwpack/launcher-win32.exe),
// beside it (qwpack.exe in the Windows zip), or in the build tree
// (build/host/qwpack or build/win64/qwpack.exe, build/win32/launcher.exe).
std::vector<std::string> StubCandidates(const std::string& kind) {
  std::string here = HostDirectoryOf(HostOwnProgram());
  std::string name = "launcher-" + kind + ".exe";
  const char s = kHostSeparator;
  return {here + s + ".." + s + "share" + s + "qwpack" + s + name, here + s + name,
          here + s + ".." + s + kind + s + "launcher.exe"};
}

// The stub --stub names: a kind found beside qwpack, or a path.
std::string ResolveStub(const std::string& stub, std::string* problem) {
  if (!IsStubKind(stub)) return stub;
  std::vector<std::string> candidates = StubCandidates(stub);
  for (const std::string& candidate : candidates) {
    HostFileInfo info;
    if (HostStat(candidate, &info).empty() && info.kind == HostKind::kFile) return candidate;
  }
  *problem = "no " + stub + " launcher stub; looked for";
  for (const std::string& candidate : candidates) *problem += "\n  " + candidate;
  *problem += "\n(build the " + stub + " preset, install the package, or name a file with --stub)";
  return "";
}

// <folder name>.exe in the current directory.
std::string DefaultOutput(const std::string& folder) {
  std::string name = HostAbsolutePath(folder);
  while (name.size() > 1 && (name.back() == '/' || name.back() == kHostSeparator)) name.pop_back();
  size_t separator = name.find_last_of(std::string("/") + kHostSeparator);
  name = separator == std::string::npos ? name : name.substr(separator + 1);
  return (name.empty() || name.back() == ':' ? std::string("package") : name) + ".exe";
}

constexpr uint64_t kLeastVolumeSize = 64 * 1024;

// SIZE of --volume-size: bytes, or a whole number of KiB, MiB or GiB (K, M,
// G); at most 2G, which stands for the longest volume below 2 GiB.
std::string ParseVolumeSize(const std::string& text, uint64_t* size) {
  size_t digits = 0;
  uint64_t value = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && value < (1ull << 40))
    value = value * 10 + static_cast<uint64_t>(text[digits++] - '0');
  std::string unit = text.substr(digits);
  int shift = unit.empty()                 ? 0
              : unit == "K" || unit == "k" ? 10
              : unit == "M" || unit == "m" ? 20
              : unit == "G" || unit == "g" ? 30
                                           : -1;
  if (digits == 0 || shift < 0)
    return "--volume-size " + text + ": give bytes, or a whole number with K, M or G";
  *size = value << shift;
  if (*size < kLeastVolumeSize || *size > (2ull << 30))
    return "--volume-size " + text + ": a volume holds from 64K to 2G";
  return "";
}

void PrintSummary(const std::string& output, const PackReport& report, double seconds,
                  unsigned threads) {
  double ratio = report.inputBytes ? 100.0 * report.packageBytes / report.inputBytes : 0;
  printf("%s: %zu files, %llu bytes -> package %llu bytes (%.1f%%), launcher %llu bytes\n",
         output.c_str(), report.files, static_cast<unsigned long long>(report.inputBytes),
         static_cast<unsigned long long>(report.packageBytes), ratio,
         static_cast<unsigned long long>(report.launcherBytes));
  for (size_t i = 0; i < report.volumes.size(); i++)
    printf("  volume %zu: %s, %llu bytes\n", i + 1, report.volumes[i].c_str(),
           static_cast<unsigned long long>(report.volumeLengths[i]));
  double mbps = seconds > 0 ? report.inputBytes / seconds / 1e6 : 0;
  printf("%llu of %llu blocks coded; %.2f s on %u threads, %.1f MB/s\n",
         static_cast<unsigned long long>(report.codedBlocks),
         static_cast<unsigned long long>(report.blocks), seconds, threads, mbps);
}

}  // namespace

int RunPack(int argc, char** argv) {
  CLI::App app(
      "Pack a folder into a launcher: the launcher stub, its package locator filled in, and\n"
      "the folder's files appended as a package. Names are converted to the ANSI code\n"
      "page; the launcher is the same on any machine and at any thread count.",
      "qwpack pack");
  UseOneOptionStyle(app);
  std::string folder, output, stub = kDefaultStub;
  std::string setupProgram, depfile;
  bool store = false, strict = false;
  unsigned threads = HostProcessorCount();
  unsigned codePage = kDefaultPackCodePage;
  app.add_option("DIR", folder, "the folder to pack; its top should hold QWSetup.exe")->required();
  app.add_option("-o,--output", output, "the launcher to write (default: ./<DIR name>.exe)");
  app.add_option("--stub", stub,
                 "the launcher to append the package to: win32 (the default) or win64, the "
                 "project's launcher for 32- or 64-bit Windows installed with qwpack, or the "
                 "path of a launcher");
  app.add_flag("--store", store, "keep every block plain (no LZ coding)");
  std::string method = "lz";
  app.add_option("--method", method,
                 "how blocks are coded: lz (the default; each block on its own, fastest to "
                 "unpack) or lzma (smaller: one 64 MiB LZMA dictionary across the files, "
                 "x86 filter on programs' code; the launcher needs 64 MiB more)")
      ->check(CLI::IsMember({"lz", "lzma"}));
  app.add_flag("--strict", strict,
               "refuse paths that pass Windows' 259 characters behind a typical workspace, "
               "instead of warning of them");
  app.add_option("--threads", threads, "coding threads (default: every core)")
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--codepage", codePage,
                 "ANSI code page for the names in the package (default 936)");
  app.add_option("--setup", setupProgram,
                 "a file to pack as QWSetup.exe at the package's top (DIR must not hold one)")
      ->type_name("FILE");
  app.add_option("--depfile", depfile,
                 "also write FILE, a depfile for make or ninja naming the launcher and every "
                 "file and folder it is made from")
      ->type_name("FILE");
  std::string volumeSize;
  app.add_option("--volume-size", volumeSize,
                 "write a volume set: the launcher OUTPUT holding the volumes' lengths and "
                 "SHA-256 digests, and the entries in NAME-1.qwv, NAME-2.qwv, ... beside it, "
                 "each at most SIZE (64K to 2G; K, M, G: powers of 1024). Without it, a "
                 "package that would pass the launcher's 2 GiB goes into volumes of their "
                 "longest by itself")
      ->type_name("SIZE");
  BrandOptions brandOptions;
  AddBrandOptions(app, &brandOptions);
  CLI11_PARSE(app, argc, argv);
  if (threads == 0) threads = 1;

  if (output.empty()) output = DefaultOutput(folder);
  std::string problem;
  std::string stubPath = ResolveStub(stub, &problem);
  if (stubPath.empty()) {
    fprintf(stderr, "qwpack: %s\n", problem.c_str());
    return 1;
  }
  PackOptions options;
  options.folder = folder;
  options.output = output;
  options.codePage = codePage;
  options.threads = threads;
  options.store = store;
  options.method = method == "lzma" ? kMethodLzma : kMethodLz;
  options.strict = strict;
  if (!volumeSize.empty()) {
    problem = ParseVolumeSize(volumeSize, &options.volumeSize);
    if (!problem.empty()) {
      fprintf(stderr, "qwpack: %s\n", problem.c_str());
      return 1;
    }
  }
  if (!HostReadFile(stubPath, &options.stub)) {
    fprintf(stderr, "qwpack: cannot read the launcher stub %s: %s\n", stubPath.c_str(),
            HostErrorText().c_str());
    return 1;
  }
  options.setupProgram = setupProgram;
  options.depfile = depfile;
  options.depfileInputs = {stubPath};
  problem = LoadBrand(brandOptions, &options.brand, &options.depfileInputs);
  if (!problem.empty()) {
    fprintf(stderr, "qwpack: cannot brand the launcher:\n%s\n", problem.c_str());
    return 1;
  }
  ProgressBar bar("pack", 100);
  options.progress = [&bar](uint64_t done, uint64_t total) {
    bar.Update(total ? done * 100 / total : 100);
  };

  auto start = std::chrono::steady_clock::now();
  PackReport report;
  problem = PackFolder(options, &report);
  if (!problem.empty()) {
    fprintf(stderr, "qwpack: cannot pack %s into %s:\n%s\n", folder.c_str(), output.c_str(),
            problem.c_str());
    return 1;
  }
  bar.Finish();
  for (const std::string& warning : report.warnings)
    fprintf(stderr, "qwpack: warning: %s\n", warning.c_str());
  for (const std::string& note : report.notes) fprintf(stderr, "qwpack: note: %s\n", note.c_str());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  PrintSummary(output, report, seconds, threads);
  return 0;
}
