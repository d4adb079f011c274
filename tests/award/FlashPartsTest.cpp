#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tessaro/award/FlashParts.h"

namespace {

std::string Name(uint16_t wId, uint8_t bySize) {
  char sz[kFlashNameField];
  LookupFlashPartName(wId, bySize, sz);
  return std::string(sz);
}

TEST(FlashPartTable, RowsAreWellFormedAndEndWithTheUnknownRow) {
  size_t nCount = 0;
  const SFlashPart* pParts = GetFlashPartTable(&nCount);
  ASSERT_EQ(nCount, 69u);
  EXPECT_EQ(pParts[nCount - 1].wId, kFlashIdUnknown);
  EXPECT_STREQ(pParts[nCount - 1].szName, "Unknown Flash            ");
  std::set<uint16_t> ids;
  for (size_t i = 0; i < nCount; ++i) {
    SCOPED_TRACE(pParts[i].szName);
    EXPECT_TRUE(ids.insert(pParts[i].wId).second) << "duplicate id";
    // 25 characters, space-padded, NUL-terminated; no name is blank.
    EXPECT_EQ(std::strlen(pParts[i].szName), 25u);
    EXPECT_NE(pParts[i].szName[0], ' ');
  }
}

TEST(FlashPartTable, NamesKnownPartsAndGivesGenericNamesByRomSize) {
  EXPECT_EQ(Name(0x58BF, 8), "SST 49LF004 /3.3V        ");
  EXPECT_EQ(Name(0x01BF, 2), "SST 28EE010 & 28EE011 /5V");
  // No part answered: stays unknown whatever the size.
  EXPECT_EQ(Name(0xFFFF, 8), "Unknown Flash");
  EXPECT_EQ(Name(0x1234, 8), "4M_BIOS      ");
  EXPECT_EQ(Name(0x1234, 2), "1M_BIOS      ");
  EXPECT_EQ(Name(0x1234, 6), "3M_BIOS      ");
  EXPECT_EQ(Name(0x1234, 16), "8M_BIOS      ");
  EXPECT_EQ(Name(0x1234, 0), "Unknown Flash");
  EXPECT_EQ(Name(0x1234, 1), "Unknown Flash");
  // Sizes outside the table must not index past it.
  EXPECT_EQ(Name(0x1234, 12), "Unknown Flash");
  EXPECT_EQ(Name(0x1234, 255), "Unknown Flash");
}

TEST(FlashPartRules, PageWritePartsSkipTheBlankCheck) {
  for (uint16_t w :
       {0x01BF, 0x07BF, 0x10BF, 0x12BF, 0x45DA, 0x46DA, 0xBA1F, 0xC1DA, 0xD51F, 0xDA1F})
    EXPECT_TRUE(IsPageWritePart(w)) << std::hex << w;
  for (uint16_t w : {0x58BF, 0xA5FF, 0xFFFF, 0xAC89}) EXPECT_FALSE(IsPageWritePart(w)) << w;
}

TEST(FlashPartRules, WriteProtectReportDependsOnPartAndStatus) {
  struct SCase {
    uint16_t wId;
    uint8_t byStatus;
    uint32_t nMessage;
  };
  const SCase aCases[] = {
      {0x7C31, 0xA0, 790}, {0x9489, 0xA0, 790}, {0x7C89, 0x00, 0},   {0xAC89, 0xA2, 789},
      {0xAD89, 0xA2, 789}, {0xAC89, 0xA0, 0},   {0x32DA, 0x00, 789}, {0x58BF, 0x80, 789},
      {0x60BF, 0xA0, 789}, {0xD3DA, 0x00, 790}, {0x1234, 0xA2, 790},
  };
  for (const SCase& c : aCases)
    EXPECT_EQ(WriteProtectMessage(c.wId, c.byStatus), c.nMessage)
        << std::hex << c.wId << " " << int(c.byStatus);
}

}  // namespace
