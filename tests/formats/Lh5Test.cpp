// The "-lh5-" codec: round trips over inputs of every shape, and a decoder
// that refuses corrupt or mis-sized streams without reading or writing
// outside its buffers (each decode below gets heap buffers of the exact
// sizes, so AddressSanitizer sees any access past them).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/Lh5.h"
#include "tests/formats/Lh5TestData.h"

namespace {

using namespace lh5test;
using Bytes = std::vector<uint8_t>;

// Decodes from an exact-size copy of the input into an exact-size output.
bool Decode(const Bytes& vecIn, size_t nOut, Bytes* pvecOut = nullptr) {
  std::unique_ptr<uint8_t[]> pIn(new uint8_t[vecIn.size() + 1]);  // +1: never 0 bytes
  std::copy(vecIn.begin(), vecIn.end(), pIn.get());
  std::unique_ptr<uint8_t[]> pOut(new uint8_t[nOut + 1]);
  bool b = Lh5Decode(pIn.get(), vecIn.size(), pOut.get(), nOut);
  if (pvecOut) pvecOut->assign(pOut.get(), pOut.get() + nOut);
  return b;
}

// Hand-made streams, bit by bit, most significant bit first.
class CStreamBits {
 public:
  CStreamBits& Put(unsigned nBits, uint64_t qwValue) {  // nBits 0..64
    for (unsigned n = nBits; n-- > 0;) {
      if (m_nBit % 8 == 0) m_vec.push_back(0);
      if ((qwValue >> n) & 1) m_vec.back() |= static_cast<uint8_t>(0x80 >> (m_nBit % 8));
      ++m_nBit;
    }
    return *this;
  }
  // A block header whose three trees each have one symbol, so its codes
  // take no bits: nCount codes of nChar, matches at position symbol nPos.
  CStreamBits& SingleBlock(uint32_t nCount, uint32_t nChar, uint32_t nPos = 0) {
    return Put(16, nCount).Put(5, 0).Put(5, 0).Put(9, 0).Put(9, nChar).Put(4, 0).Put(4, nPos);
  }
  Bytes Bytes_() const { return m_vec; }

