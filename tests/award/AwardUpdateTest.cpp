#include <gtest/gtest.h>

#include <algorithm>

#include "tessaro/core/Switches.h"
#include "tessaro/award/AwardSaver.h"
#include "tests/award/UpdateRig.h"

namespace {

struct SFamily {
  const char* pszName;
  uint8_t byLayout;
  uint32_t dwRomSize;
  bool bHole;
  bool bDmi;
};

void PrintTo(const SFamily& f, std::ostream* os) { *os << f.pszName; }

SAwardImageRecipe RecipeFor(const SFamily& f) {
  SAwardImageRecipe r;
  r.byLayout = f.byLayout;
  r.dwRomSize = f.dwRomSize;
  r.bHole = f.bHole;
  r.bDmi = f.bDmi;
  return r;
}

// Requests of the checks before the question: the lock window searched
// twice (the running BIOS's record has no lock flag, so nothing is kept),
// the part number, the DMI and PnP signatures.
CTrace CheckTrace(const SAwardImageLayout& lay) {
  CTrace t;
  const uint32_t dwWindow = (lay.dwRomBase + lay.dwBs1Offset) & ~0xFFFu;
  t.Read(dwWindow, 0x1000).Read(dwWindow, 0x1000).Read(0xFFFFFFE8, 16);
  if (lay.dwDmiSize) t.Read(lay.dwDmiAddr, 16);
  if (lay.dwPnpSize) t.Read(lay.dwPnpAddr, 16);
  return t;
}

CTrace ClearCmosTrace() {
  CTrace t;
  for (uint32_t i = 0x10; i <= 0x31; ++i) t.Line("port 70 %X", i).Line("port 71 FF");
  return t;
}

// The block stages in the order the layout family writes them.
CTrace StagesTrace(const SAwardImageLayout& lay, uint8_t byLayout, bool bHole, bool bBoot) {
  CTrace t;
  if (byLayout != 6) {
    t.Append(StageTrace(lay, lay.dwRomBase, lay.dwMainSize));
    if (lay.dwDmiSize) t.Append(StageTrace(lay, lay.dwDmiAddr, lay.dwDmiSize));
    if (lay.dwPnpSize) t.Append(StageTrace(lay, lay.dwPnpAddr, lay.dwPnpSize));
  } else {
    if (bHole) t.Append(StageTrace(lay, lay.dwRomBase, 0x10000));
    t.Append(StageTrace(lay, lay.dwDmiAddr, lay.dwDmiSize));
    t.Append(StageTrace(lay, lay.dwPnpAddr, lay.dwPnpSize));
    t.Append(StageTrace(lay, lay.dwPnpAddr + lay.dwPnpSize, lay.dwMainSize));
  }
  if (bBoot) t.Append(StageTrace(lay, lay.dwBootAddr, lay.dwBootSize));
  return t;
}

class AwardUpdateFamilies : public ::testing::TestWithParam<SFamily> {
 protected:
  SUpdateRig rig;
};

TEST_P(AwardUpdateFamilies, WritesTheWholeImageWithTheGoldenRequestSequence) {
  const SFamily& f = GetParam();
  ASSERT_TRUE(rig.Start(RecipeFor(f)));
  rig.ui.m_queAnswers = {kIdYes, kIdNo};  // proceed; no reboot now
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));

  CTrace want = CheckTrace(rig.layout);
  want.Append(StagesTrace(rig.layout, f.byLayout, f.bHole, true)).Append(ClearCmosTrace());
  const std::vector<std::string> got = RenderLog(rig.Board().Log());
  EXPECT_EQ(FirstDifference(got, want.Lines()), "");

  EXPECT_EQ(rig.FlashImage(), rig.image);
  for (uint8_t i = 0x10; i <= 0x31; ++i) EXPECT_EQ(rig.Board().Cmos()[i], 0xFF) << int(i);
  EXPECT_EQ(rig.Board().Cmos()[0x32], 0x00);
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 2u);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strText.substr(0, 13), "Attention !!\n");
  EXPECT_NE(rig.ui.m_vecBoxes[0].strText.find("CMOS will be cleared"), std::string::npos);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].dwFlags, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(rig.ui.m_vecBoxes[1].strText.substr(0, 35), "Your BIOS was updated successfully.");
  EXPECT_EQ(rig.ui.m_vecBoxes[1].strCaption, "Tessaro (Update Bios)");
  EXPECT_TRUE(rig.power.m_vecExitFlags.empty());
  EXPECT_EQ(rig.status.m_vecTexts.back(), "BIOS Flash Success!");
  EXPECT_EQ(rig.system.m_vecPriorities, (std::vector<int>{15, 0}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, AwardUpdateFamilies,
                         ::testing::Values(SFamily{"type1_256K", 1, 0x40000, false, true},
                                           SFamily{"type2_512K", 2, 0x80000, false, true},
                                           SFamily{"type3_512K", 3, 0x80000, false, false},
                                           SFamily{"type4_512K", 4, 0x80000, false, true},
                                           SFamily{"type5_1M", 5, 0x100000, false, true},
                                           SFamily{"type6_512K", 6, 0x80000, false, true},
                                           SFamily{"type6_hole_512K", 6, 0x80000, true, true},
                                           SFamily{"type7_384K", 7, 0x60000, false, true}));

class AwardUpdateTest : public ::testing::Test {
 protected:
  SUpdateRig rig;
};

TEST_F(AwardUpdateTest, BootBlockOffLeavesTheBootBlockAndStillSucceeds) {
  SAwardImageRecipe r;
  ASSERT_TRUE(rig.Start(r));
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  FlashOptions options = DefaultFlashOptions();
  options.BootBlock = 0;
  options.ClearCMOS = 0;
  ASSERT_TRUE(rig.Update(options));
  CTrace want = CheckTrace(rig.layout);
  // The boot block kept must be whole: the first bytes of each 4 KB piece
  // that holds code, and the reset vector, are read before the question.
  for (uint32_t a = rig.layout.dwBootAddr; a - rig.layout.dwBootAddr < rig.layout.dwBootSize;
       a += 0x1000) {
    const uint8_t* pRunning = rig.flash.data() + (a - rig.layout.dwRomBase);
    if (std::any_of(pRunning, pRunning + 16, [](uint8_t by) { return by != 0xFF; }))
      want.Read(a, 16);
  }
  want.Read(0xFFFFFFF0u, 16);
  want.Append(StagesTrace(rig.layout, 1, false, false));
  EXPECT_EQ(FirstDifference(RenderLog(rig.Board().Log()), want.Lines()), "");
  EXPECT_TRUE(rig.Untouched(rig.layout.dwBootAddr, rig.layout.dwBootSize));
  const uint32_t nBootAt = rig.layout.dwBootAddr - rig.layout.dwRomBase;
  std::vector<uint8_t> expected = rig.image;
  std::copy(rig.flash.begin() + nBootAt, rig.flash.end(), expected.begin() + nBootAt);
  EXPECT_EQ(rig.FlashImage(), expected);
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strText.find("CMOS"), std::string::npos);
  EXPECT_EQ(rig.status.m_vecTexts.back(), "BIOS Flash Success!");
}

