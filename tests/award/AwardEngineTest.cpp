#include <gtest/gtest.h>

#include "tessaro/award/AwardEngine.h"
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

}  // namespace