 private:
  Bytes m_vec;
  size_t m_nBit = 0;
};

struct SRoundTrip {
  const char* pszName;
  Bytes vecInput;
};

std::vector<SRoundTrip> RoundTripCases() {
  Bytes vecAllValues(256 * 3);
  for (size_t i = 0; i < vecAllValues.size(); ++i) vecAllValues[i] = static_cast<uint8_t>(i);
  return {
      {"Empty", {}},
      {"OneByte", {0x42}},
      {"TwoBytes", {0x00, 0xFF}},
      {"ThreeEqualBytes", {7, 7, 7}},
      {"ShortMatchAtEnd", {1, 2, 3, 4, 1, 2, 3}},
      {"AllByteValues", vecAllValues},
      {"Text10K", Text(10000)},
      {"TextExactlyWindow", Text(lh5::kDictionaryBytes)},
      {"TextWindowPlusOne", Text(lh5::kDictionaryBytes + 1)},
      {"Random100K", Random(100000)},
      {"Zeros100K", Bytes(100000, 0)},
      {"Repetitive300K", Repetitive(300000)},
      {"WindowPeriodic64K", WindowPeriodic(65536)},
      {"SmallAlphabet200K", SmallAlphabet(200000)},
      {"SkewedFrequencies300K", Skewed(300000)},
      {"Text1MiB", Text(1 << 20)},
      {"Random1MiB", Random(1 << 20)},
      {"Repetitive1MiB", Repetitive(1 << 20)},
  };
}

class Lh5RoundTrip : public ::testing::TestWithParam<SRoundTrip> {};

TEST_P(Lh5RoundTrip, DecodesToTheInputAndRefusesEveryOtherOutputSize) {
  const Bytes& vecIn = GetParam().vecInput;
  Bytes vecPacked = Lh5Encode(vecIn.data(), vecIn.size());
  Bytes vecOut;
  ASSERT_TRUE(Decode(vecPacked, vecIn.size(), &vecOut));
  EXPECT_TRUE(vecOut == vecIn);
  // A module header that declares a size other than the stream's.
  EXPECT_FALSE(Decode(vecPacked, vecIn.size() + 1));
  if (!vecIn.empty()) {
    EXPECT_FALSE(Decode(vecPacked, vecIn.size() - 1));
  }
  // Incompressible data grows by its trees only (about 0.1 %).
  EXPECT_LE(vecPacked.size(), vecIn.size() + vecIn.size() / 100 + 64);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Lh5RoundTrip, ::testing::ValuesIn(RoundTripCases()),
                         [](const ::testing::TestParamInfo<SRoundTrip>& info) {
                           return std::string(info.param.pszName);
                         });

TEST(Lh5Encoder, FindsMatchesAcrossTheWholeWindow) {
  // Zeros and a short pattern shrink to well under 1 %; text to under half;
  // random bytes repeating every 8192 bytes compress only when matches
  // reach the full dictionary distance.
  Bytes vecZeros(1 << 20, 0);
  EXPECT_LT(Lh5Encode(vecZeros.data(), vecZeros.size()).size(), vecZeros.size() / 100);
  Bytes vecText = Text(1 << 20);
  EXPECT_LT(Lh5Encode(vecText.data(), vecText.size()).size(), vecText.size() / 2);
  Bytes vecPeriodic = WindowPeriodic(1 << 18);
  EXPECT_LT(Lh5Encode(vecPeriodic.data(), vecPeriodic.size()).size(), vecPeriodic.size() / 10);
}

// ---------------------------------------------------------------------------
// Code lengths: the format cannot carry codes longer than 16 bits, and the
// decoder takes complete codes only.

struct SFrequencies {
  const char* pszName;
  std::vector<uint32_t> vecFreq;
};

std::vector<uint32_t> Fibonacci(unsigned nSymbols, unsigned nSpacing = 1, unsigned nAlphabet = 0) {
  std::vector<uint32_t> vec(nAlphabet ? nAlphabet : nSymbols * nSpacing, 0);
  uint32_t a = 1, b = 1;
  for (unsigned n = 0; n < nSymbols; ++n, b += a, a = b - a) vec[n * nSpacing] = a;
  return vec;
}

std::vector<SFrequencies> FrequencyCases() {
  std::vector<uint32_t> vecHuge(lh5::kCharCodes, 1);
  vecHuge[0] = 0xFFFFFFFFu;
  vecHuge[1] = 0xFFFFFFFFu;
  return {
      {"Fibonacci30", Fibonacci(30)},  // unlimited depth 29
      {"Fibonacci40Spread", Fibonacci(40, 12, lh5::kCharCodes)},
      {"UniformFull", std::vector<uint32_t>(lh5::kCharCodes, 9)},
      {"TwoHugeAndManyOnes", vecHuge},
      {"TwoSymbols", {0, 5, 0, 0, 1}},
      {"OneSymbol", {0, 0, 3}},
      {"NoSymbol", {0, 0, 0, 0}},
  };
}

class Lh5CodeLengths : public ::testing::TestWithParam<SFrequencies> {};

TEST_P(Lh5CodeLengths, AreAtMost16BitsAndComplete) {
  const std::vector<uint32_t>& vecFreq = GetParam().vecFreq;
  std::vector<uint8_t> vecLen(vecFreq.size(), 0xEE);
  unsigned nUsed =
      lh5::MakeCodeLengths(vecFreq.data(), static_cast<unsigned>(vecFreq.size()), vecLen.data());
  unsigned nExpectedUsed = 0;
  for (uint32_t dw : vecFreq) nExpectedUsed += dw != 0;
  ASSERT_EQ(nUsed, nExpectedUsed);
  uint64_t qwKraft = 0;  // in units of 2^-16
  for (size_t n = 0; n < vecFreq.size(); ++n) {
    // One used symbol or none: sent without a tree, every length 0.
    bool bCoded = vecFreq[n] != 0 && nUsed >= 2;
    EXPECT_EQ(vecLen[n] != 0, bCoded) << "symbol " << n;
    ASSERT_LE(vecLen[n], lh5::kMaxCodeBits) << "symbol " << n;
    if (vecLen[n]) qwKraft += 1u << (16 - vecLen[n]);
  }
  if (nUsed >= 2) {
    EXPECT_EQ(qwKraft, 1u << 16);
  }
}

INSTANTIATE_TEST_SUITE_P(Frequencies, Lh5CodeLengths, ::testing::ValuesIn(FrequencyCases()),
                         [](const ::testing::TestParamInfo<SFrequencies>& info) {
                           return std::string(info.param.pszName);
                         });

// ---------------------------------------------------------------------------
// Hand-made streams: what is accepted, what is refused.

struct SStreamCase {
  const char* pszName;
  std::function<Bytes()> build;
  size_t nOut;
  bool bAccepted;
  const char* pszExpected;  // the output when accepted
};

std::vector<SStreamCase> StreamCases() {
  return {
      {"FiveLiterals", [] { return CStreamBits().SingleBlock(5, 'A').Bytes_(); }, 5, true, "AAAAA"},
      {"LiteralThenMatchOverlappingItself",
       [] { return CStreamBits().SingleBlock(1, 'A').SingleBlock(1, 256 + 4 - 3).Bytes_(); }, 5,
       true, "AAAAA"},
      {"TrailingZeroBytesArePadding",
       [] { return CStreamBits().SingleBlock(2, 'B').Put(32, 0).Bytes_(); }, 2, true, "BB"},
      {"EmptyOutputFromNothing", [] { return Bytes(); }, 0, true, ""},
      {"EmptyOutputFromZeroFill", [] { return Bytes(5, 0); }, 0, true, ""},

      {"EmptyOutputFromAStream", [] { return CStreamBits().SingleBlock(1, 'A').Bytes_(); }, 0,
       false, ""},
      {"BlockOfZeroCodes", [] { return CStreamBits().SingleBlock(0, 'A').Bytes_(); }, 1, false, ""},
      {"ZeroBlockBeforeOutputIsComplete",
       [] { return CStreamBits().SingleBlock(1, 'A').SingleBlock(0, 'A').Bytes_(); }, 2, false, ""},
      {"CodesLeftInBlockWhenOutputIsFull",
       [] { return CStreamBits().SingleBlock(6, 'A').Bytes_(); }, 5, false, ""},
      {"SecondBlockAfterOutputIsFull",
       [] { return CStreamBits().SingleBlock(5, 'A').SingleBlock(5, 'A').Bytes_(); }, 5, false, ""},
      {"NonZeroTrailingByte",
       [] { return CStreamBits().SingleBlock(5, 'A').Put(8, 0).Put(8, 1).Bytes_(); }, 5, false, ""},
      {"InputEndsBeforeOutputIsFull", [] { return CStreamBits().SingleBlock(5, 'A').Bytes_(); }, 6,
       false, ""},
      {"MatchBeforeTheStartOfTheOutput", [] { return CStreamBits().SingleBlock(1, 256).Bytes_(); },
       3, false, ""},
      {"MatchFartherBackThanTheOutput",
       [] {  // 2 literals, then distance 3 (position symbol 2, extra bit 0)
         return CStreamBits().SingleBlock(2, 'A').SingleBlock(1, 256, 2).Put(1, 0).Bytes_();
       },
       5, false, ""},
      {"MatchPastTheEndOfTheOutput",
       [] { return CStreamBits().SingleBlock(1, 'A').SingleBlock(1, 256 + 10 - 3).Bytes_(); }, 5,
       false, ""},
      {"SingleCharSymbolOutsideTheAlphabet",
       [] { return CStreamBits().SingleBlock(1, 510).Bytes_(); }, 1, false, ""},
      {"SinglePositionSymbolOutsideTheAlphabet",
       [] { return CStreamBits().SingleBlock(1, 'A', 14).Bytes_(); }, 1, false, ""},
      {"SingleLengthSymbolOutsideTheAlphabet",
       [] { return CStreamBits().Put(16, 1).Put(5, 0).Put(5, 19).Put(9, 0).Put(9, 'A').Bytes_(); },
       1, false, ""},
      {"CodeLengthCountAboveItsAlphabet",
       [] { return CStreamBits().Put(16, 1).Put(5, 20).Put(64, 0).Bytes_(); }, 1, false, ""},
      {"CharCountAboveItsAlphabet",
       [] { return CStreamBits().Put(16, 1).Put(5, 0).Put(5, 3).Put(9, 511).Put(64, 0).Bytes_(); },
       1, false, ""},
      {"PositionCountAboveItsAlphabet",
       [] {
         return CStreamBits()
             .Put(16, 1)
             .Put(5, 0)
             .Put(5, 0)
             .Put(9, 0)
             .Put(9, 'A')
             .Put(4, 15)
             .Put(64, 0)
             .Bytes_();
       },
       1, false, ""},
      {"OverSubscribedLengths",  // three codes of 1 bit
       [] {
         return CStreamBits()
             .Put(16, 1)
             .Put(5, 3)
             .Put(3, 1)
             .Put(3, 1)
             .Put(3, 1)
             .Put(2, 0)
             .Put(64, 0)
             .Bytes_();
       },
       1, false, ""},
      {"IncompleteLengths",  // one code of 1 bit, the other half unused
       [] { return CStreamBits().Put(16, 1).Put(5, 1).Put(3, 1).Put(64, 0).Bytes_(); }, 1, false,
       ""},
      {"AllLengthsZero",
       [] { return CStreamBits().Put(16, 1).Put(5, 2).Put(3, 0).Put(3, 0).Put(64, 0).Bytes_(); }, 1,
       false, ""},
      {"LengthLongerThan16Bits",  // 7 and ten more 1 bits
       [] {
         return CStreamBits().Put(16, 1).Put(5, 1).Put(3, 7).Put(10, 0x3FF).Put(64, 0).Bytes_();
       },
       1, false, ""},
      {"ZeroRunPastTheCharCount",
       [] {  // code-length tree: symbols 1 and 2 of 1 bit; 5 char lengths,
             // the first a run of 20 + 0 zeros (symbol 2 = code 1)
         return CStreamBits()
             .Put(16, 1)
             .Put(5, 3)
             .Put(3, 0)
             .Put(3, 1)
             .Put(3, 1)
             .Put(2, 0)
             .Put(9, 5)
             .Put(1, 1)
             .Put(9, 0)
             .Put(64, 0)
             .Bytes_();
       },
       1, false, ""},
  };
}

class Lh5Streams : public ::testing::TestWithParam<SStreamCase> {};

TEST_P(Lh5Streams, AcceptsOnlyConsistentStreams) {
  const SStreamCase& c = GetParam();
  Bytes vecOut;
  bool bAccepted = Decode(c.build(), c.nOut, &vecOut);
  EXPECT_EQ(bAccepted, c.bAccepted);
  if (bAccepted && c.bAccepted) {
    EXPECT_EQ(std::string(vecOut.begin(), vecOut.end()), c.pszExpected);
  }
}

INSTANTIATE_TEST_SUITE_P(HandMade, Lh5Streams, ::testing::ValuesIn(StreamCases()),
                         [](const ::testing::TestParamInfo<SStreamCase>& info) {
                           return std::string(info.param.pszName);
                         });

// ---------------------------------------------------------------------------
// Damaged encoder output.

TEST(Lh5Damage, EveryTruncationIsRefusedOrLosesOnlyTheZeroPad) {
  // Every byte but the encoder's closing zero byte carries bits the decoder
  // needs, so no shorter prefix may pass for the whole; without that zero
  // byte the stream is still whole.
  for (const Bytes& vecIn : {Text(600), Random(300), Repetitive(5000), Bytes(1, 9)}) {
    Bytes vecPacked = Lh5Encode(vecIn.data(), vecIn.size());
    ASSERT_EQ(vecPacked.back(), 0);
    for (size_t n = 0; n + 1 < vecPacked.size(); ++n)
      EXPECT_FALSE(Decode(Bytes(vecPacked.begin(), vecPacked.begin() + n), vecIn.size()))
          << "prefix of " << n << " of " << vecPacked.size() << " bytes";
    Bytes vecOut;
    EXPECT_TRUE(Decode(Bytes(vecPacked.begin(), vecPacked.end() - 1), vecIn.size(), &vecOut));
    EXPECT_TRUE(vecOut == vecIn);
  }
}

TEST(Lh5Damage, EveryBitFlipDecodesSafely) {
  // A flipped bit may still give a well-formed stream (a different literal);
  // what must hold is that decoding stays inside its buffers, ends, and
  // never returns the original size with the original bytes unchanged
  // unless the flip was in padding.
  Bytes vecIn = Text(400);
  Bytes vecPacked = Lh5Encode(vecIn.data(), vecIn.size());
  size_t nRefused = 0;
  for (size_t nBit = 0; nBit < vecPacked.size() * 8; ++nBit) {
    Bytes vecBad = vecPacked;
    vecBad[nBit / 8] ^= static_cast<uint8_t>(0x80 >> (nBit % 8));
    Bytes vecOut;
    if (!Decode(vecBad, vecIn.size(), &vecOut)) ++nRefused;
  }
  // Most flips break a tree, the block count or the final size.
  EXPECT_GT(nRefused, vecPacked.size() * 8 / 2);
}

TEST(Lh5Damage, NullBuffersAreRefusedUnlessEmpty) {
  uint8_t by = 0;
  EXPECT_FALSE(Lh5Decode(nullptr, 4, &by, 1));
  EXPECT_FALSE(Lh5Decode(&by, 1, nullptr, 4));
  EXPECT_TRUE(Lh5Decode(nullptr, 0, nullptr, 0));
  EXPECT_TRUE(Lh5Encode(nullptr, 0).empty());
}

}  // namespace