TEST_F(AwardUpdateTest, StatusTextsNameEachBlockInTurn) {
  SAwardImageRecipe r;
  r.dwRomSize = 0x20000;
  ASSERT_TRUE(rig.Start(r));
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.status.m_vecTexts,
            (std::vector<std::string>{"Erasing Main Block...", "Programming Main Block...",
                                      "Verifying Main Block...", "Erasing DMI Block...",
                                      "Programming DMI Block...", "Erasing PNP Block...",
                                      "Programming PNP Block...", "Erasing Boot Block...",
                                      "Programming Boot Block...", "BIOS Flash Success!"}));
  // Main block of 112 KB: ranges and positions in KB, 4 KB ahead.
  EXPECT_EQ(rig.progress.m_vecRanges.front(), std::make_pair(0, 112));
  EXPECT_EQ(rig.progress.m_vecPositions[1], 4);
  EXPECT_EQ(rig.percent.m_vecTexts.front(), "3%");
}

TEST_F(AwardUpdateTest, AutoRebootRestartsWithoutAsking) {
  SAwardImageRecipe r;
  r.dwRomSize = 0x40000;
  ASSERT_TRUE(rig.Start(r));
  FlashOptions options = DefaultFlashOptions();
  options.AutoRebootSystem = 1;
  options.ClearCMOS = 0;
  options.LoadCMOSDefault = 1;
  ASSERT_TRUE(rig.Update(options));
  CTrace want = CheckTrace(rig.layout);
  want.Append(StagesTrace(rig.layout, 1, false, true))
      .Line("port 70 10")
      .Line("port 71 DD")
      .Line("port 70 11")
      .Line("port 71 CC")
      .Line("port 70 12")
      .Line("port 71 BB");
  EXPECT_EQ(FirstDifference(RenderLog(rig.Board().Log()), want.Lines()), "");
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 1u);  // only the question before writing
  EXPECT_EQ(rig.power.m_vecExitFlags, (std::vector<uint32_t>{kEwxReboot | kEwxForce}));
  EXPECT_EQ(rig.Board().Cmos()[0x11], 0xCC);
}

