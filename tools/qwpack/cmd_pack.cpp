// qwpack pack: a folder into a launcher.
#include <limits.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "tools/qwpack/commands.h"
#include "tools/qwpack/packer.h"
#include "tools/qwpack/progress_bar.h"

namespace {

constexpr const char kStubName[] = "launcher.exe";

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The launcher the project builds: beside this program (an installed
// layout), else in the 32-bit build beside this build (build/host/qwpack
// next to build/win32/launcher.exe).
std::string FindDefaultStub() {
  char self[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "";
  self[length] = '\0';
  std::string here = DirectoryOf(self);
  for (const std::string& candidate : {here + "/" + kStubName, here + "/../win32/" + kStubName})
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  return "";
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// <folder name>.exe in the current directory.
std::string DefaultOutput(const std::string& folder) {
  std::string name = RealPath(folder);
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  name = name.substr(name.rfind('/') + 1);
  return (name.empty() ? std::string("package") : name) + ".exe";
}

void PrintSummary(const std::string& output, const PackReport& report, double seconds,
                  unsigned threads) {
  double ratio = report.inputBytes ? 100.0 * report.packageBytes / report.inputBytes : 0;
  printf("%s: %zu files, %llu bytes -> package %llu bytes (%.1f%%), launcher %llu bytes\n",
         output.c_str(), report.files, static_cast<unsigned long long>(report.inputBytes),
         static_cast<unsigned long long>(report.packageBytes), ratio,
         static_cast<unsigned long long>(report.launcherBytes));
  double mbps = seconds > 0 ? report.inputBytes / seconds / 1e6 : 0;
  printf("%llu of %llu blocks coded; %.2f s on %u threads, %.1f MB/s\n",
         static_cast<unsigned long long>(report.codedBlocks),
         static_cast<unsigned long long>(report.blocks), seconds, threads, mbps);
}

}  // namespace

int RunPack(int argc, char** argv) {
  CLI::App app(
      "Pack a folder into a launcher: the launcher stub, its package locator filled in, and\n"
      "the folder's files appended as a package. Names are converted from UTF-8 to the\n"
      "ANSI code page; the launcher is the same on any machine and at any thread count.",
      "qwpack pack");
  std::string folder, output, stubPath;
  bool store = false, strict = false;
  unsigned threads = std::thread::hardware_concurrency();
  unsigned codePage = kDefaultPackCodePage;
  app.add_option("DIR", folder, "the folder to pack; its top should hold QWSetup.exe")->required();
  app.add_option("-o,--output", output, "the launcher to write (default: ./<DIR name>.exe)");
  app.add_option("--stub", stubPath,
                 "the program to append the package to (default: the project's 32-bit "
                 "launcher.exe, beside qwpack or in ../win32/)");
  app.add_flag("--store", store, "keep every block plain (no LZ coding)");
  app.add_flag("--strict", strict,
               "refuse paths that pass Windows' 259 characters behind a typical workspace, "
               "instead of warning of them");
  app.add_option("--threads", threads, "coding threads (default: every core)")
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--codepage", codePage,
                 "ANSI code page for the names in the package (default 936)");
  CLI11_PARSE(app, argc, argv);
  if (threads == 0) threads = 1;

  if (output.empty()) output = DefaultOutput(folder);
  if (stubPath.empty()) stubPath = FindDefaultStub();
  if (stubPath.empty()) {
    fprintf(stderr,
            "qwpack: no launcher stub: build the win32 preset (build/win32/%s) or name one "
            "with --stub\n",
            kStubName);
    return 1;
  }
  PackOptions options;
  options.folder = folder;
  options.output = output;
  options.codePage = codePage;
  options.threads = threads;
  options.store = store;
  options.strict = strict;
  if (!ReadWholeFile(stubPath, &options.stub)) {
    fprintf(stderr, "qwpack: cannot read the launcher stub %s\n", stubPath.c_str());
    return 1;
  }
  ProgressBar bar("pack", 100);
  options.progress = [&bar](uint64_t done, uint64_t total) {
    bar.Update(total ? done * 100 / total : 100);
  };

  auto start = std::chrono::steady_clock::now();
  PackReport report;
  std::string problem = PackFolder(options, &report);
  if (!problem.empty()) {
    fprintf(stderr, "qwpack: cannot pack %s into %s:\n%s\n", folder.c_str(), output.c_str(),
            problem.c_str());
    return 1;
  }
  bar.Finish();
  for (const std::string& warning : report.warnings)
    fprintf(stderr, "qwpack: warning: %s\n", warning.c_str());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  PrintSummary(output, report, seconds, threads);
  return 0;
}
