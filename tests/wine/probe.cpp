// The Wine suite's first program of each build: it only says that a program
// of its bitness starts, by writing "probe 32-bit" or "probe 64-bit" into the
// file named by its argument (a file, not a pipe: Wine's helper processes
// would keep a pipe open).
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FILE* report = fopen(argv[1], "w");
  if (!report) return 1;
  fprintf(report, "probe %u-bit\n", static_cast<unsigned>(sizeof(void*) * 8));
  return fclose(report) == 0 ? 0 : 1;
}