TEST_F(AwardUpdateTest, RebootQuestionCarriesTheBoardsRebootTextAndYesRestarts) {
  SAwardImageRecipe r;
  r.dwRomSize = 0x20000;
  ASSERT_TRUE(rig.Start(r));
  rig.strRebootText = "Remove the jumper first.";
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));  // Yes, Yes
  ASSERT_EQ(rig.ui.m_vecBoxes.size(), 2u);
  EXPECT_EQ(rig.ui.m_vecBoxes[1].strText,
            "Your BIOS was updated successfully.\nNew BIOS will be effective after system "
            "reboot.\n\nRemove the jumper first.\n\nDo you want to REBOOT now?");
  EXPECT_EQ(rig.power.m_vecExitFlags.size(), 1u);
}

TEST_F(AwardUpdateTest, MainBlockProgressCountsUpInFourKilobyteSteps) {
  SAwardImageRecipe r;
  r.byLayout = 6;
  r.bHole = true;  // main block of 256 KB in a 512 KB ROM
  ASSERT_TRUE(rig.Start(r));
  ASSERT_EQ(rig.layout.dwMainSize, 0x40000u);
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  // The main block's programming steps: the percentages after the fourth
  // 64 KB stage started (hole, DMI, PnP each show 6% .. 100%).
  std::vector<std::string> main;
  const std::vector<std::string>& all = rig.percent.m_vecTexts;
  const size_t nSmall = 16;  // steps of each 64 KB stage
  main.assign(all.begin() + 3 * nSmall, all.begin() + 3 * nSmall + 64);
  EXPECT_EQ(main[0], "1%");
  EXPECT_EQ(main[1], "3%");
  EXPECT_EQ(main[2], "4%");
  EXPECT_EQ(main[63], "100%");
  EXPECT_EQ(all[0], "6%");
}

// ---------------------------------------------------------- refusals --

struct SRefusal {
  const char* pszBreak;
  const char* pszMessage;
  bool bReadsPartNumber;  // refused by the part-number check, after reading the flash's
};

void PrintTo(const SRefusal& r, std::ostream* os) { *os << r.pszBreak; }

class AwardRefusedFiles : public ::testing::TestWithParam<SRefusal> {
 protected:
  SUpdateRig rig;
};

TEST_P(AwardRefusedFiles, ShowTheirMessageAndNeverWrite) {
  SAwardImageRecipe running;
  running.bLock = true;
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecBreaks = {GetParam().pszBreak};
  ASSERT_TRUE(rig.Start(running, &update));
  EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{GetParam().pszMessage}));
  // The whole request sequence: the lock data was read at start, so a
  // refused file costs at most the part-number read.
  CTrace want;
  if (GetParam().bReadsPartNumber) want.Read(0xFFFFFFE8, 16);
  EXPECT_EQ(RenderLog(rig.Board().Log()), want.Lines());
  EXPECT_EQ(rig.ui.m_vecBoxes[0].strCaption, "Tessaro (Update Bios)");
  EXPECT_EQ(rig.ui.m_vecBoxes[0].dwFlags, kMbOk | kMbIconError);
  EXPECT_FALSE(rig.Wrote());
  EXPECT_EQ(rig.Count(winflash::kWritePort), 0u);
  EXPECT_EQ(rig.FlashImage(), rig.flash);
  EXPECT_TRUE(rig.status.m_vecTexts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    BrokenVariants, AwardRefusedFiles,
    ::testing::Values(SRefusal{"size", "BIOS file size error!", false},
                      SRefusal{"size_letter", "BIOS file size error!", false},
                      SRefusal{"checksum", "This file is not a correct BIOS file!", false},
                      SRefusal{"part_number",
                               "The part number of bios file does not match with your "
                               "system!\n\nThis file is not for this system!",
                               true},
                      SRefusal{"lock_flag", "This file does not support BIOS lock function!\n",
                               false},
                      SRefusal{"lock_id",
                               "The BIOS-Lock string of the file does not match with your "
                               "system!",
                               false}));

