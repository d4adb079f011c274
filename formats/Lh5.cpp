#include "formats/Lh5.h"

#include <string.h>

#include <algorithm>
#include <queue>
#include <utility>

using namespace lh5;

namespace {

// Bits in the header fields of the three trees.
constexpr unsigned kLengthCountBits = 5;    // count of code-length-tree lengths
constexpr unsigned kCharCountBits = 9;      // count of literal/length-tree lengths
constexpr unsigned kPositionCountBits = 4;  // count of position-tree lengths
// After the third code-length-tree length comes a 2-bit count of zero
// lengths that follow (symbols 3..5 are rarely used).
constexpr unsigned kLengthSkipAfter = 3;
constexpr unsigned kNoSkip = ~0u;

// ----------------------------------------------------------------------
// Decoding
// ----------------------------------------------------------------------

// Reads bits most significant first. Past the end of the input it supplies
// zero bits but remembers that it did, so that a caller can refuse a stream
// whose codes needed more bits than it had; it never reads outside the
// input.
class CBitReader {
 public:
  CBitReader(const uint8_t* pIn, size_t nIn) : m_pIn(pIn), m_nIn(nIn) {}

  // The next nBits (0..16) bits, not consumed.
  uint32_t Peek(unsigned nBits) {
    Fill();
    return nBits ? static_cast<uint32_t>(m_qwBits >> (64 - nBits)) : 0;
  }
  void Skip(unsigned nBits) {
    m_qwBits <<= nBits;
    m_nBits -= nBits;
  }
  uint32_t Get(unsigned nBits) {
    uint32_t dw = Peek(nBits);
    Skip(nBits);
    return dw;
  }
  // True when more bits were consumed than the input holds.
  bool Overrun() const {
    return static_cast<uint64_t>(m_nLoaded) * 8 - m_nBits > static_cast<uint64_t>(m_nIn) * 8;
  }
  // True when every bit not yet consumed, to the end of the input, is 0.
  bool RestIsZero() const {
    if (m_qwBits != 0) return false;  // bits below the buffered ones are kept 0
    for (size_t n = m_nLoaded; n < m_nIn; ++n)
      if (m_pIn[n] != 0) return false;
    return true;
  }

 private:
  void Fill() {
    while (m_nBits <= 56) {
      uint64_t qwByte = m_nLoaded < m_nIn ? m_pIn[m_nLoaded] : 0;
      m_qwBits |= qwByte << (56 - m_nBits);
      m_nBits += 8;
      ++m_nLoaded;  // counts the zero bytes supplied past the end too
    }
  }

  const uint8_t* m_pIn;
  size_t m_nIn;
  size_t m_nLoaded = 0;   // bytes moved into m_qwBits, including padding
  uint64_t m_qwBits = 0;  // left-aligned: the next bit is bit 63
  unsigned m_nBits = 0;   // valid bits in m_qwBits
};

// A canonical Huffman code (shorter codes first, then by symbol) decoded
// through a table of the first kFastBits bits; longer codes are found by
// comparing against the first code of each length.
class CHuffmanTable {
 public:
  // A one-symbol tree: the symbol takes no bits at all.
  void BuildSingle(uint16_t wSymbol) {
    m_bSingle = true;
    m_wSingle = wSymbol;
  }

