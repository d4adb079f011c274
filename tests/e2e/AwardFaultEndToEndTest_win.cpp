// Faults of the board through the real WinFlash.sys under Wine: a failing
// erase block and a power cut in the middle of the boot block, then the
// machine restarted from the state file the driver wrote through, the
// program started again and the same file written once more. A 128 KB
// board keeps each scenario to seconds.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fake/FakeDevicePort.h"
#include "platform/fake/Fakes.h"
#include "platform/win/Platform_win.h"
#include "sim/AwardImageBuilder.h"
#include "sim/SimBench.h"
#include "tessaro/award/AwardEngine.h"
#include "tessaro/award/AwardFlasher.h"
#include "tessaro/core/FamilyProbe.h"
#include "tessaro/core/Resources.h"
#include "tests/award/UpdateRig.h"
#include "tests/support/BenchDriver_win.h"

namespace {

constexpr char kVerifyError[] = "Verify error!\nPlease reload BIOS again.";

// A 128 KB board and its update, and the request numbers (counted from the
// board's power-up) a clean run has on the in-process bench: the driver
// answers the same sequence.
struct SScenario {
  SUpdateRig rig;
  uint32_t nMiddleBlock = 0;     // physical address of a middle erase block
  uint32_t nCutInBootBlock = 0;  // half-way through the boot block's programs
  bool Prepare() {
    SAwardImageRecipe r;
    r.dwRomSize = 0x20000;
    if (!rig.Start(r)) return false;
    const uint32_t nBefore = rig.Board().Requests();
    rig.ui.m_queAnswers = {IDYES, IDNO};
    if (!rig.Update(DefaultFlashOptions())) return false;
    const CSimRequestLog& log = rig.Board().Log();
    uint32_t nBootErase = 0, nLastProgram = 0;
    for (uint32_t i = 0; i < log.Count(); ++i) {
      const SSimLogEntry& e = *log.Entry(i);
      if (e.dwCode == winflash::kEraseBlock && e.InU32(0) >= rig.layout.dwBootAddr && !nBootErase)
        nBootErase = i + 1;
      if (e.dwCode == winflash::kProgramNext) nLastProgram = i + 1;
    }
    nCutInBootBlock = nBefore + (nBootErase + nLastProgram) / 2;
    std::vector<uint32_t> blocks;
    uint32_t dwAt = rig.layout.dwRomBase;
    for (const auto& region : rig.layout.vecEraseMap)
      for (uint32_t n = 0; n < region.second; ++n, dwAt += region.first * 1024u)
        blocks.push_back(dwAt);
    // The main block spans the first erase blocks; the failing one is
    // inside it, after the first.
    nMiddleBlock = blocks[1];
    return nBootErase != 0 && nMiddleBlock < rig.layout.dwBootAddr;
  }
};

// The board as a state file the driver loads beside its image.
bool WriteState(const std::string& strPath, const SSimAwardConfig& cfg,
                const std::vector<uint8_t>& flash, const std::vector<uint8_t>& segment) {
  CSimAwardBench bench;
  std::string strError;
  if (!bench.Open(cfg, flash, &segment, &strError)) return false;
  return SimWriteFile(strPath, bench.Board().StateBlob(), bench.Board().StateSize());
}

SSimAwardConfig ConfigOf(const SUpdateRig& rig) {
  SSimAwardConfig cfg;
  cfg.dwRomSize = static_cast<uint32_t>(rig.flash.size());
  cfg.nEraseRegions = static_cast<uint32_t>(rig.layout.vecEraseMap.size());
  for (size_t i = 0; i < rig.layout.vecEraseMap.size(); ++i)
    cfg.aEraseRegions[i] = {rig.layout.vecEraseMap[i].first * 1024u,
                            rig.layout.vecEraseMap[i].second};
  return cfg;
}

// The program's ports on Wine: Win32 everywhere but the message boxes and
// the restart, and a device port that keeps every request it passes on.
struct SWinePorts {
  SWinePorts() : devices(nullptr, GetWin32Platform().pDevices) {
    platform = GetWin32Platform();
    platform.pUi = &ui;
    platform.pFileDialogs = &ui;
    platform.pPower = &power;
    platform.pDevices = &devices;
  }
  CFakeUi ui;
  CFakePowerPort power;
  CFakeDevicePort devices;
  SPlatform platform;
};

class AwardFaultEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scenario.Prepare());
    const std::string bin = BinaryDir();
    work = bin + "\\tests\\award\\e2e-faults";
    CreateDirectoryA(work.c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileA((bin + "\\bin\\WinFlash.sys").c_str(), (work + "\\WinFlash.sys").c_str(), FALSE));
    RemoveWinFlashService();
    ASSERT_TRUE(SetCurrentDirectoryA(work.c_str()));
    imagePath = work + "\\update.bin";
    ASSERT_TRUE(SimWriteFile(imagePath, scenario.rig.image.data(), scenario.rig.image.size()));
  }
  void TearDown() override { RemoveWinFlashService(); }
  std::string StatePath() const { return work + "\\WinFlash.state"; }
  // The flash as the driver left it in its state file.
  std::vector<uint8_t> FlashFromState() {
    CSimAwardBench bench;
    std::string strError;
    if (!bench.OpenState(StatePath(), &strError)) return {};
    const uint8_t* p = bench.Board().Flash();
    return std::vector<uint8_t>(p, p + bench.Board().Config().dwRomSize);
  }

  SScenario scenario;
  std::string work, imagePath;
};