TEST_F(AwardUpdateTest, ChecksumFromTheLh5BankMustExist) {
  SAwardImageRecipe running;
  running.byLayout = 6;  // checksum code names a -lh5- bank
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.vecBreaks = {"lh5"};
  ASSERT_TRUE(rig.Start(running, &update));
  EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"This file is not a correct BIOS file!"}));
  EXPECT_FALSE(rig.Wrote());
}

TEST_F(AwardUpdateTest, NoToTheQuestionWritesNothing) {
  SAwardImageRecipe r;
  ASSERT_TRUE(rig.Start(r));
  rig.ui.m_queAnswers = {kIdNo};
  EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.ui.m_vecBoxes.size(), 1u);
  EXPECT_FALSE(rig.Wrote());
  EXPECT_EQ(rig.FlashImage(), rig.flash);
  EXPECT_TRUE(rig.system.m_vecPriorities.empty());
}

TEST_F(AwardUpdateTest, PartNumberMismatchAsksOnlyWhenAllowedToIgnore) {
  SAwardImageRecipe running;
  SAwardImageRecipe update = SUpdateRig::NewerBuild(running);
  update.strPartNumber = "OTHER001";
  ASSERT_TRUE(rig.Start(running, &update));
  const std::string strMismatch =
      "The part number of bios file does not match with your system!\n\nThis file is not for "
      "this system!";

  // Not allowed: refused without a question; with -debug both numbers first.
  rig.state.SetDebug(true);
  EXPECT_FALSE(rig.Update(DefaultFlashOptions()));
  EXPECT_EQ(rig.BoxTexts(), (std::vector<std::string>{"MB BIOS PN = KT9S0100\nFile BIOS PN = "
                                                      "OTHER001",
                                                      strMismatch}));
  rig.state.SetDebug(false);

  // Allowed, No: stops before anything is written.
  FlashOptions options = DefaultFlashOptions();
  options.IgnoreBiosPNChk = 1;
  rig.ui.m_vecBoxes.clear();
  rig.ui.m_queAnswers = {kIdNo};
  EXPECT_FALSE(rig.Update(options));
  EXPECT_EQ(rig.BoxTexts(),
            (std::vector<std::string>{strMismatch + "\n\nAre you sure to program?\n"}));
  EXPECT_EQ(rig.ui.m_vecBoxes[0].dwFlags, kMbYesNo | kMbIconQuestion);
  EXPECT_FALSE(rig.Wrote());

  // Allowed, Yes: the update goes on.
  rig.ui.m_vecBoxes.clear();
  rig.ui.m_queAnswers = {kIdYes, kIdYes, kIdNo};
  EXPECT_TRUE(rig.Update(options));
  EXPECT_EQ(rig.FlashImage(), rig.image);
}