  // Builds from code lengths (0 = unused, at most kMaxCodeBits). False
  // when the lengths are over-subscribed or leave codes unassigned: such a
  // tree either decodes ambiguously or lets a bit pattern decode to
  // nothing.
  bool Build(const uint8_t* pbyLen, unsigned nSymbols) {
    m_bSingle = false;
    uint32_t adwCount[kMaxCodeBits + 1] = {};
    for (unsigned n = 0; n < nSymbols; ++n) {
      if (pbyLen[n] > kMaxCodeBits) return false;
      ++adwCount[pbyLen[n]];
    }
    uint32_t dwKraft = 0;  // in units of 2^-16
    for (unsigned nLen = 1; nLen <= kMaxCodeBits; ++nLen)
      dwKraft += adwCount[nLen] << (kMaxCodeBits - nLen);
    if (dwKraft != (1u << kMaxCodeBits)) return false;

    uint32_t dwCode = 0;
    uint32_t dwIndex = 0;
    uint32_t adwNext[kMaxCodeBits + 1] = {};
    for (unsigned nLen = 1; nLen <= kMaxCodeBits; ++nLen) {
      m_adwFirst[nLen] = dwCode;
      m_adwLimit[nLen] = dwCode + adwCount[nLen];
      m_adwIndex[nLen] = dwIndex;
      adwNext[nLen] = dwIndex;
      dwIndex += adwCount[nLen];
      dwCode = (dwCode + adwCount[nLen]) << 1;
    }
    std::fill(std::begin(m_adwFast), std::end(m_adwFast), 0u);
    for (unsigned n = 0; n < nSymbols; ++n) {
      unsigned nLen = pbyLen[n];
      if (nLen == 0) continue;
      uint32_t dwSymbolCode = m_adwFirst[nLen] + (adwNext[nLen] - m_adwIndex[nLen]);
      m_awSorted[adwNext[nLen]++] = static_cast<uint16_t>(n);
      if (nLen <= kFastBits) {
        uint32_t dwFirst = dwSymbolCode << (kFastBits - nLen);
        uint32_t dwEntry = (nLen << 16) | n;
        for (uint32_t dw = 0; dw < (1u << (kFastBits - nLen)); ++dw)
          m_adwFast[dwFirst + dw] = dwEntry;
      }
    }
    return true;
  }

  unsigned Decode(CBitReader& reader) const {
    if (m_bSingle) return m_wSingle;
    uint32_t dwPeek = reader.Peek(kMaxCodeBits);
    uint32_t dwEntry = m_adwFast[dwPeek >> (kMaxCodeBits - kFastBits)];
    if (dwEntry) {
      reader.Skip(dwEntry >> 16);
      return dwEntry & 0xFFFF;
    }
    for (unsigned nLen = kFastBits + 1; nLen <= kMaxCodeBits; ++nLen) {
      uint32_t dwCode = dwPeek >> (kMaxCodeBits - nLen);
      if (dwCode < m_adwLimit[nLen]) {
        reader.Skip(nLen);
        return m_awSorted[m_adwIndex[nLen] + dwCode - m_adwFirst[nLen]];
      }
    }
    return 0;  // not reached: Build accepts complete codes only
  }

 private:
  static constexpr unsigned kFastBits = 10;
  bool m_bSingle = true;
  uint16_t m_wSingle = 0;
  uint32_t m_adwFirst[kMaxCodeBits + 1] = {};  // first code of each length
  uint32_t m_adwLimit[kMaxCodeBits + 1] = {};  // first code past each length
  uint32_t m_adwIndex[kMaxCodeBits + 1] = {};  // m_awSorted index of each first code
  uint16_t m_awSorted[kCharCodes] = {};        // symbols by code
  uint32_t m_adwFast[1u << kFastBits] = {};    // (length << 16) | symbol; 0 = longer code
};

class CLh5Decoder {
 public:
  CLh5Decoder(const uint8_t* pIn, size_t nIn) : m_reader(pIn, nIn) {}

