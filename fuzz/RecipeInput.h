// Reads a structure-aware fuzz input field by field: the recipe targets
// take small numbers, texts and byte strings from it instead of treating
// the whole input as an image. Past the end every read yields zeros or
// empty values, so any input, however short, is a complete recipe.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

class CRecipeInput {
 public:
  CRecipeInput(const uint8_t* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}

  bool AtEnd() const { return m_nAt >= m_nSize; }
  // Bytes read so far (at most the input's size).
  size_t Position() const { return m_nAt < m_nSize ? m_nAt : m_nSize; }
  uint8_t U8() { return m_nAt < m_nSize ? m_pData[m_nAt++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | U8() << 8); }
  uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
  // A number in [0, nCount); 0 when nCount is 0.
  uint32_t Pick(uint32_t nCount) { return nCount ? U8() % nCount : 0; }
  // Up to nMax bytes, the count taken first.
  std::vector<uint8_t> Bytes(size_t nMax) { return Exactly(U8() % (nMax + 1)); }
  std::vector<uint8_t> Exactly(size_t nCount) {
    std::vector<uint8_t> vec;
    while (vec.size() < nCount) vec.push_back(U8());
    return vec;
  }
  std::string Text(size_t nMax) {
    const std::vector<uint8_t> vec = Bytes(nMax);
    return std::string(vec.begin(), vec.end());
  }
  std::string TextOf(size_t nCount) {
    const std::vector<uint8_t> vec = Exactly(nCount);
    return std::string(vec.begin(), vec.end());
  }

 private:
  const uint8_t* m_pData;
  size_t m_nSize;
  size_t m_nAt = 0;
};
