#include <gtest/gtest.h>

#include "tessaro/award/AwardSaver.h"
#include "tests/award/BenchRig.h"

namespace {

// A running board of nRomBytes with a KAFLASH record (layout 1, DMI, PnP,
// Windows flash supported) and a flash full of a counting pattern.
class AwardSaverTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  void StartBoard(uint32_t nRomBytes, uint8_t byCaps = 0x07) {
    std::vector<uint8_t> flash(nRomBytes), segment(winflash::kSegmentSize, 0);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
    PutKaFlash(segment, 0x2000, static_cast<uint8_t>(nRomBytes / 0x20000), 1, byCaps, {64, 16});
    PutText(segment, 0x2100, "$@AWDFLASH");
    PutU16(segment, 0x212A, 0x00B2);
    SSimAwardConfig cfg;
    cfg.dwRomSize = nRomBytes;
    ASSERT_TRUE(rig.Start(cfg, flash, &segment));
    ASSERT_TRUE(bios.Open());
  }

  SBenchRig rig;
  CAwardBios bios{rig.platform, rig.resources};
  CRecordingProgress progress;
  CRecordingText status, percent;
};

TEST_P(AwardSaverTest, SavesTheWholeRomWithTheGoldenRequestSequence) {
  const uint32_t nRom = GetParam();
  StartBoard(nRom);
  // Opening: the segment, eight 4 KB windows searched for lock data below
  // 0xFFFFC000 (layout 1), the SMI port and the level query.
  CTrace open;
  open.Line("read-physical %X %u", 0xF0000, 65536);
  for (uint32_t j = 1; j <= 8; ++j) open.Read(0xFFFFC000 - j * 0x1000, 0x1000);
  open.Line("smi-port %X", 0xB2).Line("smi %u", 0);
  EXPECT_EQ(RenderLog(rig.Board().Log()), open.Lines());

  rig.Board().Log().Clear();
  CAwardSaver saver(&bios, &progress, &status, &percent);
  ASSERT_TRUE(saver.Save("C:\\out\\backup.bin", false));
  EXPECT_EQ(RenderLog(rig.Board().Log()), CTrace().ReadChunks(0u - nRom, nRom).Lines());
  EXPECT_EQ(rig.files.m_mapFiles["C:\\out\\backup.bin"], rig.FlashImage());

  EXPECT_EQ(status.m_vecTexts,
            (std::vector<std::string>{"Saving current BIOS to file...", "BIOS Save Success!"}));
  const int nKb = static_cast<int>(nRom / 1024);
  ASSERT_EQ(progress.m_vecRanges.size(), 2u);
  EXPECT_EQ(progress.m_vecRanges[0], std::make_pair(0, nKb));
  EXPECT_EQ(progress.m_vecRanges[1], std::make_pair(0, 100));
  ASSERT_EQ(progress.m_vecPositions.size(), nRom / 4096 + 1);
  EXPECT_EQ(progress.m_vecPositions[0], 4);
  EXPECT_EQ(progress.m_vecPositions[nRom / 4096 - 1], nKb);
  EXPECT_EQ(progress.m_vecPositions.back(), 0);
  EXPECT_EQ(percent.m_vecTexts.front(), nRom == 0x40000 ? "1%" : "0%");
  EXPECT_EQ(percent.m_vecTexts[percent.m_vecTexts.size() - 2], "100%");
  EXPECT_EQ(percent.m_vecTexts.back(), "0%");
  EXPECT_TRUE(rig.ui.m_vecBoxes.empty());
  EXPECT_FALSE(rig.Wrote());
}

INSTANTIATE_TEST_SUITE_P(RomSizes, AwardSaverTest, ::testing::Values(0x40000u, 0x80000u));

TEST_F(AwardSaverTest, AutoSaveHasItsOwnStatusText) {
  StartBoard(0x20000);
  CAwardSaver saver(&bios, nullptr, &status, nullptr);
  ASSERT_TRUE(saver.Save("C:\\autosave.bin", true));
  EXPECT_EQ(status.m_vecTexts.front(), "Backup system BIOS to AUTOSAVE.BIN...");
}

TEST_F(AwardSaverTest, RefusalsAndFileErrorsShowTheirMessages) {
  StartBoard(0x40000, 0x03);  // no Windows flash support
  CAwardSaver unsupported(&bios, &progress, &status, &percent);
  EXPECT_FALSE(unsupported.Save("C:\\x.bin", false));
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 1u);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strText, "The BIOS on your M/B does not support Tessaro!");
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strCaption, "Tessaro (Save Bios)");
  EXPECT_TRUE(status.m_vecTexts.empty());
  EXPECT_EQ(rig.files.m_mapFiles.count("C:\\x.bin"), 0u);

  // The file cannot be created, or the disk fills up: an error, never
  // "BIOS Save Success!".
  bios.m_bWinFlashSupported = true;
  for (bool bCreateFails : {true, false}) {
    rig.ui.m_vecBoxes.clear();
    status.m_vecTexts.clear();
    CAwardSaver saver(&bios, &progress, &status, &percent);
    rig.files.m_bFailWrites = true;
    CStubDisk disk;
    disk.m_nRoom = 0x8000;
    if (!bCreateFails) rig.platform.pFiles = &disk;
    EXPECT_FALSE(saver.Save("C:\\x.bin", false));
    ASSERT_EQ(rig.ui.m_vecBoxes.size(), 1u);
    EXPECT_EQ(rig.ui.m_vecBoxes[0].strText, "Couldn't create the file!");
    EXPECT_EQ(rig.ui.m_vecBoxes[0].strCaption, "Tessaro (Save Bios)");
    EXPECT_EQ(status.m_vecTexts.back(), "BIOS Save Error!");
    EXPECT_EQ(percent.m_vecTexts.back(), "0%");
  }
}

}  // namespace