  bool Decode(uint8_t* pOut, size_t nOut) {
    size_t nDone = 0;
    uint32_t dwLeft = 0;  // codes left in the current block
    while (nDone < nOut) {
      if (dwLeft == 0) {
        dwLeft = m_reader.Get(16);
        if (dwLeft == 0 || !ReadTrees() || m_reader.Overrun()) return false;
      }
      --dwLeft;
      unsigned nChar = m_chars.Decode(m_reader);
      if (nChar < 256) {
        pOut[nDone++] = static_cast<uint8_t>(nChar);
      } else {
        size_t nLength = nChar - 256 + kMinMatch;
        unsigned nBits = m_positions.Decode(m_reader);
        size_t nDistance = 1;
        if (nBits > 0) nDistance += (size_t{1} << (nBits - 1)) + m_reader.Get(nBits - 1);
        if (nDistance > nDone || nLength > nOut - nDone) return false;
        const uint8_t* pFrom = pOut + nDone - nDistance;
        uint8_t* pTo = pOut + nDone;
        for (size_t n = 0; n < nLength; ++n) pTo[n] = pFrom[n];  // may overlap forwards
        nDone += nLength;
      }
      if (m_reader.Overrun()) return false;
    }
    return dwLeft == 0 && !m_reader.Overrun() && m_reader.RestIsZero();
  }

 private:
  bool ReadTrees() {
    return ReadShortLengths(&m_lengths, kLengthCodes, kLengthCountBits, kLengthSkipAfter) &&
           ReadCharLengths() &&
           ReadShortLengths(&m_positions, kPositionCodes, kPositionCountBits, kNoSkip);
  }

  // Code-length and position trees: 3-bit lengths, 7 followed by one 1 bit
  // per further length step and a closing 0.
  bool ReadShortLengths(CHuffmanTable* pTable, unsigned nSymbols, unsigned nCountBits,
                        unsigned nSkipAfter) {
    unsigned nCount = m_reader.Get(nCountBits);
    if (nCount == 0) {
      unsigned nSymbol = m_reader.Get(nCountBits);
      if (nSymbol >= nSymbols) return false;
      pTable->BuildSingle(static_cast<uint16_t>(nSymbol));
      return true;
    }
    if (nCount > nSymbols) return false;
    uint8_t abyLen[kLengthCodes] = {};
    unsigned n = 0;
    while (n < nCount) {
      unsigned nLen = m_reader.Get(3);
      if (nLen == 7) {
        while (m_reader.Get(1)) {
          if (++nLen > kMaxCodeBits) return false;
        }
      }
      abyLen[n++] = static_cast<uint8_t>(nLen);
      if (n == nSkipAfter) {
        // Zero lengths beyond the count are zero anyway; encoders may
        // name them when the count is 3.
        for (unsigned nZeros = m_reader.Get(2); nZeros > 0 && n < nCount; --nZeros) abyLen[n++] = 0;
      }
    }
    return pTable->Build(abyLen, nSymbols);
  }

  // The literal/length tree: its lengths coded with the code-length tree;
  // symbols 0..2 stand for runs of zero lengths, 3..18 for lengths 1..16.
  bool ReadCharLengths() {
    unsigned nCount = m_reader.Get(kCharCountBits);
    if (nCount == 0) {
      unsigned nSymbol = m_reader.Get(kCharCountBits);
      if (nSymbol >= kCharCodes) return false;
      m_chars.BuildSingle(static_cast<uint16_t>(nSymbol));
      return true;
    }
    if (nCount > kCharCodes) return false;
    uint8_t abyLen[kCharCodes] = {};
    unsigned n = 0;
    while (n < nCount) {
      unsigned nCode = m_lengths.Decode(m_reader);
      if (nCode <= 2) {
        unsigned nZeros = nCode == 0   ? 1
                          : nCode == 1 ? m_reader.Get(4) + 3
                                       : m_reader.Get(kCharCountBits) + 20;
        if (nZeros > nCount - n) return false;
        n += nZeros;  // abyLen is zeroed
      } else {
        abyLen[n++] = static_cast<uint8_t>(nCode - 2);
      }
    }
    return m_chars.Build(abyLen, kCharCodes);
  }

