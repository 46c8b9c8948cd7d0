// Deterministic test data of the kinds installation folders hold.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

// `n` letters from 'a' on, of an alphabet of `alphabet` (256: any byte).
inline std::vector<uint8_t> RandomBytes(size_t n, unsigned alphabet, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>('a' + rng() % alphabet);
  return out;
}

// Words of a small vocabulary, in lines.
inline std::vector<uint8_t> TextLike(size_t n, uint32_t seed) {
  static const char* const kWords[] = {"the ",    "setup ",  "file ",   "install ", "of ",
                                       "window ", "error ",  "path ",   "data ",    "and ",
                                       "\r\n",    "config ", "version "};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  while (out.size() < n) {
    const char* word = kWords[rng() % 13];
    out.insert(out.end(), word, word + strlen(word));
  }
  out.resize(n);
  return out;
}
