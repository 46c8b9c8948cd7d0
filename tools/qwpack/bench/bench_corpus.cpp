// std::mt19937 and the generators' own arithmetic are specified exactly, so
// the mix is the same everywhere (no std::*_distribution, whose results are
// left to the library).
#include "tools/qwpack/bench/bench_corpus.h"

#include <random>

namespace {

// Instruction-shaped bytes: opcodes from a small set, operands mostly from
// a small pool of constants and frame offsets, function bodies that recur
// (inlined helpers, prologues, epilogues) now and then with a byte changed,
// tables of ascending addresses, and padding between functions.
std::vector<uint8_t> ProgramLike(size_t size, std::mt19937* rng) {
  static const uint8_t kOpcodes[] = {0x8B, 0x89, 0x83, 0xE8, 0xFF, 0x85, 0x74, 0x75, 0x48,
                                     0x0F, 0xC3, 0x55, 0x5D, 0x50, 0x58, 0x33, 0x3B, 0xEB};
  uint32_t constants[64];
  for (uint32_t& constant : constants) constant = (*rng)() % 4 ? (*rng)() % 256 : (*rng)();
  std::vector<uint8_t> out;
  std::vector<std::vector<uint8_t>> functions;
  uint32_t address = 0x401000;
  while (out.size() < size) {
    uint32_t pick = (*rng)() % 100;
    if (pick < 40 && !functions.empty()) {  // a body seen before
      std::vector<uint8_t> body = functions[(*rng)() % functions.size()];
      if ((*rng)() % 2) body[(*rng)() % body.size()] = static_cast<uint8_t>((*rng)());
      out.insert(out.end(), body.begin(), body.end());
    } else if (pick < 45) {  // an address table
      for (uint32_t i = 0, count = 4 + (*rng)() % 28; i < count; i++) {
        address += 4 + (*rng)() % 64;
        for (int b = 0; b < 4; b++) out.push_back(static_cast<uint8_t>(address >> (8 * b)));
      }
    } else {  // a new body, padded to 16
      std::vector<uint8_t> body;
      for (uint32_t i = 0, count = 8 + (*rng)() % 120; i < count; i++) {
        body.push_back(kOpcodes[(*rng)() % sizeof kOpcodes]);
        uint32_t operand = (*rng)() % 8;
        if (operand < 4) body.push_back(static_cast<uint8_t>(0x45 + 8 * operand));
        uint32_t constant = constants[(*rng)() % 64];
        if (operand == 4)
          for (int b = 0; b < 4; b++) body.push_back(static_cast<uint8_t>(constant >> (8 * b)));
        if (operand == 5) body.push_back(static_cast<uint8_t>(constant));
      }
      while (body.size() % 16) body.push_back(0xCC);
      out.insert(out.end(), body.begin(), body.end());
      if (functions.size() < 256) functions.push_back(body);
      out.insert(out.end(), 16 * ((*rng)() % 4), 0);
    }
  }
  out.resize(size);
  return out;
}

// Lines of words from a vocabulary of 2000, skewed towards the first ones
// (the least of three uniform draws); a third of the lines repeat an
// earlier one with a word changed, as logs, licences and listings do.
std::vector<uint8_t> TextLike(size_t size, std::mt19937* rng) {
  std::vector<std::string> words;
  for (int i = 0; i < 2000; i++) {
    std::string word;
    for (uint32_t j = 0, length = 2 + (*rng)() % 8; j < length; j++)
      word += static_cast<char>('a' + (*rng)() % 26);
    words.push_back(word);
  }
  auto skewedWord = [&]() -> const std::string& {
    uint32_t a = (*rng)() % 2000, b = (*rng)() % 2000, c = (*rng)() % 2000;
    uint32_t least = a < b ? a : b;
    return words[least < c ? least : c];
  };
  std::vector<std::vector<std::string>> lines;
  std::vector<uint8_t> out;
  while (out.size() < size) {
    std::vector<std::string> line;
    if (!lines.empty() && (*rng)() % 3 == 0) {
      line = lines[lines.size() - 1 - (*rng)() % (lines.size() < 200 ? lines.size() : 200)];
      line[(*rng)() % line.size()] = skewedWord();
    } else {
      for (size_t length = 0; length < 72;) {
        line.push_back(skewedWord());
        length += line.back().size() + 1;
      }
    }
    for (size_t i = 0; i < line.size(); i++) {
      if (i) out.push_back(' ');
      out.insert(out.end(), line[i].begin(), line[i].end());
    }
    out.push_back('\r');
    out.push_back('\n');
    lines.push_back(line);
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> Incompressible(size_t size, std::mt19937* rng) {
  std::vector<uint8_t> out(size);
  for (uint8_t& byte : out) byte = static_cast<uint8_t>((*rng)() >> 24);
  return out;
}

}  // namespace

std::vector<BenchFile> BuiltInBenchMix(size_t bytesEach) {
  std::mt19937 rng(20240607);
  std::vector<BenchFile> mix;
  mix.push_back({"program-like", ProgramLike(bytesEach, &rng)});
  mix.push_back({"text-like", TextLike(bytesEach, &rng)});
  mix.push_back({"incompressible", Incompressible(bytesEach, &rng)});
  return mix;
}
