#include <gtest/gtest.h>

#include "tessaro/award/AwardEngine.h"
#include "tessaro/core/SystemInfo.h"
#include "tests/award/UpdateRig.h"

namespace {

class CRecordingSinks : public IDisplaySinks {
 public:
  std::vector<std::string> m_vecCalls;
  void SetProgressRange(int nLower, int nUpper) override {
    m_vecCalls.push_back("range " + std::to_string(nLower) + " " + std::to_string(nUpper));
  }
  void SetProgressPos(int nPos) override { m_vecCalls.push_back("pos " + std::to_string(nPos)); }
  void SetStatusText(const std::string& s) override { m_vecCalls.push_back("status " + s); }
  void SetPercentText(const std::string& s) override { m_vecCalls.push_back("percent " + s); }
};

TEST(AwardEngine, StartUpSeesTheBoardAndTheWindowItsIdentity) {
  SUpdateRig rig;
  SAwardImageRecipe r;
  ASSERT_TRUE(rig.Start(r));
  CAwardBios bios(rig.platform, rig.resources);
  CNoBoardProbe noAmi;
  CAwardFamilyProbe probe(bios, noAmi);
  EXPECT_FALSE(probe.DetectAmiBios());
  ASSERT_TRUE(probe.OpenAward());
  EXPECT_TRUE(probe.IsAwardBios());
  EXPECT_TRUE(probe.AwardAllowsWindowsFlash());

  CAwardEngine engine(bios);
  EXPECT_EQ(engine.Family(), EBiosFamily::Award);
  EXPECT_EQ(engine.VersionText(), "6A79AK0EC-00-KT9S-D");
  EXPECT_EQ(engine.DateText(), "05/12/2004");
  EXPECT_EQ(engine.FlashPartName(), "SST 49LF004A(B) /3.3V    ");
  std::string strId;
  EXPECT_TRUE(engine.GetBiosId(&strId));
  EXPECT_EQ(strId, "6A79AK0EC-00-KT9S-D");
}

TEST(AwardEngine, UpdateAndSaveReportThroughTheWindowsSinks) {
  SUpdateRig rig;
  SAwardImageRecipe r;
  r.dwRomSize = 0x20000;
  ASSERT_TRUE(rig.Start(r));
  CAwardEngine engine(rig.bios);
  CRecordingSinks sinks;
  rig.ui.m_queAnswers = {kIdYes, kIdNo};
  FlashOptions options = DefaultFlashOptions();
  EXPECT_EQ(engine.Update("C:\\bios\\new.bin", &options, "", sinks), 0u);
  EXPECT_EQ(rig.FlashImage(), rig.image);
  EXPECT_EQ(sinks.m_vecCalls.front(), "range 0 112");
  EXPECT_EQ(sinks.m_vecCalls.back(), "status BIOS Flash Success!");

  sinks.m_vecCalls.clear();
  EXPECT_EQ(engine.Save("C:\\autosave.bin", true, sinks), 0u);
  EXPECT_EQ(rig.files.m_mapFiles["C:\\autosave.bin"], rig.image);
  EXPECT_EQ(sinks.m_vecCalls.front(), "status Backup system BIOS to AUTOSAVE.BIN...");
  EXPECT_EQ(sinks.m_vecCalls.back(), "percent 0%");
}

// Counts what reaches the board's direct-mode side.
class CCountingDirectIo : public IDirectIoPort {
 public:
  explicit CCountingDirectIo(IDirectIoPort& inner) : m_inner(inner) {}
  bool ReadPhysical(uint32_t dwAddress, void* pOut, uint32_t nBytes) override {
    m_vecReads.push_back(dwAddress);
    return m_inner.ReadPhysical(dwAddress, pOut, nBytes);
  }
  bool PortOut(uint16_t wPort, uint8_t byValue) override {
    ++m_nOther;
    return m_inner.PortOut(wPort, byValue);
  }
  bool PortIn(uint16_t wPort, uint8_t* pbyValue) override {
    ++m_nOther;
    return m_inner.PortIn(wPort, pbyValue);
  }
  bool RaiseSmi(uint16_t wPort, SX86Registers* pRegs) override {
    ++m_nOther;
    return m_inner.RaiseSmi(wPort, pRegs);
  }
  std::vector<uint32_t> m_vecReads;
  int m_nOther = 0;

