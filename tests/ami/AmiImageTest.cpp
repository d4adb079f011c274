// The AMI image checks on crafted files: a good image passes; every broken
// chain, module and sum is refused without reading outside the file.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/AmiImage.h"
#include "tessaro/ami/AmiImage.h"

namespace {

constexpr uint32_t kSize = 0x20000;  // a 128 KB image
constexpr uint32_t kHeader = 0x1000;

void PutU16(std::vector<uint8_t>* p, uint32_t dwAt, uint16_t w) {
  (*p)[dwAt] = static_cast<uint8_t>(w);
  (*p)[dwAt + 1] = static_cast<uint8_t>(w >> 8);
}
void PutU32(std::vector<uint8_t>* p, uint32_t dwAt, uint32_t dw) {
  PutU16(p, dwAt, static_cast<uint16_t>(dw));
  PutU16(p, dwAt + 2, static_cast<uint16_t>(dw >> 16));
}
// The link (offset, segment) that names image position dwPosition.
void PutLink(std::vector<uint8_t>* p, uint32_t dwAt, uint32_t dwPosition) {
  const uint32_t dwLinear = dwPosition + 0x100000 - kSize;
  PutU16(p, dwAt, static_cast<uint16_t>(dwLinear & 0xF));
  PutU16(p, dwAt + 2, static_cast<uint16_t>(dwLinear >> 4));
}

// Header, two modules (types 0x10 and 0x20, the second "compressed" with
// a stand-in decoder that accepts data equal to "ok"), one summed range.
std::vector<uint8_t> GoodImage() {
  std::vector<uint8_t> vec(kSize, 0xFF);
  std::memcpy(vec.data() + kHeader, "AMIBIOSC0700", 12);
  PutLink(&vec, kHeader + 12, 0x4000);
  const uint32_t adwModules[] = {0x4000, 0x8000};
  for (int i = 0; i < 2; ++i) {
    const uint32_t dwAt = adwModules[i];
    if (i == 0)
      PutLink(&vec, dwAt, adwModules[1]);
    else
      PutU32(&vec, dwAt, 0xFFFFFFFF);
    PutU32(&vec, dwAt + 4, 2);
    PutU32(&vec, dwAt + 8, i == 0 ? 2 : 5);
    vec[dwAt + 12] = static_cast<uint8_t>(0x10 * (i + 1));
    vec[dwAt + 13] = i == 0 ? 0 : amiimage::kModuleCompressed;
    std::memcpy(vec.data() + dwAt + 16, "ok", 2);
  }
  vec[kHeader + 16] = 1;
  PutU32(&vec, kHeader + 20, 0x4000);
  PutU32(&vec, kHeader + 24, 0x8000);
  uint32_t dwSum = 0;
  for (uint32_t i = 0x4000; i < 0xC000; ++i) dwSum += vec[i];
  PutU32(&vec, kHeader + 28, dwSum);
  return vec;
}

bool StandInDecoder(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut) {
  if (nIn != 2 || std::memcmp(pIn, "ok", 2) != 0) return false;
  std::memset(pOut, 'x', nOut);
  return true;
}

TEST(AmiImage, GoodImagePassesAndModulesAreFoundByType) {
  std::vector<uint8_t> vec = GoodImage();
  EXPECT_EQ(0u, CheckAmiImage(vec.data(), vec.size(), StandInDecoder));
  SAmiModule module;
  ASSERT_TRUE(FindModule(vec.data(), vec.size(), 0x20, &module));
  EXPECT_EQ(0x8000u, module.dwPosition);
  EXPECT_TRUE(module.bCompressed);
  EXPECT_FALSE(FindModule(vec.data(), vec.size(), 0x30, &module));
  // Without a decoder a compressed module cannot be proved whole.
  EXPECT_EQ(760u, CheckAmiImage(vec.data(), vec.size(), nullptr));
}

TEST(AmiImage, BrokenFilesAreRefused) {
  struct SCase {
    const char* pszName;
    void (*fnBreak)(std::vector<uint8_t>*);
    uint32_t nMessage;
  } aCases[] = {
      {"no header", [](std::vector<uint8_t>* p) { (*p)[kHeader] = 'X'; }, 760},
      {"other format version", [](std::vector<uint8_t>* p) { (*p)[kHeader + 9] = '8'; }, 760},
      {"chain loops", [](std::vector<uint8_t>* p) { PutLink(p, 0x8000, 0x4000); }, 802},
      {"link before the image",
       [](std::vector<uint8_t>* p) {
         PutU16(p, kHeader + 12, 0);
         PutU16(p, kHeader + 14, 0x0100);
       },
       802},
      {"module header past the end",
       [](std::vector<uint8_t>* p) { PutLink(p, 0x8000, kSize - 24); }, 802},
      {"module data past the end", [](std::vector<uint8_t>* p) { PutU32(p, 0x8004, kSize); }, 802},
      {"empty chain", [](std::vector<uint8_t>* p) { PutU32(p, kHeader + 12, 0xFFFFFFFF); }, 802},
      {"corrupt compressed data", [](std::vector<uint8_t>* p) { (*p)[0x8010] = 'n'; }, 760},
      {"huge original size", [](std::vector<uint8_t>* p) { PutU32(p, 0x8008, 0x7FFFFFFF); }, 760},
      {"wrong sum", [](std::vector<uint8_t>* p) { (*p)[0x5000] ^= 1; }, 760},
      {"range outside the image", [](std::vector<uint8_t>* p) { PutU32(p, kHeader + 24, kSize); },
       760},
      {"no ranges", [](std::vector<uint8_t>* p) { (*p)[kHeader + 16] = 0; }, 760},
  };
  for (const SCase& c : aCases) {
    std::vector<uint8_t> vec = GoodImage();
    c.fnBreak(&vec);
    EXPECT_EQ(c.nMessage, CheckAmiImage(vec.data(), vec.size(), StandInDecoder)) << c.pszName;
  }
  // A file cut anywhere never reads past its end.
  const std::vector<uint8_t> good = GoodImage();
  for (uint32_t n : {0u, 7u, kHeader + 13, kHeader + 30, 0x4008u, 0x8011u}) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    EXPECT_NE(0u, CheckAmiImage(cut.data(), cut.size(), StandInDecoder)) << n;
  }
}

}  // namespace