TEST_F(AwardUpdateTest, FlashAreasWithoutSignatureAreRewrittenEvenWhenSwitchedOff) {
  SAwardImageRecipe running;
  running.bDmiValid = false;  // the board's DMI block lost its signature
  ASSERT_TRUE(rig.Start(running));
  FlashOptions options = DefaultFlashOptions();
  options.ClearDMI = 0;
  options.ClearPNP = 0;
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(options));
  EXPECT_EQ(rig.usedOptions.ClearDMI, 1);
  EXPECT_EQ(rig.usedOptions.ClearPNP, 0);
  EXPECT_FALSE(rig.Untouched(rig.layout.dwDmiAddr, rig.layout.dwDmiSize));
  EXPECT_TRUE(rig.Untouched(rig.layout.dwPnpAddr, rig.layout.dwPnpSize));
  // The PnP block keeps the board's own data.
  const uint32_t nPnp = rig.layout.dwPnpAddr - rig.layout.dwRomBase;
  const std::vector<uint8_t> now = rig.FlashImage();
  EXPECT_TRUE(std::equal(now.begin() + nPnp, now.begin() + nPnp + rig.layout.dwPnpSize,
                         rig.flash.begin() + nPnp));
}

TEST_F(AwardUpdateTest, NoDmiSignatureCheckWhenTheBiosSaysSo) {
  SAwardImageRecipe running;
  running.bDmiValid = false;
  running.bNoDmiSignature = true;
  ASSERT_TRUE(rig.Start(running));
  FlashOptions options = DefaultFlashOptions();
  options.ClearDMI = 0;
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(options));
  EXPECT_EQ(rig.usedOptions.ClearDMI, 0);
  EXPECT_TRUE(rig.Untouched(rig.layout.dwDmiAddr, rig.layout.dwDmiSize));
}

TEST_F(AwardUpdateTest, ModuleBankBehindThePnpBlockIsKept) {
  SAwardImageRecipe running;
  running.byLayout = 6;
  running.bModuleBank = true;
  // The bank after the PnP block holds the board's own module: neither an
  // option ROM nor a compressed module header.
  rig.editFlash = [](std::vector<uint8_t>& flash) {
    std::fill(flash.begin() + 0x20000, flash.begin() + 0x20010, 0x11);
  };
  ASSERT_TRUE(rig.Start(running));
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  const uint32_t dwBank = rig.layout.dwPnpAddr + rig.layout.dwPnpSize;
  EXPECT_TRUE(rig.Untouched(dwBank, 0x10000));
  const uint32_t nBank = dwBank - rig.layout.dwRomBase;
  std::vector<uint8_t> expected = rig.image;
  std::copy(rig.flash.begin() + nBank, rig.flash.begin() + nBank + 0x10000,
            expected.begin() + nBank);
  EXPECT_EQ(rig.FlashImage(), expected);
}

// ---------------------------------------------------------- direct mode --

TEST_F(AwardUpdateTest, Win9xFamilyUpdatesThroughTheDirectPortWithSmiBrackets) {
  SAwardImageRecipe r;
  r.dwRomSize = 0x40000;
  ASSERT_TRUE(rig.Start(r));
  rig.system.m_version.dwPlatformId = kPlatformWin9x;
  rig.system.m_version.dwMinorVersion = 90;
  CSimAwardDirectIo direct(&rig.Board());
  CAwardBios bios(rig.platform, rig.resources, &direct);
  rig.services.m_vecCalls.clear();
  ASSERT_TRUE(bios.Open());
  EXPECT_TRUE(rig.services.m_vecCalls.empty()) << "no driver service on that family";
  EXPECT_EQ(g_bySmiLevel, 4);
  EXPECT_STREQ(bios.m_szIdLastPart, "D");

  CAwardSaver saver(&bios, nullptr, nullptr, nullptr);
  ASSERT_TRUE(saver.Save("C:\\9x.bin", false));
  EXPECT_EQ(rig.files.m_mapFiles["C:\\9x.bin"], rig.flash);

  rig.Board().Log().Clear();
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  FlashOptions options = DefaultFlashOptions();
  CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
  ASSERT_TRUE(flasher.Update("C:\\bios\\new.bin", &options));
  EXPECT_EQ(rig.FlashImage(), rig.image);
  EXPECT_EQ(rig.Board().Cmos()[0x31], 0xFF);
  EXPECT_EQ(rig.Count(winflash::kProgramNext), 0u) << "nothing went through the device";
  // Every block stage sits in a begin/end bracket; the main block's
  // read-back ends once more after its bracket was closed.
  EXPECT_EQ(rig.Board().SmiDepth(), 0u);
  EXPECT_EQ(rig.Board().SmiUnbalancedEnds(), 1u);
}

}  // namespace
