// Every fault the bench can inject, through each Award workflow: the update
// of each layout family and the save. Whatever happens, the program never
// claims a success it did not have, asks no reboot question after a
// failure, programs nothing into a block whose erase failed and sends no
// erase or program after the device stopped answering.
#include <gtest/gtest.h>

#include "tessaro/award/AwardSaver.h"
#include "tessaro/core/Switches.h"
#include "tests/award/FaultRig.h"

namespace {

const SFamily kFamilies[] = {
    {"type1_256K", 1, 0x40000, false},     {"type2_512K", 2, 0x80000, false},
    {"type3_512K", 3, 0x80000, false},     {"type4_512K", 4, 0x80000, false},
    {"type5_1M", 5, 0x100000, false},      {"type6_512K", 6, 0x80000, false},
    {"type6_hole_512K", 6, 0x80000, true}, {"type7_384K", 7, 0x60000, false},
};

SAwardImageRecipe RecipeFor(const SFamily& f) {
  SAwardImageRecipe r;
  r.byLayout = f.byLayout;
  r.dwRomSize = f.dwRomSize;
  r.bHole = f.bHole;
  if (f.byLayout == 3) r.bDmi = false;
  return r;
}

constexpr uint32_t kVerifyError = 764;    // "Verify error!\nPlease reload BIOS again."
constexpr uint32_t kFwhProtected = 789;   // the boot block of this part refused its erase
constexpr uint32_t kReadFileError = 758;  // "Read File Error!"
constexpr uint32_t kReadRomFail = 787;    // "Read ROM data fail!"
constexpr uint32_t kCreateFileFail = 756;
constexpr uint32_t kAnyFailure = ~0u;  // a failure whose message depends on where it hit

enum class EFault {
  None,
  EraseFailFirst,
  EraseFailMiddle,
  EraseFailLast,
  StuckBits,
  SilentProgramMiddle,
  SilentProgramLast,
  PowerCut,  // nAt: sixteenths of the clean run's requests (odd values spread it)
  SmiBusy,
  RequestFailsErase,
  RequestFailsProgram,
  RequestFailsRead,
  FileReadFails,
  FileWriteFails,
};

struct SFaultRow {
  const char* pszName;
  EFault eFault;
  uint32_t nAt;
  bool bUpdate;       // the row applies to the update (else to the save)
  uint32_t nMessage;  // error expected (0: the run succeeds)
};

const SFaultRow kRows[] = {
    {"clean", EFault::None, 0, true, 0},
    {"erase fails: first block", EFault::EraseFailFirst, 0, true, kVerifyError},
    {"erase fails: middle block", EFault::EraseFailMiddle, 0, true, kVerifyError},
    {"erase fails: last block", EFault::EraseFailLast, 0, true, kFwhProtected},
    {"stuck bits", EFault::StuckBits, 0, true, kVerifyError},
    {"silent program: middle", EFault::SilentProgramMiddle, 0, true, kVerifyError},
    {"silent program: last", EFault::SilentProgramLast, 0, true, kVerifyError},
    {"power cut", EFault::PowerCut, 1, true, kAnyFailure},
    {"power cut", EFault::PowerCut, 3, true, kAnyFailure},
    {"power cut", EFault::PowerCut, 5, true, kAnyFailure},
    {"power cut", EFault::PowerCut, 7, true, kAnyFailure},
    {"power cut", EFault::PowerCut, 9, true, kAnyFailure},
    {"power cut", EFault::PowerCut, 11, true, kAnyFailure},
    {"power cut", EFault::PowerCut, 13, true, kAnyFailure},
    {"power cut", EFault::PowerCut, 15, true, kAnyFailure},
    {"SMI busy (driver mode needs no SMI answer)", EFault::SmiBusy, 0, true, 0},
    {"driver refuses the first erase", EFault::RequestFailsErase, 0, true, kVerifyError},
    {"driver refuses a program", EFault::RequestFailsProgram, 0, true, kVerifyError},
    {"driver refuses the last read-back", EFault::RequestFailsRead, 0, true, kVerifyError},
    {"file read fails half-way", EFault::FileReadFails, 0, true, kReadFileError},

    {"save: clean", EFault::None, 0, false, 0},
    {"save: failing erase blocks do not matter", EFault::EraseFailMiddle, 0, false, 0},
    {"save: SMI busy", EFault::SmiBusy, 0, false, 0},
    {"save: power cut", EFault::PowerCut, 1, false, kReadRomFail},
    {"save: power cut", EFault::PowerCut, 3, false, kReadRomFail},
    {"save: power cut", EFault::PowerCut, 5, false, kReadRomFail},
    {"save: power cut", EFault::PowerCut, 7, false, kReadRomFail},
    {"save: power cut", EFault::PowerCut, 9, false, kReadRomFail},
    {"save: power cut", EFault::PowerCut, 11, false, kReadRomFail},
    {"save: power cut", EFault::PowerCut, 13, false, kReadRomFail},
    {"save: power cut", EFault::PowerCut, 15, false, kReadRomFail},
    {"save: driver refuses a read", EFault::RequestFailsRead, 0, false, kReadRomFail},
    {"save: file write fails half-way", EFault::FileWriteFails, 0, false, kCreateFileFail},
};

// What a clean run of a workflow looks like on the board: requests up to the
// workflow's start and during it, and where its kinds of request fall.
struct SCleanRun {
  uint32_t nBefore = 0;  // requests answered before the workflow (Open)
  uint32_t nDuring = 0;
  uint32_t nFirstErase = 0, nMiddleProgram = 0, nLastRead = 0;  // 1-based, in the workflow
  uint32_t nPrograms = 0;
};

bool RunWorkflow(SFaultRig& rig, bool bUpdate) {
  if (bUpdate) {
    rig.ui.m_queAnswers = {kIdYes, kIdNo};
    return rig.Update(DefaultFlashOptions());
  }
  rig.Board().Log().Clear();
  CAwardSaver saver(&rig.bios, &rig.progress, &rig.status, &rig.percent);
  return saver.Save("C:\\bios\\saved.bin", false);
}

SCleanRun MeasureClean(const SFamily& f, bool bUpdate) {
  SCleanRun run;
  SFaultRig rig;
  if (!rig.Start(RecipeFor(f))) return run;
  run.nBefore = rig.Board().Requests();
  RunWorkflow(rig, bUpdate);
  run.nDuring = rig.Board().Requests() - run.nBefore;
  const CSimRequestLog& log = rig.Board().Log();
  for (uint32_t i = 0; i < log.Count(); ++i)
    run.nPrograms += log.Entry(i)->dwCode == winflash::kProgramNext;
  uint32_t nProgram = 0;
  for (uint32_t i = 0; i < log.Count(); ++i) {
    const uint32_t dwCode = log.Entry(i)->dwCode;
    if (dwCode == winflash::kEraseBlock && !run.nFirstErase) run.nFirstErase = i + 1;
    if (dwCode == winflash::kProgramNext && ++nProgram == run.nPrograms / 2)
      run.nMiddleProgram = i + 1;
    if (dwCode == winflash::kReadNext) run.nLastRead = i + 1;
  }
  return run;
}

// The erase blocks of the board, lowest first.
std::vector<uint32_t> EraseBlocks(const SAwardImageLayout& layout) {
  std::vector<uint32_t> blocks;
  uint32_t dwAt = layout.dwRomBase;
  for (const auto& region : layout.vecEraseMap)
    for (uint32_t n = 0; n < region.second; ++n, dwAt += region.first * 1024u)
      blocks.push_back(dwAt);
  return blocks;
}

void Inject(SFaultRig& rig, const SFaultRow& row, const SCleanRun& clean) {
  // The rig knows the board's layout when it applies the configuration.
  rig.editConfig = [&rig, row, clean](SSimAwardConfig& cfg) {
    const std::vector<uint32_t> blocks = EraseBlocks(rig.layout);
    switch (row.eFault) {
      case EFault::EraseFailFirst:
        cfg.adwEraseFail[cfg.nEraseFails++] = blocks.front();
        break;
      case EFault::EraseFailMiddle:
        cfg.adwEraseFail[cfg.nEraseFails++] = blocks[blocks.size() / 2];
        break;
      case EFault::EraseFailLast:
        cfg.adwEraseFail[cfg.nEraseFails++] = blocks.back();
        break;
      case EFault::StuckBits:
        cfg.nStuckBits = 16;
        cfg.dwSeed = 7;
        break;
      case EFault::SilentProgramMiddle:
        cfg.dwSilentProgramAt = clean.nPrograms / 2;
        break;
      case EFault::SilentProgramLast:
        cfg.dwSilentProgramAt = clean.nPrograms;
        break;
      case EFault::PowerCut:
        cfg.dwPowerCutAfter = clean.nBefore + clean.nDuring * row.nAt / 16;
        break;
      case EFault::SmiBusy:
        cfg.bySmiBusy = 1;
        break;
      default:
        break;
    }
  };
  switch (row.eFault) {
    case EFault::RequestFailsErase:
      rig.m_nFailAt = clean.nBefore + clean.nFirstErase;
      break;
    case EFault::RequestFailsProgram:
      rig.m_nFailAt = clean.nBefore + clean.nMiddleProgram;
      break;
    case EFault::RequestFailsRead:
      rig.m_nFailAt = clean.nBefore + clean.nLastRead;
      break;
    default:
      break;
  }
}

class AwardFaultMatrix : public ::testing::TestWithParam<SFamily> {};

TEST_P(AwardFaultMatrix, NoFalseSuccessNoWriteAfterAFailureAndTheDocumentedMessage) {
  const SFamily& f = GetParam();
  const SCleanRun cleanUpdate = MeasureClean(f, true);
  const SCleanRun cleanSave = MeasureClean(f, false);
  ASSERT_GT(cleanUpdate.nDuring, 0u);
  ASSERT_GT(cleanSave.nDuring, 0u);
  for (const SFaultRow& row : kRows) {
    SCOPED_TRACE(std::string(row.pszName) +
                 (row.nAt ? " at " + std::to_string(row.nAt) + "/16" : ""));
    SFaultRig rig;
    const SCleanRun& clean = row.bUpdate ? cleanUpdate : cleanSave;
    Inject(rig, row, clean);
    ASSERT_TRUE(rig.Start(RecipeFor(f)));
    if (row.eFault == EFault::FileReadFails) rig.flaky.m_nReadable = f.dwRomSize / 2;
    if (row.eFault == EFault::FileWriteFails) rig.flaky.m_nRoom = f.dwRomSize / 2;
    const std::vector<uint8_t> before = rig.FlashImage();
    const bool bOk = RunWorkflow(rig, row.bUpdate);
    const std::vector<uint8_t> after = rig.FlashImage();

    // Success only when the work was done (a failed read-back may leave a
    // good flash that the program could not confirm).
    const auto itSaved = rig.flaky.m_mapFiles.find("C:\\bios\\saved.bin");
    const bool bSaved = itSaved != rig.flaky.m_mapFiles.end();
    const bool bDone = row.bUpdate ? after == rig.image : bSaved && itSaved->second == before;
    if (bOk) {
      EXPECT_TRUE(bDone);
    }
    if (row.nMessage == 0) {
      EXPECT_TRUE(bOk);
      EXPECT_TRUE(rig.Errors().empty());
    } else if (row.eFault != EFault::StuckBits || !bOk) {
      // Stuck bits may all sit where the image wants their value.
      EXPECT_FALSE(bOk);
      EXPECT_EQ(rig.SuccessTextShown(), "");
      const std::vector<uint32_t> errors = rig.Errors();
      ASSERT_EQ(errors.size(), 1u) << "one error box for one failure";
      if (row.nMessage != kAnyFailure) {
        EXPECT_EQ(errors[0], row.nMessage);
      } else {
        EXPECT_NE(errors[0], 0u) << rig.ui.m_vecBoxes.back().strText;
      }
      if (row.bUpdate) {
        EXPECT_EQ(rig.Board().Cmos()[0x10], 0x00) << "CMOS cleared after a failure";
      } else {
        EXPECT_EQ(rig.status.m_vecTexts.back(), "BIOS Save Error!");
        EXPECT_FALSE(bSaved) << "no partial backup";
      }
    }
    EXPECT_EQ(rig.WriteAfterFailure(), "");
    if (row.eFault == EFault::PowerCut) {
      // The program stops talking to a board that no longer answers.
      uint32_t nUnanswered = 0;
      for (uint32_t i = 0; i < rig.Board().Log().Count(); ++i)
        nUnanswered += !rig.Board().Log().Entry(i)->bySucceeded;
      EXPECT_LE(nUnanswered, 2u);
    }
    if (!row.bUpdate) {
      EXPECT_EQ(after, before) << "a save writes nothing to the flash";
    }
    // The board leaves the SMI bracket balanced whatever happened.
    EXPECT_EQ(rig.Board().SmiUnbalancedEnds(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, AwardFaultMatrix, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<SFamily>& info) {
                           return std::string(info.param.pszName);
                         });

// The Windows 9x family raises the SMIs itself: a handler that never
// answers hands back its own registers, which must not pass for flash data.
TEST(AwardFaultMatrixDirect, SilentSmiHandlerEndsUpdateAndSaveInTheReadFailure) {
  for (const bool bUpdate : {true, false}) {
    SCOPED_TRACE(bUpdate ? "update" : "save");
    SFaultRig rig;
    rig.editConfig = [](SSimAwardConfig& cfg) { cfg.bySmiBusy = 1; };
    SAwardImageRecipe r;
    r.dwRomSize = 0x40000;
    ASSERT_TRUE(rig.Start(r));
    rig.system.m_version.dwPlatformId = kPlatformWin9x;
    rig.system.m_version.dwMinorVersion = 90;
    CSimAwardDirectIo direct(&rig.Board());
    CAwardBios bios(rig.platform, rig.resources, &direct);
    ASSERT_TRUE(bios.Open());
    rig.Board().Log().Clear();
    rig.ui.m_queAnswers = {kIdYes, kIdNo};
    bool bOk = true;
    if (bUpdate) {
      FlashOptions options = DefaultFlashOptions();
      CAwardFlasher flasher(&bios, nullptr, &rig.status, nullptr);
      bOk = flasher.Update("C:\\bios\\new.bin", &options);
    } else {
      CAwardSaver saver(&bios, nullptr, &rig.status, nullptr);
      bOk = saver.Save("C:\\bios\\saved.bin", false);
    }
    EXPECT_FALSE(bOk);
    EXPECT_EQ(rig.Errors(), std::vector<uint32_t>{kReadRomFail});
    EXPECT_EQ(rig.SuccessTextShown(), "");
    EXPECT_EQ(rig.FlashImage(), rig.flash);
    EXPECT_EQ(rig.flaky.m_mapFiles.count("C:\\bios\\saved.bin"), 0u);
  }
}

}  // namespace
