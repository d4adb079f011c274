// Inputs shared by the codec's tests, the cross-checks against the
// archiving tools and the benchmark: each kind stresses a different part of
// the encoder (literal trees, long matches, the window's far end).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace lh5test {

// Small deterministic generator, so failures reproduce.
inline uint32_t NextRandom(uint32_t* pdwState) {
  *pdwState = *pdwState * 1664525u + 1013904223u;
  return *pdwState >> 8;
}

// English-like text: words from a small vocabulary, lines of varying length.
inline std::vector<uint8_t> Text(size_t n, uint32_t dwSeed = 1) {
  static const char* const kWords[] = {
      "flash", "block", "erase", "the",  "module", "image", "checksum", "of",   "boot",
      "write", "and",   "setup", "BIOS", "update", "part",  "verify",   "data", "is",
      "ROM",   "table", "a",     "to",   "size",   "read",  "offset",   "when", "board"};
  std::vector<uint8_t> vec;
  vec.reserve(n);
  uint32_t dw = dwSeed;
  while (vec.size() < n) {
    std::string strWord = kWords[NextRandom(&dw) % (sizeof(kWords) / sizeof(kWords[0]))];
    strWord += (NextRandom(&dw) % 11 == 0) ? ".\n" : " ";
    for (char ch : strWord)
      if (vec.size() < n) vec.push_back(static_cast<uint8_t>(ch));
  }
  return vec;
}

inline std::vector<uint8_t> Random(size_t n, uint32_t dwSeed = 7) {
  std::vector<uint8_t> vec(n);
  uint32_t dw = dwSeed;
  for (uint8_t& by : vec) by = static_cast<uint8_t>(NextRandom(&dw));
  return vec;
}

// Random bytes drawn from 16 values: compressible by Huffman coding alone.
inline std::vector<uint8_t> SmallAlphabet(size_t n, uint32_t dwSeed = 3) {
  std::vector<uint8_t> vec(n);
  uint32_t dw = dwSeed;
  for (uint8_t& by : vec) by = static_cast<uint8_t>('a' + NextRandom(&dw) % 16);
  return vec;
}

// Long runs and a short repeating pattern: matches of the full 256 bytes.
inline std::vector<uint8_t> Repetitive(size_t n) {
  std::vector<uint8_t> vec(n);
  for (size_t i = 0; i < n; ++i)
    vec[i] = (i / 4096) % 2 ? static_cast<uint8_t>("ABCDEFG"[i % 7]) : 0xFF;
  return vec;
}

// Random bytes repeating every 8192 bytes: the only matches reach exactly
// the dictionary's full distance.
inline std::vector<uint8_t> WindowPeriodic(size_t n) {
  std::vector<uint8_t> vecBase = Random(8192, 11);
  std::vector<uint8_t> vec(n);
  for (size_t i = 0; i < n; ++i) vec[i] = vecBase[i % 8192];
  return vec;
}

// Byte values with geometrically falling frequencies (each about 0.6 of the
// one before): an unlimited Huffman tree for them is deeper than 16 bits.
inline std::vector<uint8_t> Skewed(size_t n, uint32_t dwSeed = 5) {
  std::vector<uint8_t> vec(n);
  uint32_t dw = dwSeed;
  for (uint8_t& by : vec) {
    uint8_t bySymbol = 0;
    while (bySymbol < 40 && NextRandom(&dw) % 1000 < 618) ++bySymbol;
    by = static_cast<uint8_t>(bySymbol * 5 + NextRandom(&dw) % 5);  // 5 values per rank
  }
  return vec;
}

}  // namespace lh5test
