// Power cut during an update, then the machine comes back: the bench is
// restarted from the state file the cut left, the program starts again,
// still knows the board (the running BIOS's copy is not the flash), warns
// when the boot block was left incomplete, and the same file written again
// brings the flash to the expected image.
#include <gtest/gtest.h>

#include <cstddef>

#include "tessaro/award/AwardEngine.h"
#include "tests/award/FaultRig.h"

namespace {

const SFamily kFamilies[] = {
    {"type1_256K", 1, 0x40000, false},
    {"type4_512K", 4, 0x80000, false},
    {"type6_hole_512K", 6, 0x80000, true},
    {"type7_384K", 7, 0x60000, false},
};

SAwardImageRecipe RecipeFor(const SFamily& f) {
  SAwardImageRecipe r;
  r.byLayout = f.byLayout;
  r.dwRomSize = f.dwRomSize;
  r.bHole = f.bHole;
  if (f.byLayout == 3) r.bDmi = false;
  return r;
}

// The program's ports on a board restarted from a state file.
struct SRestartRig : SAwardRig {
  SRestartRig() { platform.pDevices = &simDevices; }
  bool Start(const std::string& strStatePath) {
    std::string strError;
    if (!bench.OpenState(strStatePath, &strError)) {
      fprintf(stderr, "bench: %s\n", strError.c_str());
      return false;
    }
    simDevices.AddAwardBoard(&bench.Board());
    return true;
  }
  std::vector<uint8_t> FlashImage() {
    const uint8_t* p = bench.Board().Flash();
    return std::vector<uint8_t>(p, p + bench.Board().Config().dwRomSize);
  }
  CSimAwardBench bench;
  CSimDevicePort simDevices;
};

// The state a cut board leaves, as the restarted machine finds it: the
// same board without the fault that cut its power.
std::string WriteRestartState(const CSimAwardBoard& board, const std::string& strName) {
  std::vector<uint8_t> blob(board.StateBlob(), board.StateBlob() + board.StateSize());
  const uint32_t dwNoCut = 0;
  std::memcpy(blob.data() + offsetof(SSimAwardConfig, dwPowerCutAfter), &dwNoCut, 4);
  const std::string strPath = ::testing::TempDir() + strName;
  return SimWriteFile(strPath, blob.data(), blob.size()) ? strPath : std::string();
}

std::string Text(uint32_t nId) { return SFaultRig::Text(nId); }

// The boot block of the flash as the board started with it.
bool BootBlockIntact(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& running,
                     const SAwardImageLayout& layout) {
  const size_t nAt = layout.dwBootAddr - layout.dwRomBase;
  return std::equal(flash.begin() + nAt, flash.begin() + nAt + layout.dwBootSize,
                    running.begin() + nAt);
}

class AwardPowerCutRecovery : public ::testing::TestWithParam<SFamily> {};

TEST_P(AwardPowerCutRecovery, RestartedBoardIsKnownWarnsWhenItCannotBootAndTakesTheSameFile) {
  const SFamily& f = GetParam();
  // Cut points: spread over the whole update, and inside the boot block's
  // stage, which comes last and is short: right after its erase, half-way
  // through its programming, before its last program request.
  std::vector<std::pair<std::string, uint32_t>> cuts;
  {
    SFaultRig clean;
    ASSERT_TRUE(clean.Start(RecipeFor(f)));
    const uint32_t nBefore = clean.Board().Requests();
    clean.ui.m_queAnswers = {kIdYes, kIdNo};
    ASSERT_TRUE(clean.Update(DefaultFlashOptions()));
    const uint32_t nDuring = clean.Board().Requests() - nBefore;
    for (uint32_t n = 1; n < 16; n += 2)
      cuts.push_back({std::to_string(n) + "/16 of the update", nBefore + nDuring * n / 16});
    const CSimRequestLog& log = clean.Board().Log();
    uint32_t nBootErase = 0, nLastProgram = 0;
    for (uint32_t i = 0; i < log.Count(); ++i) {
      const SSimLogEntry& e = *log.Entry(i);
      if (e.dwCode == winflash::kEraseBlock && e.InU32(0) >= clean.layout.dwBootAddr && !nBootErase)
        nBootErase = i + 1;
      if (e.dwCode == winflash::kProgramNext) nLastProgram = i + 1;
    }
    ASSERT_GT(nBootErase, 0u);
    cuts.push_back({"after the boot block's erase", nBefore + nBootErase});
    cuts.push_back({"half-way through the boot block", nBefore + (nBootErase + nLastProgram) / 2});
    cuts.push_back({"before the boot block's last program", nBefore + nLastProgram - 1});
  }
  size_t nWarned = 0;
  for (const auto& point : cuts) {
    SCOPED_TRACE("cut " + point.first);
    SFaultRig cut;
    const uint32_t nCutAfter = point.second;
    cut.editConfig = [nCutAfter](SSimAwardConfig& cfg) { cfg.dwPowerCutAfter = nCutAfter; };
    ASSERT_TRUE(cut.Start(RecipeFor(f)));
    cut.ui.m_queAnswers = {kIdYes};
    EXPECT_FALSE(cut.Update(DefaultFlashOptions()));
    ASSERT_TRUE(cut.Board().PoweredOff());
    const std::string strState = WriteRestartState(cut.Board(), std::string(f.pszName) + ".state");
    ASSERT_FALSE(strState.empty());

    SRestartRig again;
    ASSERT_TRUE(again.Start(strState));
    CAwardBios bios(again.platform, again.resources);
    CNoBoardProbe noAmi;
    CAwardFamilyProbe probe(bios, noAmi);
    ASSERT_TRUE(probe.OpenAward());
    EXPECT_TRUE(probe.IsAwardBios());
    EXPECT_STREQ(bios.m_szBiosId, "6A79AK0EC-00-KT9S-D");
    EXPECT_STREQ(bios.m_szBiosDate, "05/12/2004");

    // The warning exactly when the boot block no longer is what the board
    // runs and has erased cells in it.
    const std::vector<uint8_t> flash = again.FlashImage();
    const bool bIntact = BootBlockIntact(flash, cut.flash, cut.layout);
    const bool bWarned = !again.ui.m_vecBoxes.empty();
    if (bWarned) {
      ++nWarned;
      ASSERT_EQ(again.ui.m_vecBoxes.size(), 1u);
      EXPECT_EQ(again.ui.m_vecBoxes[0].strText, Text(805));
      EXPECT_EQ(again.ui.m_vecBoxes[0].dwFlags & kMbIconError, kMbIconError);
      EXPECT_FALSE(bIntact);
      // Keeping the boot block cannot bring this board back: refused before
      // the question, nothing written.
      again.ui.m_vecBoxes.clear();
      again.files.m_mapFiles["C:\\bios\\new.bin"] = cut.image;
      FlashOptions keep = DefaultFlashOptions();
      keep.BootBlock = 0;
      CAwardFlasher keeper(&bios, nullptr, nullptr, nullptr);
      EXPECT_FALSE(keeper.Update("C:\\bios\\new.bin", &keep));
      ASSERT_EQ(again.ui.m_vecBoxes.size(), 1u);
      EXPECT_EQ(again.ui.m_vecBoxes[0].strText, Text(784));
      EXPECT_EQ(again.FlashImage(), flash);
    } else {
      EXPECT_TRUE(bIntact || flash == cut.image) << "an incomplete boot block went unreported";
    }

    // The same file again.
    again.ui.m_vecBoxes.clear();
    again.files.m_mapFiles["C:\\bios\\new.bin"] = cut.image;
    again.ui.m_queAnswers = {kIdYes, kIdNo};
    FlashOptions options = DefaultFlashOptions();
    CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
    EXPECT_TRUE(flasher.Update("C:\\bios\\new.bin", &options));
    EXPECT_EQ(again.FlashImage(), cut.image);
    ASSERT_EQ(again.ui.m_vecBoxes.size(), 2u);
    EXPECT_EQ(again.ui.m_vecBoxes[1].strText.rfind("Your BIOS was updated successfully", 0), 0u);
  }
  // The three cuts inside the boot block's stage leave it incomplete.
  EXPECT_GE(nWarned, 3u);
}

INSTANTIATE_TEST_SUITE_P(Layouts, AwardPowerCutRecovery, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<SFamily>& info) {
                           return std::string(info.param.pszName);
                         });

// A finished update the user did not yet restart for differs from the
// running BIOS everywhere, but is whole: no warning.
TEST(AwardBootBlockCheck, CompletedUpdateBeforeTheRestartIsNotTakenForADamagedOne) {
  SFaultRig rig;
  ASSERT_TRUE(rig.Start(SAwardImageRecipe()));
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  ASSERT_TRUE(rig.Update(DefaultFlashOptions()));
  EXPECT_FALSE(BootBlockIntact(rig.FlashImage(), rig.flash, rig.layout));
  EXPECT_FALSE(rig.bios.BootBlockDamaged());
  // One erased piece in the middle of the boot block is enough.
  const uint32_t dwPiece = rig.layout.dwBootAddr + 0x1000;
  uint8_t* pFlash = const_cast<uint8_t*>(rig.Board().Flash());
  std::memset(pFlash + (dwPiece - rig.layout.dwRomBase), 0xFF, 0x1000);
  EXPECT_TRUE(rig.bios.BootBlockDamaged());
}

}  // namespace