TEST_F(AwardFaultEndToEnd, EraseFailureInAMiddleBlockEndsInTheVerifyErrorAndWritesNoFurther) {
  SSimAwardConfig cfg = ConfigOf(scenario.rig);
  cfg.adwEraseFail[cfg.nEraseFails++] = scenario.nMiddleBlock;
  ASSERT_TRUE(WriteState(StatePath(), cfg, scenario.rig.flash, scenario.rig.segment));

  SWinePorts ports;
  CResources resources(*ports.platform.pModules);
  CAwardBios bios(ports.platform, resources);
  ASSERT_TRUE(bios.Open());
  ports.ui.m_queAnswers = {IDYES};
  FlashOptions options = DefaultFlashOptions();
  CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
  EXPECT_FALSE(flasher.Update(imagePath, &options));
  ASSERT_EQ(ports.ui.m_vecBoxes.size(), 2u) << "the question and one error, no reboot question";
  EXPECT_EQ(ports.ui.m_vecBoxes[1].strText, kVerifyError);

  // The erase walk stopped at the failing block: no erase above it and no
  // program anywhere.
  size_t nPrograms = 0;
  uint32_t dwHighestErase = 0;
  for (const auto& request : ports.devices.m_vecRequests) {
    nPrograms += request.dwCode == winflash::kProgramNext;
    if (request.dwCode == winflash::kEraseBlock)
      dwHighestErase = std::max(dwHighestErase, winflash::LoadU32(request.vecIn.data()));
  }
  EXPECT_EQ(nPrograms, 0u);
  EXPECT_EQ(dwHighestErase, scenario.nMiddleBlock);
  bios.Close();
}

TEST_F(AwardFaultEndToEnd, PowerCutInTheBootBlockIsReportedOnRestartAndTheSameFileRecovers) {
  SSimAwardConfig cfg = ConfigOf(scenario.rig);
  cfg.dwPowerCutAfter = scenario.nCutInBootBlock;
  ASSERT_TRUE(WriteState(StatePath(), cfg, scenario.rig.flash, scenario.rig.segment));
  {
    SWinePorts ports;
    CResources resources(*ports.platform.pModules);
    CAwardBios bios(ports.platform, resources);
    ASSERT_TRUE(bios.Open());
    ports.ui.m_queAnswers = {IDYES};
    FlashOptions options = DefaultFlashOptions();
    CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
    EXPECT_FALSE(flasher.Update(imagePath, &options));
    ASSERT_EQ(ports.ui.m_vecBoxes.size(), 2u);
    EXPECT_EQ(ports.ui.m_vecBoxes[1].strText, kVerifyError);
    bios.Close();
  }
  // The machine comes back: the driver is loaded afresh from the state it
  // wrote through, without the fault that cut the power.
  RemoveWinFlashService();
  std::vector<uint8_t> blob;
  ASSERT_TRUE(SimReadFile(StatePath(), 1 << 22, &blob));
  const uint32_t dwNoCut = 0;
  std::memcpy(blob.data() + offsetof(SSimAwardConfig, dwPowerCutAfter), &dwNoCut, 4);
  ASSERT_TRUE(SimWriteFile(StatePath(), blob.data(), blob.size()));

  SWinePorts ports;
  CResources resources(*ports.platform.pModules);
  CAwardBios bios(ports.platform, resources);
  CNoBoardProbe noAmi;
  CAwardFamilyProbe probe(bios, noAmi);
  ASSERT_TRUE(probe.OpenAward());
  EXPECT_TRUE(probe.IsAwardBios());
  EXPECT_STREQ(bios.m_szBiosId, "6A79AK0EC-00-KT9S-D");
  ASSERT_EQ(ports.ui.m_vecBoxes.size(), 1u) << "the incomplete boot block is reported at start";
  EXPECT_EQ(ports.ui.m_vecBoxes[0].strText.rfind("The boot block of the BIOS", 0), 0u);

  ports.ui.m_vecBoxes.clear();
  ports.ui.m_queAnswers = {IDYES, IDNO};
  FlashOptions options = DefaultFlashOptions();
  CAwardFlasher flasher(&bios, nullptr, nullptr, nullptr);
  EXPECT_TRUE(flasher.Update(imagePath, &options));
  ASSERT_EQ(ports.ui.m_vecBoxes.size(), 2u);
  EXPECT_EQ(ports.ui.m_vecBoxes[1].strText.rfind("Your BIOS was updated successfully", 0), 0u);
  bios.Close();
  RemoveWinFlashService();
  EXPECT_TRUE(FlashFromState() == scenario.rig.image);
}

}  // namespace
