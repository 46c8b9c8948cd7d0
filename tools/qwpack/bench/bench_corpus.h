// The data qwpack bench measures when given no files: a fixed, generated mix
// of what installation folders hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BenchFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Three files of `bytesEach`: program-like (instruction-shaped bytes, tables,
// padding), text-like (words of a skewed vocabulary in lines) and
// incompressible (random bytes). The same bytes on every machine.
std::vector<BenchFile> BuiltInBenchMix(size_t bytesEach);
