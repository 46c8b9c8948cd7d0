// qwpack: the publisher's tool for self-extracting setup launchers.
#include <cstdio>
#include <cstring>

#include "qw_version.h"
#include "tools/qwpack/commands.h"

namespace {

struct Verb {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

const Verb kVerbs[] = {
    {"pack", RunPack, "pack a folder into a launcher"},
    {"extract", RunExtract, "unpack a launcher's package as the launcher would"},
    {"list", RunList, "list the entries of a launcher's package"},
    {"verify", RunVerify, "decode and check every entry, writing nothing"},
    {"bench", RunBench, "compare the codec with zlib, LZ4, libdeflate and zstd"},
};

void PrintUsage(FILE* out) {
  fprintf(out, "usage: qwpack <command> [options]\n\ncommands:\n");
  for (const Verb& verb : kVerbs) fprintf(out, "  %-8s %s\n", verb.name, verb.summary);
  fprintf(out,
          "\nqwpack <command> --help shows a command's options; qwpack --version its "
          "version.\n");
}

}  // namespace

int main(int argc, char** argv) {
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