  CBitReader m_reader;
  CHuffmanTable m_lengths;
  CHuffmanTable m_chars;
  CHuffmanTable m_positions;
};

// ----------------------------------------------------------------------
// Encoding
// ----------------------------------------------------------------------

class CBitWriter {
 public:
  explicit CBitWriter(std::vector<uint8_t>* pvecOut) : m_pvecOut(pvecOut) {}
  void Put(unsigned nBits, uint32_t dwValue) {  // nBits 0..24
    m_qwBits = (m_qwBits << nBits) | (dwValue & ((1u << nBits) - 1));
    m_nBits += nBits;
    while (m_nBits >= 8) {
      m_nBits -= 8;
      m_pvecOut->push_back(static_cast<uint8_t>(m_qwBits >> m_nBits));
    }
    m_qwBits &= (1u << m_nBits) - 1;
  }
  void Flush() {  // pads the last byte with 0 bits
    if (m_nBits) Put(8 - m_nBits, 0);
  }

 private:
  std::vector<uint8_t>* m_pvecOut;
  uint64_t m_qwBits = 0;
  unsigned m_nBits = 0;
};

// Huffman code lengths for the frequencies, none longer than kMaxCodeBits.
// When the tree grows too deep the frequencies are halved (keeping every
// used symbol at 1 or more) and the tree rebuilt; the flatter distribution
// gives a shallower tree, and a uniform one of at most 510 symbols needs 9
// bits. Returns the number of used symbols.
}  // namespace

unsigned lh5::MakeCodeLengths(const uint32_t* pdwFreq, unsigned nSymbols, uint8_t* pbyLen) {
  std::vector<uint32_t> vecFreq(pdwFreq, pdwFreq + nSymbols);
  std::fill(pbyLen, pbyLen + nSymbols, 0);
  unsigned nUsed = 0;
  for (uint32_t dw : vecFreq) nUsed += dw != 0;
  if (nUsed < 2) return nUsed;
  for (;;) {
    // Nodes 0..nSymbols-1 are leaves; the parent of each node is recorded
    // as the inner nodes are created.
    using SItem = std::pair<uint64_t, unsigned>;  // weight, node
    std::priority_queue<SItem, std::vector<SItem>, std::greater<SItem>> queue;
    std::vector<unsigned> vecParent(nSymbols * 2, 0);
    for (unsigned n = 0; n < nSymbols; ++n)
      if (vecFreq[n]) queue.push({vecFreq[n], n});
    unsigned nNext = nSymbols;
    while (queue.size() > 1) {
      SItem a = queue.top();
      queue.pop();
      SItem b = queue.top();
      queue.pop();
      vecParent[a.second] = nNext;
      vecParent[b.second] = nNext;
      queue.push({a.first + b.first, nNext++});
    }
    unsigned nRoot = queue.top().second;
    std::vector<unsigned> vecDepth(nSymbols * 2, 0);
    unsigned nMax = 0;
    for (unsigned n = nRoot + 1; n-- > nSymbols;)  // parents are created after children
      vecDepth[n] = n == nRoot ? 0 : vecDepth[vecParent[n]] + 1;
    for (unsigned n = 0; n < nSymbols; ++n) {
      if (!vecFreq[n]) continue;
      unsigned nDepth = vecDepth[vecParent[n]] + 1u;
      pbyLen[n] = static_cast<uint8_t>(std::min(nDepth, 255u));
      nMax = std::max(nMax, nDepth);
    }
    if (nMax <= kMaxCodeBits) return nUsed;
    for (uint32_t& dw : vecFreq)
      if (dw) dw = (dw + 1) / 2;
  }
}

namespace {

// Canonical codes for the lengths (the decoder's assignment).
void MakeCodes(const uint8_t* pbyLen, unsigned nSymbols, uint16_t* pwCode) {
  uint32_t adwCount[kMaxCodeBits + 1] = {};
  for (unsigned n = 0; n < nSymbols; ++n) ++adwCount[pbyLen[n]];
  adwCount[0] = 0;
  uint32_t adwNext[kMaxCodeBits + 2] = {};
  for (unsigned nLen = 1; nLen <= kMaxCodeBits; ++nLen)
    adwNext[nLen + 1] = (adwNext[nLen] + adwCount[nLen]) << 1;
  for (unsigned n = 0; n < nSymbols; ++n)
    pwCode[n] = pbyLen[n] ? static_cast<uint16_t>(adwNext[pbyLen[n]]++) : 0;
}

unsigned PositionBits(unsigned nOffset) {  // bit length of distance - 1
  unsigned nBits = 0;
  while (nOffset >> nBits) ++nBits;
  return nBits;
}

struct SCode {
  uint16_t wChar;    // literal byte, or 256 + length - 3
  uint16_t wOffset;  // distance - 1 for a match
};

class CBlockWriter {
 public:
  explicit CBlockWriter(std::vector<uint8_t>* pvecOut) : m_writer(pvecOut) {}