 private:
  IDirectIoPort& m_inner;
};

size_t Accesses(const CSimRequestLog& log, uint8_t byAccess) {
  size_t n = 0;
  for (uint32_t i = 0; i < log.Count(); ++i) n += log.Entry(i)->byAccess == byAccess;
  return n;
}

// The engine wired as the program's entry point wires it: the direct port
// only where the system facts say so. Either way it finds the board; on the
// 9x family only through the port, elsewhere only through the driver.
TEST(AwardEngine, OnlyTheWin9xFamilyGetsTheDirectPortAndEachWayIdentifiesTheBoard) {
  struct SCase {
    const char* pszSystem;
    uint32_t dwPlatform, dwMajor, dwMinor;
    bool bDirect;
  };
  const SCase aCases[] = {
      {"95", kPlatformWin9x, 4, 0, true},  {"98", kPlatformWin9x, 4, 10, true},
      {"Me", kPlatformWin9x, 4, 90, true}, {"2000", kPlatformWinNT, 5, 0, false},
      {"XP", kPlatformWinNT, 5, 1, false}, {"7", kPlatformWinNT, 6, 1, false},
  };
  for (const SCase& c : aCases) {
    SUpdateRig rig;
    SAwardImageRecipe r;
    ASSERT_TRUE(rig.Start(r)) << c.pszSystem;
    rig.system.m_version.dwPlatformId = c.dwPlatform;
    rig.system.m_version.dwMajorVersion = c.dwMajor;
    rig.system.m_version.dwMinorVersion = c.dwMinor;
    CSimAwardDirectIo board(&rig.Board());
    CCountingDirectIo direct(board);
    const CSystemInfo info(rig.system, rig.power, rig.ui);
    IDirectIoPort* pDirect = SelectDirectIoPort(info, direct);
    EXPECT_EQ(c.bDirect ? &direct : nullptr, pDirect) << c.pszSystem;

    rig.Board().Log().Clear();
    rig.services.m_vecCalls.clear();
    const size_t nOpened = rig.simDevices.Opened().size();
    CAwardBios bios(rig.platform, rig.resources, pDirect);
    ASSERT_TRUE(bios.Open()) << c.pszSystem;
    EXPECT_TRUE(bios.IsAwardBios()) << c.pszSystem;
    EXPECT_STREQ(bios.m_szBiosId, "6A79AK0EC-00-KT9S-D") << c.pszSystem;
    EXPECT_STREQ(bios.m_szIdLastPart, "D") << c.pszSystem;
    EXPECT_STREQ(bios.m_szFlashName, "SST 49LF004A(B) /3.3V    ") << c.pszSystem;
    if (c.bDirect) {
      EXPECT_EQ(std::vector<uint32_t>{0xF0000}, direct.m_vecReads) << c.pszSystem;
      EXPECT_EQ(0u, Accesses(rig.Board().Log(), kSimIoControl)) << c.pszSystem;
      EXPECT_EQ(1u, Accesses(rig.Board().Log(), kSimPhysRead)) << c.pszSystem;
      EXPECT_EQ(nOpened, rig.simDevices.Opened().size()) << c.pszSystem;
      EXPECT_TRUE(rig.services.m_vecCalls.empty()) << c.pszSystem;
    } else {
      EXPECT_TRUE(direct.m_vecReads.empty()) << c.pszSystem;
      EXPECT_EQ(0, direct.m_nOther) << c.pszSystem;
      EXPECT_EQ(1u, rig.Count(winflash::kReadPhysical)) << c.pszSystem;
      EXPECT_EQ(0u, Accesses(rig.Board().Log(), kSimPhysRead)) << c.pszSystem;
      EXPECT_EQ(0u, Accesses(rig.Board().Log(), kSimSmi)) << c.pszSystem;
      EXPECT_EQ(nOpened + 1, rig.simDevices.Opened().size()) << c.pszSystem;
    }
  }
}

}  // namespace
