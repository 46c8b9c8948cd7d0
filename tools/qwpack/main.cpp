// qwpack: the publisher's tool for self-extracting setup launchers.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "qw_version.h"
#include "tools/qwpack/bench/bench_codecs.h"
#include "tools/qwpack/commands.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/qwpack/host/host_files.h"
#endif

namespace {

struct Verb {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

const Verb kVerbs[] = {
    {"pack", RunPack, "pack a folder into a launcher"},
    {"extract", RunExtract, "unpack a launcher's package as the launcher would"},
    {"list", RunList, "list a launcher's version resource and the entries of its package"},
    {"verify", RunVerify, "decode and check every entry, writing nothing"},
    {"bench", RunBench, "compare the codec with zlib, LZ4, libdeflate and zstd"},
};

void PrintUsage(FILE* out) {
  fprintf(out, "usage: qwpack <command> [options]\n\ncommands:\n");
  for (const Verb& verb : kVerbs) {
    bool bare = !strcmp(verb.name, "bench") && !BenchHasComparisonCodecs();
    fprintf(out, "  %-8s %s\n", verb.name,
            bare ? "measure the codec (this build has no comparison codecs)" : verb.summary);
  }
  fprintf(out,
          "\nqwpack <command> --help shows a command's options; qwpack --version its "
          "version.\n");
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h") || !strcmp(argv[1], "help")) {
    PrintUsage(stdout);
    return 0;
  }
  if (!strcmp(argv[1], "--version") || !strcmp(argv[1], "-V")) {
    printf("qwpack %s\n", QW_VERSION_STRING);
    return 0;
  }
  for (const Verb& verb : kVerbs)
    if (!strcmp(argv[1], verb.name)) return verb.run(argc - 1, argv + 1);
  fprintf(stderr, "qwpack: unknown command '%s'\n\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}

}  // namespace

#ifdef _WIN32
// The arguments arrive as UTF-16 and go on as UTF-8, as on Linux; the
// console shows UTF-8 for the run's length. Output to a file or a pipe is
// UTF-8 bytes.
int wmain(int argc, wchar_t** wideArgv) {
  std::vector<std::string> arguments(static_cast<size_t>(argc));
  for (int i = 0; i < argc; i++) arguments[i] = HostUtf8(wideArgv[i]);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  UINT consoleCodePage = GetConsoleOutputCP();  // 0 without a console
  if (consoleCodePage) SetConsoleOutputCP(CP_UTF8);
  int status = Main(argc, argv.data());
  fflush(stdout);
  fflush(stderr);
  if (consoleCodePage) SetConsoleOutputCP(consoleCodePage);
  return status;
}
#else
int main(int argc, char** argv) {
  return Main(argc, argv);
}
#endif
