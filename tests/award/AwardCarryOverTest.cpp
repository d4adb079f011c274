#include <gtest/gtest.h>

#include "tests/award/UpdateRig.h"

namespace {

uint8_t Sum8(const std::vector<uint8_t>& v, size_t from, size_t to) {
  uint8_t by = 0;
  for (size_t i = from; i < to; ++i) by = static_cast<uint8_t>(by + v[i]);
  return by;
}

// The image's own checksum as the BIOS checks it: the sum of [p, q) in
// byte q, where the code of the *BBSS* record names q (and, with a bank
// number, p at the compressed-module bank).
bool ChecksumHolds(const std::vector<uint8_t>& v, const SAwardImageLayout& lay) {
  const uint16_t wCode = lay.wChecksumCode;
  const size_t n = v.size();
  const size_t p = (wCode & 0xF) ? lay.dwLh5Bank : 0;
  const size_t q =
      (wCode & 0xF) ? n + (wCode & 0xF) * 0x10000 - 0xF0002 : n + (wCode & 0xF000) - 0xF002;
  return Sum8(v, p, q) == v[q];
}

std::vector<uint8_t> Bytes(uint8_t byFirst, size_t n = 16) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(byFirst + 3 * i);
  return v;
}

class AwardCarryOverTest : public ::testing::TestWithParam<uint8_t> {
 protected:
  void SetUp() override { rig.ui.m_queAnswers = {kIdYes, kIdNo}; }
  SUpdateRig rig;
};

TEST_P(AwardCarryOverTest, BoardLockDataReplacesTheFilesAndTheImageStillVerifies) {
  SAwardImageRecipe running;
  running.byLayout = GetParam();
  running.bLock = true;
  running.vecLockData = Bytes(0x41);
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecLockData = Bytes(0x90);
  ASSERT_TRUE(rig.Start(running, &update));
  EXPECT_TRUE(rig.bios.m_bLockLoaded && rig.bios.m_bLockDataPresent);
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  const std::vector<uint8_t> now = rig.FlashImage();
  const size_t nData = (rig.layout.dwBs1Offset & ~0xFFFu) + 0x200;
  EXPECT_EQ(std::vector<uint8_t>(now.begin() + nData, now.begin() + nData + 16), Bytes(0x41));
  EXPECT_TRUE(ChecksumHolds(now, rig.layout));
  EXPECT_NE(now, rig.image);
}

INSTANTIATE_TEST_SUITE_P(Layouts, AwardCarryOverTest, ::testing::Values(1, 4, 6));

TEST_F(AwardCarryOverTest, LockDataSummingToZeroIsNotCarried) {
  SAwardImageRecipe running;
  running.bLock = true;  // lock data all zero
  ASSERT_TRUE(rig.Start(running));
  EXPECT_FALSE(rig.bios.m_bLockDataPresent);
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.FlashImage(), rig.image);
}

TEST_F(AwardCarryOverTest, NvTableOfA256KImageTravelsAndTheImageIsResealed) {
  SAwardImageRecipe running;
  running.dwRomSize = 0x40000;
  running.strNvTable = "mb";
  running.vecNvData = Bytes(0x21);
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecNvData = Bytes(0x70);
  ASSERT_TRUE(rig.Start(running, &update));
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  const std::vector<uint8_t> now = rig.FlashImage();
  const size_t L = now.size() - 0x10000;
  EXPECT_EQ(std::vector<uint8_t>(now.begin() + L + 0x5050, now.begin() + L + 0x5060), Bytes(0x21));
  EXPECT_EQ(std::vector<uint8_t>(now.begin() + L + 0x5150, now.begin() + L + 0x5158),
            Bytes(0x21, 8));
  ASSERT_TRUE(ChecksumHolds(now, rig.layout));
  // The second byte sums the boot-start range up to and including the first.
  const size_t q = now.size() + 0xB000 - 0xF002;
  EXPECT_EQ(Sum8(now, L + 0x6000, q + 1), now[q + 1]);
}

TEST_F(AwardCarryOverTest, HdcpKeysTravelWithTheNvmmTable) {
  SAwardImageRecipe running;
  running.strNvTable = "mm";
  running.vecNvData = Bytes(0x05);
  running.bHdcp = true;
  running.byHdcpFill = 0x5A;
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecNvData = Bytes(0x60);
  update.byHdcpFill = 0x33;
  ASSERT_TRUE(rig.Start(running, &update));
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  const std::vector<uint8_t> now = rig.FlashImage();
  const size_t L = now.size() - 0x10000;
  EXPECT_EQ(std::vector<uint8_t>(now.begin() + L + 0x5030, now.begin() + L + 0x5040), Bytes(0x05));
  EXPECT_EQ(now[L + 0x5206], 0x5A);
  EXPECT_EQ(now[L + 0x5200 + 1535], 0x5A);
  EXPECT_EQ(now[L + 0x5200 + 1536], rig.image[L + 0x5200 + 1536]);
}

