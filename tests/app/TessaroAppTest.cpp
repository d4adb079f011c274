#include <gtest/gtest.h>

#include "platform/WinTypes.h"
#include "tests/app/AppFakes.h"

namespace {

class CFakeProbe : public IFamilyProbe {
 public:
  bool m_bAmi = false, m_bAmiIdentity = true, m_bAmiDriver = true;
  bool m_bAward = false, m_bWindowsFlash = true;
  std::vector<std::string> m_vecCalls;

  bool DetectAmiBios() override {
    m_vecCalls.push_back("detect-ami");
    return m_bAmi;
  }
  void OpenAmiAccess() override { m_vecCalls.push_back("open-ami"); }
  bool IsAmiIdentityKnown() const override { return m_bAmiIdentity; }
  bool IsAmiDriverReady() const override { return m_bAmiDriver; }
  void CloseAmiAccess() override { m_vecCalls.push_back("close-ami"); }
  bool OpenAward() override {
    m_vecCalls.push_back("open-award");
    return true;
  }
  bool IsAwardBios() const override { return m_bAward; }
  bool AwardAllowsWindowsFlash() const override { return m_bWindowsFlash; }
};

class TessaroApp : public ::testing::Test {
 protected:
  // Runs a whole start; returns whether the main window opened.
  bool Start(const std::string& strCommandLine) {
    CTessaroApp app(m_fake.platform, m_resources, m_probe);
    bool bOpened = false;
    app.InitInstance(strCommandLine, [&] {
      bOpened = true;
      return 0;
    });
    return bOpened;
  }

  SFakePlatform m_fake;
  CFakeProbe m_probe;
  CResources m_resources{*m_fake.platform.pModules};
};

TEST(Dispatch, DecidesMessageAndMainWindowPerFamily) {
  struct SCase {
    SFamilyState state;
    bool bTran;
    uint32_t nMessage;
    bool bOpen;
  } aCases[] = {
      {{true, true, true, false, false}, false, 0, true},
      {{true, false, true, false, false}, false, 751, false},
      {{true, false, false, false, false}, true, 751, false},  // identity checked first
      {{true, true, false, false, false}, false, 800, false},
      {{true, true, false, false, false}, true, 800, false},
      {{false, false, false, true, true}, false, 0, true},
      {{false, false, false, true, false}, false, 751, false},
      {{false, false, false, true, false}, true, 751, true},
      {{false, false, false, false, false}, false, 801, false},
      {{false, false, false, false, false}, true, 801, false},
  };
  for (const SCase& c : aCases) {
    SDispatch dispatch = DecideDispatch(c.state, c.bTran);
    EXPECT_EQ(c.nMessage, dispatch.nMessage);
    EXPECT_EQ(c.bOpen, dispatch.bOpenMainWindow);
  }
}

TEST_F(TessaroApp, ConstructionPinsTheProcessAndDetectsWithoutAnyMessage) {
  m_fake.state.SetOptions(FlashOptions{});
  m_probe.m_bAward = true;
  {
    CTessaroApp app(m_fake.platform, m_resources, m_probe);
    EXPECT_EQ(std::vector<uintptr_t>{1}, m_fake.system.m_vecAffinityMasks);
    EXPECT_TRUE(g_bAwardBios);
    EXPECT_FALSE(g_bAmiBios);
    EXPECT_EQ(1, g_FlashOptions.BootBlock);  // defaults set
    EXPECT_TRUE(m_fake.ui.m_vecBoxes.empty());
  }
  // No AMI access was opened, so none is closed.
  EXPECT_EQ((std::vector<std::string>{"detect-ami", "open-award"}), m_probe.m_vecCalls);
}

TEST_F(TessaroApp, AmiMachineNeverRunsTheAwardDetectionAndClosesItsAccessAtExit) {
  m_probe.m_bAmi = true;
  m_probe.m_bAmiIdentity = false;
  m_probe.m_bAward = true;
  EXPECT_FALSE(Start(""));
  EXPECT_FALSE(g_bAwardBios);
  EXPECT_EQ((std::vector<std::string>{"detect-ami", "open-ami", "close-ami"}), m_probe.m_vecCalls);
  EXPECT_EQ(2u, m_fake.ui.m_vecBoxes.size());
  EXPECT_EQ("The BIOS on your M/B does not support Tessaro!", m_fake.ui.m_vecBoxes[1].strText);
}

TEST_F(TessaroApp, WelcomeComesFirstThenTheDispatchMessage) {
  EXPECT_FALSE(Start("-tran"));
  ASSERT_EQ(2u, m_fake.ui.m_vecBoxes.size());
  EXPECT_EQ(0u, m_fake.ui.m_vecBoxes[0].strText.find("Tessaro backs up"));
  EXPECT_EQ(kMbOk | kMbIconInformation, m_fake.ui.m_vecBoxes[0].dwFlags);
  EXPECT_EQ("This program only support AMI and Award BIOS!", m_fake.ui.m_vecBoxes[1].strText);
  EXPECT_EQ(kMbOk | kMbIconError, m_fake.ui.m_vecBoxes[1].dwFlags);
  for (const CFakeUi::SBox& box : m_fake.ui.m_vecBoxes) {
    EXPECT_EQ("Tessaro", box.strCaption);
    EXPECT_EQ(0u, box.hOwner);
  }
}

TEST_F(TessaroApp, TranOpensTheWindowAfterTheRefusalOnAwardWithoutWindowsFlash) {
  m_probe.m_bAward = true;
  m_probe.m_bWindowsFlash = false;
  EXPECT_FALSE(Start(""));
  EXPECT_EQ(2u, m_fake.ui.m_vecBoxes.size());
  m_fake.ui.m_vecBoxes.clear();
  m_fake.state.Reset();
  EXPECT_TRUE(Start("-TRAN"));
  EXPECT_EQ(2u, m_fake.ui.m_vecBoxes.size());
  EXPECT_EQ("The BIOS on your M/B does not support Tessaro!", m_fake.ui.m_vecBoxes[1].strText);
}

TEST_F(TessaroApp, SatelliteByLanguageServesTextsAndIsFreedAfterTheWindow) {
  m_probe.m_bAward = true;
  m_fake.system.m_wLangId = 0x0407;
  const ModuleRef hGerman = 7;
  m_fake.modules.m_mapLoadable["C:\\Program Files\\Tessaro\\TessaroDEU.dll"] = hGerman;
  m_fake.modules.m_mapStrings[hGerman][658] = "Willkommen";
  EXPECT_TRUE(Start(""));
  EXPECT_EQ("Willkommen", m_fake.ui.m_vecBoxes[0].strText);
  EXPECT_EQ(std::vector<ModuleRef>{hGerman}, m_fake.modules.m_vecFreed);

  m_fake.system.m_wLangId = 0x0C1A;  // not in the table
  Start("");
  EXPECT_EQ("C:\\Program Files\\Tessaro\\Tessaro.dll", m_fake.modules.m_vecLoadRequests.back());
}

}  // namespace
