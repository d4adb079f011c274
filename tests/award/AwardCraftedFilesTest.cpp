#include <gtest/gtest.h>

#include "tessaro/core/Switches.h"
#include "tests/award/UpdateRig.h"

namespace {

void PutU16At(std::vector<uint8_t>& v, size_t n, uint16_t w) {
  v[n] = static_cast<uint8_t>(w);
  v[n + 1] = static_cast<uint8_t>(w >> 8);
}
void PutU32At(std::vector<uint8_t>& v, size_t n, uint32_t dw) {
  PutU16At(v, n, static_cast<uint16_t>(dw));
  PutU16At(v, n + 2, static_cast<uint16_t>(dw >> 16));
}
// Puts the sum of [0, q) back into byte q after a crafted edit (checksum
// code 0xB000 of layouts 1 and 2).
void Reseal(std::vector<uint8_t>& v) {
  const size_t q = v.size() + 0xB000 - 0xF002;
  uint8_t by = 0;
  for (size_t i = 0; i < q; ++i) by = static_cast<uint8_t>(by + v[i]);
  v[q] = by;
}

class AwardCraftedFilesTest : public ::testing::Test {
 protected:
  void ExpectRefused(const char* pszMessage) {
    EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
    EXPECT_EQ(rig.BoxTexts().back(), pszMessage);
    EXPECT_FALSE(rig.Wrote());
    EXPECT_EQ(rig.FlashImage(), rig.flash);
  }
  SUpdateRig rig;
};

TEST_F(AwardCraftedFilesTest, SizeLetterMismatchShowsTheDebugFiguresFirst) {
  SAwardImageRecipe running;
  running.dwRomSize = 0x40000;
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecBreaks = {"size_letter"};  // '[' in a 256 KB file
  ASSERT_TRUE(rig.Start(running, &update));
  rig.state.SetDebug(true);
  ExpectRefused("BIOS file size error!");
  EXPECT_EQ(rig.BoxTexts().front(),
            "File Size Byte in File = 0x5B\nbyFileBiosSize = 0x08 (8)\n"
            "m_pAwd->m_byFlashROMSize = 0x04 (4)");
  EXPECT_EQ(rig.ui.m_vecBoxes.front().dwFlags, kMbOk | kMbIconInformation);
}

TEST_F(AwardCraftedFilesTest, BlockRecordCutOffByTheEndOfTheFileIsRefused) {
  SAwardImageRecipe running;
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecBreaks = {"bbss"};
  rig.editImage = [](std::vector<uint8_t>& v) {
    std::copy_n("*BBSS*", 6, v.end() - 8);  // its fields would lie past the end
  };
  ASSERT_TRUE(rig.Start(running, &update));
  ExpectRefused("This file is not a correct BIOS file!");
}

TEST_F(AwardCraftedFilesTest, LockDataOffsetPastTheFileIsAMismatch) {
  SAwardImageRecipe running;
  running.bLock = true;
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  ASSERT_TRUE(AwardImageLayout(running, &rig.layout, nullptr));
  const size_t nRecord = rig.layout.dwBs1Offset;
  rig.editImage = [=](std::vector<uint8_t>& v) {
    PutU16At(v, nRecord + 9, 0xFFF8);  // 16 bytes from there leave the file
    Reseal(v);
  };
  ASSERT_TRUE(rig.Start(running, &update));
  ExpectRefused("The BIOS-Lock string of the file does not match with your system!");
}

TEST_F(AwardCraftedFilesTest, ImageLayoutReachingPastTheRomIsRefusedBeforeAnyErase) {
  SAwardImageRecipe running;
  running.byLayout = 7;
  running.dwRomSize = 0x60000;
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  ASSERT_TRUE(AwardImageLayout(running, &rig.layout, nullptr));
  rig.editImage = [](std::vector<uint8_t>& v) {
    // DMI code naming bank 15 of a 384 KB ROM: far above the ROM's top.
    PutU16At(v, v.size() - 0x10000 + 0xE200 + 18, 0xE00F);
  };
  ASSERT_TRUE(rig.Start(running, &update));
  ExpectRefused("This file is not a correct BIOS file!");
  EXPECT_EQ(rig.ui.m_vecBoxes.size(), 1u) << "refused before the question";
}

TEST_F(AwardCraftedFilesTest, NvPointersOutsideTheRomLeaveTheFilesOwnTables) {
  SAwardImageRecipe running;
  running.strNvTable = "mb";
  running.vecNvData = std::vector<uint8_t>(16, 0x42);
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecNvData = std::vector<uint8_t>(16, 0x24);
  rig.editFlash = [](std::vector<uint8_t>& v) {
    PutU32At(v, v.size() - 0x20, 0x00001000);  // low memory, not the ROM
  };
  ASSERT_TRUE(rig.Start(running, &update));
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.FlashImage(), rig.image);
}

TEST_F(AwardCraftedFilesTest, NvDestinationOutsideTheFileIsNotWritten) {
  SAwardImageRecipe running;
  running.strNvTable = "mb";
  running.vecNvData = std::vector<uint8_t>(16, 0x42);
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  rig.editImage = [](std::vector<uint8_t>& v) {
    PutU16At(v, v.size() - 0x20, 0xFFF0);  // +0x50 lands past the end
  };
  ASSERT_TRUE(rig.Start(running, &update));
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.FlashImage(), rig.image);
}

TEST_F(AwardCraftedFilesTest, HdcpMarkerTooCloseToTheEndOfTheFlashCopyIsNotCopied) {
  SAwardImageRecipe running;
  running.strNvTable = "mm";
  rig.editFlash = [](std::vector<uint8_t>& v) {
    std::copy_n("$HDCP$", 6, v.end() - 0x100);  // 1536 bytes from here leave the ROM
  };
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.bHdcp = true;
  ASSERT_TRUE(rig.Start(running, &update));
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  const size_t nKeys = rig.image.size() - 0x10000 + 0x5200;
  EXPECT_TRUE(std::equal(rig.image.begin() + nKeys, rig.image.begin() + nKeys + 1536,
                         rig.FlashImage().begin() + nKeys));
}

}  // namespace
