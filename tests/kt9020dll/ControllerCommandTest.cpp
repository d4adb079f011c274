// The command table, the command record images and the port record packing.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "kt9020dll/ControllerCommand.h"
#include "kt9020dll/PortRecord.h"
#include "sim/SimBench.h"

namespace {

std::vector<uint8_t> Image(const SCommandRecord& record) {
  return std::vector<uint8_t>(record.aby, record.aby + sizeof(record.aby));
}

std::vector<uint8_t> Expected(std::vector<uint8_t> vecHead) {
  vecHead.resize(mirel::kCommandRecordSize, 0);
  return vecHead;
}

TEST(CommandTable, EveryRowFitsTheRecordAndCodesAreUnique) {
  std::set<uint8_t> setCodes;
  for (const mirel::SCommand& c : mirel::kCommands) {
    EXPECT_TRUE(setCodes.insert(c.byCode).second) << std::hex << int(c.byCode);
    EXPECT_LE(c.byDataSent, 8) << std::hex << int(c.byCode);
    EXPECT_LE(c.byDataReturned, 8) << std::hex << int(c.byCode);
    // Reads (0x1x) send nothing but a count; writes (0x2x) get one status byte.
    if (c.byCode >= 0x21) {
      EXPECT_EQ(1, c.byDataReturned) << std::hex << int(c.byCode);
      EXPECT_TRUE(c.bStores) << std::hex << int(c.byCode);
    }
    if (c.byCode < 0x20 && c.eCount == mirel::ECountUse::None) {
      EXPECT_EQ(0, c.byDataSent);
    }
  }
  EXPECT_EQ(19u, mirel::kCommandCount);
}

// The library builds and the bench checks records from the same table:
// every command, with small, odd and the largest counts, is taken by the
// bench as built, and reads return the reply length the library expects.
// (254 is the largest block read that can succeed: a reply length of 255
// reads as the timeout mark.)
TEST(CommandTable, BenchTakesEveryRecordTheLibraryBuilds) {
  CSimMirelBench bench;
  std::string strError;
  ASSERT_TRUE(bench.Open(SSimMirelDescription{}, &strError)) << strError;
  CSimMirelController& controller = bench.Controller();
  std::vector<uint8_t> vecData(kMaxWriteBlock, 0x5A);
  for (const mirel::SCommand& c : mirel::kCommands) {
    for (int nCount : {0, 1, 7, 51, 254, int(kMaxWriteBlock)}) {
      SCommandRecord request, reply{};
      if (!BuildCommandRecord(c.byCode, 0x2000, nCount, vecData.data(), &request)) {
        // Only a block write refuses a count: one that would overrun the record.
        EXPECT_EQ(mirel::kCmdWriteCount, c.byCode);
        EXPECT_GT(nCount, int(kMaxWriteBlock));
        continue;
      }
      uint32_t nReturned = 0, nExpected = 0, nLength = 0;
      ASSERT_EQ(kSimOk,
                controller.Request(c.bStores ? mirel::kSetAip : mirel::kGetAip, request.aby,
                                   sizeof(request.aby), reply.aby, sizeof(reply.aby), &nReturned))
          << std::hex << int(c.byCode) << " count " << std::dec << nCount;
      ASSERT_TRUE(GetCommandOutputDataLength(c.byCode, nCount, &nExpected));
      ASSERT_EQ(EReply::Data, ParseCommandReply(reply, &nLength));
      EXPECT_EQ(nExpected, nLength) << std::hex << int(c.byCode) << " count " << std::dec << nCount;
    }
  }
}

TEST(CommandTable, CodesOutsideTheTableAreRefused) {
  uint32_t n = 0;
  for (int nCode : {0x00, 0x10, 0x19, 0x1B, 0x1F, 0x29, 0x2B, 0x111, -0x11}) {
    EXPECT_FALSE(GetCommandInputDataLength(nCode, 1, &n)) << nCode;
    EXPECT_FALSE(GetCommandOutputDataLength(nCode, 1, &n)) << nCode;
    SCommandRecord record;
    EXPECT_FALSE(BuildCommandRecord(nCode, 0, 1, nullptr, &record)) << nCode;
  }
}

struct SImageCase {
  const char* pszName;
  int nCommand;
  int nCount;
  std::vector<uint8_t> vecData;
  std::vector<uint8_t> vecHead;  // expected first bytes; the rest is zero
};

TEST(CommandRecord, ByteImageOfEachCommandFamily) {
  const SImageCase aCases[] = {
      {"read one byte", 0x11, 0, {}, {0x11, 0, 2, 1, 0x12, 0x34}},
      {"read eight bytes", 0x18, 0, {}, {0x18, 0, 2, 8, 0x12, 0x34}},
      {"block read of 5", 0x1A, 5, {}, {0x1A, 0, 3, 5, 0x12, 0x34, 5}},
      {"block read count is its low byte", 0x1A, 0x105, {}, {0x1A, 0, 3, 5, 0x12, 0x34, 5}},
      {"presence touch", 0x20, 0, {}, {0x20, 0, 2, 1, 0x12, 0x34}},
      {"write three bytes",
       0x23,
       0,
       {0xA1, 0xB2, 0xC3, 0xEE},
       {0x23, 0, 5, 1, 0x12, 0x34, 0xA1, 0xB2, 0xC3}},
      {"block write of 4", 0x2A, 4, {9, 8, 7, 6, 5}, {0x2A, 0, 7, 1, 0x12, 0x34, 4, 9, 8, 7, 6}},
      {"empty block write", 0x2A, 0, {}, {0x2A, 0, 3, 1, 0x12, 0x34, 0}},
  };
  for (const SImageCase& c : aCases) {
    SCommandRecord record;
    memset(&record, 0xCC, sizeof(record));
    ASSERT_TRUE(BuildCommandRecord(c.nCommand, 0xAB1234, c.nCount,
                                   c.vecData.empty() ? nullptr : c.vecData.data(), &record))
        << c.pszName;
    EXPECT_EQ(Expected(c.vecHead), Image(record)) << c.pszName;
  }
}

TEST(CommandRecord, BlockWriteFillsTheRecordExactlyAndNoFurther) {
  std::vector<uint8_t> vecData(300, 0x5A);
  SCommandRecord record;
  ASSERT_TRUE(BuildCommandRecord(0x2A, 0, int(kMaxWriteBlock), vecData.data(), &record));
  EXPECT_EQ(252u, kMaxWriteBlock);
  EXPECT_EQ(255, record.aby[mirel::kRecRequestLength]);
  EXPECT_EQ(0x5A, record.aby[mirel::kCommandRecordSize - 1]);
  // One more byte would run past the record and overflow the length byte.
  for (int nCount : {253, 255, 256, 100000, -1}) {
    SCommandRecord untouched;
    memset(&untouched, 0xCC, sizeof(untouched));
    EXPECT_FALSE(BuildCommandRecord(0x2A, 0, nCount, vecData.data(), &untouched)) << nCount;
    EXPECT_EQ(0xCC, untouched.aby[0]);
  }
}

TEST(CommandRecord, ReplyLengthFFMeansTheDriverTimedOut) {
  SCommandRecord reply{};
  uint32_t n = 99;
  reply.aby[mirel::kRecReplyLength] = 0xFF;
  EXPECT_EQ(EReply::Timeout, ParseCommandReply(reply, &n));
  reply.aby[mirel::kRecReplyLength] = 0xFE;
  EXPECT_EQ(EReply::Data, ParseCommandReply(reply, &n));
  EXPECT_EQ(0xFEu, n);
}

std::vector<uint8_t> Bytes(const mirel::SPortRecord& record) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&record);
  return std::vector<uint8_t>(p, p + sizeof(record));
}

TEST(PortRecord, ByteImagesOfTheFourFillings) {
  // size, pad x3, dwPort, dwValue, byPort, byValue, wPort, wValue, unused x2
  EXPECT_EQ((std::vector<uint8_t>{4,    0,    0,    0,    0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD,
                                  0xAB, 0x89, 0x78, 0xEF, 0x78, 0x56, 0xEF, 0xCD, 0,    0}),
            Bytes(MakePortRecord(EPortFill::AllViews, 4, 0x12345678, 0x89ABCDEF)));
  EXPECT_EQ(
      (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE4, 0x00, 0, 0, 0, 0}),
      Bytes(MakePortRecord(EPortFill::ByteIn, 1, 0xE4, 0x77)));
  EXPECT_EQ(
      (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x77, 0x80, 0x03, 0, 0, 0, 0}),
      Bytes(MakePortRecord(EPortFill::ByteOut, 1, 0x380, 0x1277)));
}

}  // namespace