  void Write(const std::vector<SCode>& vecCodes) {
    uint32_t adwCharFreq[kCharCodes] = {};
    uint32_t adwPosFreq[kPositionCodes] = {};
    for (const SCode& code : vecCodes) {
      ++adwCharFreq[code.wChar];
      if (code.wChar >= 256) ++adwPosFreq[PositionBits(code.wOffset)];
    }
    uint8_t abyCharLen[kCharCodes];
    uint8_t abyPosLen[kPositionCodes];
    uint16_t awCharCode[kCharCodes];
    uint16_t awPosCode[kPositionCodes];
    unsigned nChars = MakeCodeLengths(adwCharFreq, kCharCodes, abyCharLen);
    unsigned nPositions = MakeCodeLengths(adwPosFreq, kPositionCodes, abyPosLen);
    MakeCodes(abyCharLen, kCharCodes, awCharCode);
    MakeCodes(abyPosLen, kPositionCodes, awPosCode);

    m_writer.Put(16, static_cast<uint32_t>(vecCodes.size()));
    if (nChars == 1) {
      // One symbol: an empty code-length tree (symbol 0) and the symbol.
      m_writer.Put(kLengthCountBits, 0);
      m_writer.Put(kLengthCountBits, 0);
      m_writer.Put(kCharCountBits, 0);
      m_writer.Put(kCharCountBits, FirstUsed(adwCharFreq, kCharCodes));
    } else {
      WriteCharLengths(abyCharLen);
    }
    if (nPositions <= 1) {
      m_writer.Put(kPositionCountBits, 0);
      m_writer.Put(kPositionCountBits, nPositions ? FirstUsed(adwPosFreq, kPositionCodes) : 0);
    } else {
      WriteShortLengths(abyPosLen, kPositionCodes, kPositionCountBits, kNoSkip);
    }
    for (const SCode& code : vecCodes) {
      m_writer.Put(abyCharLen[code.wChar], awCharCode[code.wChar]);
      if (code.wChar < 256) continue;
      unsigned nBits = PositionBits(code.wOffset);
      m_writer.Put(abyPosLen[nBits], awPosCode[nBits]);
      if (nBits > 1) m_writer.Put(nBits - 1, code.wOffset);  // the top bit is implied
    }
  }

  void Flush() { m_writer.Flush(); }

 private:
  static unsigned FirstUsed(const uint32_t* pdwFreq, unsigned nSymbols) {
    unsigned n = 0;
    while (n < nSymbols && !pdwFreq[n]) ++n;
    return n;
  }

  void WriteShortLengths(const uint8_t* pbyLen, unsigned nSymbols, unsigned nCountBits,
                         unsigned nSkipAfter) {
    unsigned nCount = nSymbols;
    while (nCount > 0 && pbyLen[nCount - 1] == 0) --nCount;
    m_writer.Put(nCountBits, nCount);
    unsigned n = 0;
    while (n < nCount) {
      unsigned nLen = pbyLen[n++];
      if (nLen <= 6)
        m_writer.Put(3, nLen);
      else
        m_writer.Put(nLen - 3, (1u << (nLen - 3)) - 2);  // 111, nLen - 7 ones, 0
      if (n == nSkipAfter) {
        unsigned nZeros = 0;
        while (n + nZeros < nCount && nZeros < 3 && pbyLen[n + nZeros] == 0) ++nZeros;
        m_writer.Put(2, nZeros);
        n += nZeros;
      }
    }
  }