TEST_F(AwardCarryOverTest, ResealWithoutItsCompressedModuleBankIsRefusedWithAMessage) {
  // Layout 7 skips the checksum check, so only the re-seal after the NV
  // carry-over finds that the bank the checksum code names is missing.
  SAwardImageRecipe running;
  running.byLayout = 7;
  running.dwRomSize = 0x40000;
  running.nChecksumCode = 0x000C;  // sum over bank 0 .. 0xFFFE
  running.strNvTable = "mb";
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecBreaks = {"lh5"};
  ASSERT_TRUE(rig.Start(running, &update));
  EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"This file is not a correct BIOS file!"}));
  EXPECT_FALSE(rig.Wrote());
}

// ---------------------------------------------------------- bad boards --

TEST_F(AwardCarryOverTest, ProgramThatWritesNothingEndsInVerifyError) {
  SAwardImageRecipe running;
  rig.editConfig = [](SSimAwardConfig& cfg) { cfg.dwSilentProgramAt = 700; };
  ASSERT_TRUE(rig.Start(running));
  EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 2u);
  EXPECT_EQ(rig.ui.m_vecBoxes[1].strText, "Verify error!\nPlease reload BIOS again.");
  EXPECT_EQ(rig.ui.m_vecBoxes[1].strCaption, "Tessaro (Update Bios)");
  EXPECT_EQ(rig.Count(winflash::kWritePort), 0u) << "no CMOS action after a failure";
  EXPECT_NE(rig.status.m_vecTexts.back(), "BIOS Flash Success!");
}

TEST_F(AwardCarryOverTest, EveryWrittenBlockIsVerifiedNotOnlyTheMainBlock) {
  SAwardImageRecipe running;
  running.dwRomSize = 0x40000;
  // The first program request of the boot block writes nothing: main, DMI
  // and PnP (240 + 4 + 4 KB) come before it in 16-byte requests.
  const uint32_t nBootFirst = (0x3C000 + 0x1000 + 0x1000) / 16 + 1;
  rig.editConfig = [=](SSimAwardConfig& cfg) { cfg.dwSilentProgramAt = nBootFirst; };
  ASSERT_TRUE(rig.Start(running));
  EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.BoxTexts().back(), "Verify error!\nPlease reload BIOS again.");
  EXPECT_EQ(rig.ui.m_vecBoxes.size(), 2u) << "no success question";
}

TEST_F(AwardCarryOverTest, ProtectedBootBlockReportsByPartAndStatus) {
  struct SCase {
    uint16_t wFlashId;
    uint32_t dwStatus;
    const char* pszMessage;
  };
  // A status the part's rules name no message for still ends in one: the
  // update failed.
  const SCase aCases[] = {
      {0xAC89, 0xA2, "FWH ROM is write-protected!"},
      {0xAC89, 0xA0, "Verify error!\nPlease reload BIOS again."},
      {0x7C89, 0xA0, "Flash ROM  is write protected!"},
      {0x60BF, 0x00, "FWH ROM is write-protected!"},
      {0xD3DA, 0xA2, "Flash ROM  is write protected!"},
  };
  for (const SCase& c : aCases) {
    SUpdateRig r;
    SAwardImageRecipe running;
    running.wFlashId = c.wFlashId;
    r.vecProtect = {{0xFFFFE000, 0x2000, c.dwStatus}};
    ASSERT_TRUE(r.Start(running));
    r.ui.m_queAnswers = {kIdYes};
    EXPECT_FALSE(r.Update(DefaultFlashOptions()));
    std::vector<std::string> texts = r.BoxTexts();
    ASSERT_EQ(texts.size(), 2u) << std::hex << c.wFlashId;
    EXPECT_EQ(texts[1].substr(0, strlen(c.pszMessage)), c.pszMessage);
    EXPECT_EQ(r.Count(winflash::kWritePort), 0u);
  }
}

TEST_F(AwardCarryOverTest, TrialEraseFindsTheLockedBootTopBeforeTheBootBlockIsTouched) {
  SAwardImageRecipe running;
  running.wFlashId = 0x58BF;
  rig.vecProtect = {{0xFFFFF000, 0x1000, 0x80}};
  ASSERT_TRUE(rig.Start(running));
  rig.ui.m_queAnswers = {kIdYes};
  EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.BoxTexts().back().substr(0, 27), "FWH ROM is write-protected!");
  // Only the trial erase of the top 4 KB reached the boot block.
  const std::vector<std::string> got = RenderLog(rig.Board().Log());
  EXPECT_NE(std::find(got.begin(), got.end(), "erase FFFFF000 1000"), got.end());
  EXPECT_EQ(std::find(got.begin(), got.end(), "erase FFFFE000 2000"), got.end());
}

}  // namespace