  // Runs of zero lengths in the literal/length tree's lengths, as the
  // code-length tree's symbols 0..2 (with their extra bits) or as lengths
  // (symbol = length + 2). Calls pfn(symbol, extra bits, extra value).
  template <typename F>
  static void WalkCharLengths(const uint8_t* pbyLen, unsigned nCount, F pfn) {
    unsigned n = 0;
    while (n < nCount) {
      unsigned nLen = pbyLen[n++];
      if (nLen) {
        pfn(nLen + 2, 0, 0);
        continue;
      }
      unsigned nZeros = 1;
      while (n < nCount && pbyLen[n] == 0) ++n, ++nZeros;
      if (nZeros <= 2) {
        for (unsigned k = 0; k < nZeros; ++k) pfn(0, 0, 0);
      } else if (nZeros <= 18) {
        pfn(1, 4, nZeros - 3);
      } else if (nZeros == 19) {
        pfn(0, 0, 0);
        pfn(1, 4, 15);
      } else {
        pfn(2, kCharCountBits, nZeros - 20);  // nZeros <= 510
      }
    }
  }

  void WriteCharLengths(const uint8_t* pbyCharLen) {
    unsigned nCount = kCharCodes;
    while (nCount > 0 && pbyCharLen[nCount - 1] == 0) --nCount;
    uint32_t adwFreq[kLengthCodes] = {};
    WalkCharLengths(pbyCharLen, nCount,
                    [&](unsigned nSym, unsigned, unsigned) { ++adwFreq[nSym]; });
    uint8_t abyLen[kLengthCodes];
    uint16_t awCode[kLengthCodes];
    unsigned nUsed = MakeCodeLengths(adwFreq, kLengthCodes, abyLen);
    MakeCodes(abyLen, kLengthCodes, awCode);
    if (nUsed == 1) {
      m_writer.Put(kLengthCountBits, 0);
      m_writer.Put(kLengthCountBits, FirstUsed(adwFreq, kLengthCodes));
    } else {
      WriteShortLengths(abyLen, kLengthCodes, kLengthCountBits, kLengthSkipAfter);
    }
    m_writer.Put(kCharCountBits, nCount);
    WalkCharLengths(pbyCharLen, nCount, [&](unsigned nSym, unsigned nBits, unsigned nValue) {
      m_writer.Put(abyLen[nSym], awCode[nSym]);
      m_writer.Put(nBits, nValue);
    });
  }

  CBitWriter m_writer;
};

// Longest earlier match within the dictionary, found over hash chains of
// 3-byte prefixes.
class CMatchFinder {
 public:
  CMatchFinder(const uint8_t* pIn, size_t n)
      : m_pIn(pIn), m_n(n), m_vecHead(kHashSize, -1), m_vecPrev(kDictionaryBytes, -1) {}

  // Length (0 when under kMinMatch) and distance of the best match at nPos.
  size_t Find(size_t nPos, size_t* pnDistance) const {
    if (m_n - nPos < kMinMatch) return 0;
    size_t nMax = std::min(kMaxMatch, m_n - nPos);
    size_t nBest = 0;
    int64_t nCand = m_vecHead[Hash(nPos)];
    const uint8_t* pCur = m_pIn + nPos;
    for (unsigned nChain = 0; nCand >= 0 && nChain < kMaxChain; ++nChain) {
      size_t nDistance = nPos - static_cast<size_t>(nCand);
      if (nDistance > kDictionaryBytes) break;
      const uint8_t* pOld = m_pIn + nCand;
      if (pOld[nBest] == pCur[nBest] || nBest == 0) {
        size_t nLen = 0;
        while (nLen < nMax && pOld[nLen] == pCur[nLen]) ++nLen;
        if (nLen > nBest) {
          nBest = nLen;
          *pnDistance = nDistance;
          if (nLen == nMax) break;
        }
      }
      int64_t nNext = m_vecPrev[static_cast<size_t>(nCand) % kDictionaryBytes];
      if (nNext >= nCand) break;
      nCand = nNext;
    }
    return nBest >= kMinMatch ? nBest : 0;
  }

  void Insert(size_t nPos) {
    if (m_n - nPos < kMinMatch) return;
    uint32_t dwHash = Hash(nPos);
    m_vecPrev[nPos % kDictionaryBytes] = m_vecHead[dwHash];
    m_vecHead[dwHash] = static_cast<int64_t>(nPos);
  }

 private:
  static constexpr size_t kHashSize = 1u << 15;
  static constexpr unsigned kMaxChain = 128;  // candidates tried per position

  uint32_t Hash(size_t nPos) const {
    uint32_t dw = m_pIn[nPos] | (m_pIn[nPos + 1] << 8) | (m_pIn[nPos + 2] << 16);
    return (dw * 2654435761u) >> 17;
  }

  const uint8_t* m_pIn;
  size_t m_n;
  std::vector<int64_t> m_vecHead;
  std::vector<int64_t> m_vecPrev;  // previous position of the same hash, by position % dictionary
};

}  // namespace

bool Lh5Decode(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut) {
  if ((!pIn && nIn) || (!pOut && nOut)) return false;
  CLh5Decoder decoder(pIn, nIn);
  return decoder.Decode(pOut, nOut);
}

std::vector<uint8_t> Lh5Encode(const uint8_t* pIn, size_t n) {
  std::vector<uint8_t> vecOut;
  if (!pIn || n == 0) return vecOut;
  vecOut.reserve(n / 2 + 64);
  CBlockWriter block(&vecOut);
  CMatchFinder finder(pIn, n);
  // Codes per block: well under the 16-bit count, large enough for the
  // trees (at most about 300 bytes) to cost little.
  constexpr size_t kBlockCodes = 16384;
  std::vector<SCode> vecCodes;
  vecCodes.reserve(kBlockCodes);
  auto emit = [&](SCode code) {
    vecCodes.push_back(code);
    if (vecCodes.size() == kBlockCodes) {
      block.Write(vecCodes);
      vecCodes.clear();
    }
  };
  auto literal = [&](size_t nPos) { emit({pIn[nPos], 0}); };
  auto match = [&](size_t nLen, size_t nDistance) {
    emit({static_cast<uint16_t>(256 + nLen - kMinMatch), static_cast<uint16_t>(nDistance - 1)});
  };

  // One step of lazy evaluation: a match found at nPos - 1 is emitted only
  // when the match at nPos is no longer.
  size_t nPrevLen = 0, nPrevDistance = 0;
  bool bPending = false;  // the byte at nPos - 1 is not emitted yet
  size_t nPos = 0;
  while (nPos < n) {
    size_t nDistance = 0;
    size_t nLen = finder.Find(nPos, &nDistance);
    finder.Insert(nPos);
    if (bPending && nPrevLen >= kMinMatch && nLen <= nPrevLen) {
      match(nPrevLen, nPrevDistance);
      size_t nEnd = nPos - 1 + nPrevLen;
      for (size_t k = nPos + 1; k < nEnd; ++k) finder.Insert(k);
      nPos = nEnd;
      bPending = false;
      continue;
    }
    if (bPending) literal(nPos - 1);
    nPrevLen = nLen;
    nPrevDistance = nDistance;
    bPending = true;
    ++nPos;
  }
  if (bPending) {
    if (nPrevLen >= kMinMatch)
      match(nPrevLen, nPrevDistance);
    else
      literal(n - 1);
  }
  if (!vecCodes.empty()) block.Write(vecCodes);
  block.Flush();
  // One zero byte more: some decoders fetch a byte beyond the one holding
  // the last code's bits and, finding none, drop that code without an
  // error. Zero fill after the stream is padding to every decoder.
  vecOut.push_back(0);
  return vecOut;
}
