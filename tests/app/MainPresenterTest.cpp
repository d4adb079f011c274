#include <gtest/gtest.h>

#include "platform/WinTypes.h"
#include "tests/app/AppFakes.h"

namespace {

class MainPresenter : public ::testing::Test {
 protected:
  void SetUp() override { m_engine.m_pView = &m_view; }

  CMainPresenter& Init() {
    m_pPresenter.reset(new CMainPresenter(m_fake.platform, m_resources, m_engine, m_board));
    m_pPresenter->OnInitDialog(m_view);
    return *m_pPresenter;
  }
  bool AllOperationButtons(bool bEnabled) const {
    for (int nId : {IDC_ABOUT, IDC_CLOSE, IDC_SETTING, IDC_STEP_UPDATE, IDC_UPDATE_FILE,
                    IDC_ONECLICK_UPDATE, IDC_SAVE_BIOS})
      if (m_view.Enabled(nId) != bEnabled) return false;
    return true;
  }

  SFakePlatform m_fake;
  CResources m_resources{m_fake.modules};
  CFakeEngine m_engine;
  CFakeBoardInfo m_board;
  CFakeMainView m_view;
  std::unique_ptr<CMainPresenter> m_pPresenter;
};

TEST_F(MainPresenter, InitShowsAwardFactsAndReadsOptionsAndBoardInOrder) {
  m_fake.registry.m_mapKeys["HKLM\\Software\\ULVO\\Tessaro"].mapValues["ClearDMI"].dwValue = 0;
  m_fake.system.m_strSystemDir = "C:\\windows\\system32";
  CMainPresenter& presenter = Init();

  EXPECT_EQ("Tessaro - Award BIOS", m_view.m_mapTexts[IDC_WEBSITE]);
  EXPECT_EQ("6A79AM4C-", m_view.m_mapTexts[IDC_VERSION_1]);
  EXPECT_EQ("00", m_view.m_mapTexts[IDC_VERSION_2]);
  EXPECT_EQ("8089", m_view.m_mapTexts[IDC_VERSION_3]);  // joined because the tail is "00"
  EXPECT_EQ("10/20/2009", m_view.m_mapTexts[IDC_BIOS_DATE]);
  EXPECT_EQ("SST 49LF004A", m_view.m_mapTexts[IDC_FLASH_TYPE]);
  EXPECT_FALSE(m_view.Enabled(IDC_STOP));
  EXPECT_EQ(0u, m_view.m_mapShown.count(IDC_ENCODE_INFO));  // tools stay hidden
  EXPECT_EQ(0, g_FlashOptions.ClearDMI);
  EXPECT_EQ(0x1234u, presenter.Messages().GetOwner());

  EXPECT_EQ("C:\\windows\\system32\\", presenter.SystemDir());
  EXPECT_EQ("C:\\Program Files\\Tessaro\\", presenter.ProgramDir());
  EXPECT_EQ("C:\\users\\me\\Temp\\temp.sys", presenter.InfoDownloadPath());
  EXPECT_EQ((std::vector<std::string>{"identify", "model-flags 8089"}), m_board.m_vecCalls);
  EXPECT_TRUE(m_engine.m_vecCalls.empty());  // the Award engine needs no check
  EXPECT_TRUE(m_fake.ui.m_vecBoxes.empty());
}

TEST_F(MainPresenter, VersionSplitsAtTheLastDash) {
  struct SCase {
    const char* pszVersion;
    const char* pszHead;
    const char* pszTail;
    const char* pszBoard;
  } aCases[] = {
      {"6A79AM4C-00", "6A79AM4C-", "00", "8089"},
      {"W6330VMS V1.0-091020-F7", "W6330VMS V1.0-091020-", "F7", ""},
      {"NODASH", "", "NODASH", ""},
      {"ENDS-", "ENDS-", "", ""},
      {"", "", "", ""},
      {"X-100", "X-", "100", "8089"},
  };
  for (const SCase& c : aCases) {
    SVersionPieces pieces = SplitAwardVersion(c.pszVersion, "8089");
    EXPECT_EQ(c.pszHead, pieces.strHead) << c.pszVersion;
    EXPECT_EQ(c.pszTail, pieces.strTail) << c.pszVersion;
    EXPECT_EQ(c.pszBoard, pieces.strBoard) << c.pszVersion;
  }
}

TEST_F(MainPresenter, TranShowsTheInformationFileTools) {
  m_fake.state.SetTran(true);
  Init();
  EXPECT_TRUE(m_view.m_mapShown[IDC_ENCODE_INFO]);
  EXPECT_TRUE(m_view.m_mapShown[IDC_DECODE_INFO]);
  m_pPresenter->OnCommand(m_view, IDC_ENCODE_INFO);
  m_pPresenter->OnCommand(m_view, IDC_DECODE_INFO);
  EXPECT_EQ("encode", m_board.m_vecCalls[2]);
  EXPECT_EQ("decode", m_board.m_vecCalls[3]);
}

TEST_F(MainPresenter, AmiShowsVersionAndPartPrefixAndEndsWhenItsCheckFails) {
  m_engine.m_eFamily = EBiosFamily::Ami;
  m_engine.m_strVersion = "1.23";
  m_engine.m_strPartNumber = "AB-CD-0815";
  Init();
  EXPECT_EQ("Tessaro - AMI BIOS", m_view.m_mapTexts[IDC_WEBSITE]);
  EXPECT_EQ("", m_view.m_mapTexts[IDC_VERSION_1]);
  EXPECT_EQ("1.23", m_view.m_mapTexts[IDC_VERSION_2]);
  EXPECT_EQ("AB-CD-", m_view.m_mapTexts[IDC_VERSION_3]);
  EXPECT_EQ("SST 49LF004A", m_view.m_mapTexts[IDC_FLASH_TYPE]);
  EXPECT_EQ(-1, m_view.m_nExitCode);

  CFakeMainView failing;
  m_engine.m_nPrepareResult = 794;
  CMainPresenter presenter(m_fake.platform, m_resources, m_engine, m_board);
  presenter.OnInitDialog(failing);
  EXPECT_EQ(1, failing.m_nExitCode);
  EXPECT_EQ(0u, failing.m_mapTexts.count(IDC_FLASH_TYPE));
  ASSERT_EQ(1u, m_fake.ui.m_vecBoxes.size());
  EXPECT_EQ(0u, m_fake.ui.m_vecBoxes[0].strText.find("Wrong BIOS informatiom."));
  EXPECT_EQ(kMbOk | kMbIconError, m_fake.ui.m_vecBoxes[0].dwFlags);
}

TEST_F(MainPresenter, NoFamilySaysSoInTheTitle) {
  m_engine.m_eFamily = EBiosFamily::None;
  Init();
  EXPECT_EQ("Tessaro - NOT SUPPORTED BIOS", m_view.m_mapTexts[IDC_WEBSITE]);
  m_pPresenter->OnCommand(m_view, IDC_SETTING);  // neither family: nothing happens
  EXPECT_TRUE(m_view.m_vecEvents.empty());
}

TEST_F(MainPresenter, UpdateFromFileDisablesButtonsWhileTheEngineWorks) {
  m_board.m_fileFlags.bNoClearCMOS = true;
  m_board.m_fileFlags.bNoFlashBootBlock = true;
  m_board.m_strRebootMessage = "Press DEL after the restart.";
  Init();
  m_pPresenter->OnCommand(m_view, IDC_UPDATE_FILE);

  EXPECT_EQ((std::vector<std::string>{"open-dialog", "prepare", "update C:\\bios\\new.bin"}),
            m_engine.m_vecCalls);
  EXPECT_EQ("file-flags", m_board.m_vecCalls.back());
  EXPECT_EQ((std::vector<bool>{false}), m_engine.m_vecCloseEnabledDuringWork);
  EXPECT_TRUE(AllOperationButtons(true));
  EXPECT_FALSE(m_view.Enabled(IDC_STOP));
  EXPECT_EQ("Press DEL after the restart.", m_engine.m_strRebootSeen);
  EXPECT_EQ("BIOS Flash Success!", m_view.m_mapTexts[IDC_STATUS]);
  // The restrictions reach the engine and stay in force, but not in the registry.
  EXPECT_EQ(0, m_engine.m_updateOptions.ClearCMOS);
  EXPECT_EQ(0, m_engine.m_updateOptions.BootBlock);
  EXPECT_EQ(1, m_engine.m_updateOptions.ClearDMI);
  EXPECT_EQ(0, g_FlashOptions.ClearCMOS);
  EXPECT_TRUE(m_fake.registry.m_mapKeys.empty());

  m_board.m_fileFlags = SUpdateRestrictions();
  m_pPresenter->OnCommand(m_view, IDC_UPDATE_FILE);
  EXPECT_EQ(0, m_engine.m_updateOptions.ClearCMOS);
  EXPECT_EQ(0, m_engine.m_updateOptions.BootBlock);
}

TEST_F(MainPresenter, UpdateRefusesUnknownFlashAndEndsQuietlyOnCancel) {
  m_engine.m_strFlash = "Unknown (0xA5FF)";
  Init();
  m_pPresenter->OnCommand(m_view, IDC_UPDATE_FILE);
  EXPECT_TRUE(m_engine.m_vecCalls.empty());  // not even the file dialog
  ASSERT_EQ(1u, m_fake.ui.m_vecBoxes.size());
  EXPECT_EQ("Unknown flash ROM type!\n\nFlash abort.", m_fake.ui.m_vecBoxes[0].strText);
  EXPECT_EQ("Tessaro", m_fake.ui.m_vecBoxes[0].strCaption);
  EXPECT_TRUE(AllOperationButtons(true));

  m_engine.m_strFlash = "SST 49LF004A";
  Init();
  m_engine.m_strChosen.clear();
  m_pPresenter->OnCommand(m_view, IDC_UPDATE_FILE);
  EXPECT_EQ((std::vector<std::string>{"open-dialog"}), m_engine.m_vecCalls);
  EXPECT_EQ(1u, m_fake.ui.m_vecBoxes.size());
  EXPECT_TRUE(AllOperationButtons(true));
}

TEST_F(MainPresenter, UpdateFromDownloadTakesTheDownloadedFileAndShowsEngineErrors) {
  m_engine.m_nUpdateResult = 753;
  Init();
  m_pPresenter->UpdateBios(m_view, true);
  EXPECT_EQ((std::vector<std::string>{"prepare", "update C:\\Program Files\\Tessaro\\bios.tmp"}),
            m_engine.m_vecCalls);
  ASSERT_EQ(1u, m_fake.ui.m_vecBoxes.size());
  EXPECT_EQ("BIOS file size error!", m_fake.ui.m_vecBoxes[0].strText);
  EXPECT_TRUE(AllOperationButtons(true));
}

TEST_F(MainPresenter, SaveAsksFirstAndNoOrCancelWritesNothing) {
  Init();
  m_fake.ui.m_queAnswers = {kIdNo};
  m_pPresenter->OnCommand(m_view, IDC_SAVE_BIOS);
  EXPECT_TRUE(m_engine.m_vecCalls.empty());
  ASSERT_EQ(1u, m_fake.ui.m_vecBoxes.size());
  EXPECT_EQ("Do you want to save your current BIOS as a backup?", m_fake.ui.m_vecBoxes[0].strText);
  EXPECT_EQ(kMbYesNo | kMbIconQuestion, m_fake.ui.m_vecBoxes[0].dwFlags);
  EXPECT_TRUE(AllOperationButtons(true));

  m_engine.m_strChosen.clear();
  m_pPresenter->OnCommand(m_view, IDC_SAVE_BIOS);
  EXPECT_EQ((std::vector<std::string>{"save-dialog"}), m_engine.m_vecCalls);

  m_engine.m_strChosen = "C:\\backup.bin";
  m_pPresenter->OnCommand(m_view, IDC_SAVE_BIOS);
  EXPECT_EQ("save C:\\backup.bin", m_engine.m_vecCalls.back());
  EXPECT_EQ(false, m_engine.m_vecCloseEnabledDuringWork.back());
  EXPECT_TRUE(AllOperationButtons(true));
}

TEST_F(MainPresenter, AutomaticSaveNamesTheFileByFamilyWithoutAsking) {
  Init();
  m_pPresenter->SaveBios(m_view, true);
  EXPECT_EQ("autosave C:\\Program Files\\Tessaro\\autosave.bin", m_engine.m_vecCalls.back());
  m_engine.m_eFamily = EBiosFamily::Ami;
  m_pPresenter->SaveBios(m_view, true);
  EXPECT_EQ("autosave C:\\Program Files\\Tessaro\\autosave.rom", m_engine.m_vecCalls.back());
  EXPECT_TRUE(m_fake.ui.m_vecBoxes.empty());
}

TEST_F(MainPresenter, StopFollowsTheOtherButtonsOnlyDuringLiveUpdate) {
  Init();
  m_pPresenter->EnableButtons(m_view, false);
  EXPECT_TRUE(AllOperationButtons(false));
  EXPECT_FALSE(m_view.Enabled(IDC_STOP));
  EXPECT_FALSE(m_pPresenter->CanClose());
  m_pPresenter->OnCommand(m_view, IDC_CLOSE);  // a disabled skin cannot close
  EXPECT_TRUE(m_view.m_vecEvents.empty());
  m_pPresenter->EnableButtons(m_view, true);
  EXPECT_EQ(0u, m_view.m_mapEnabled.count(IDC_WEBSITE));
  m_pPresenter->OnCommand(m_view, IDC_STOP);  // no download: nothing happens
  EXPECT_TRUE(AllOperationButtons(true));
}

TEST_F(MainPresenter, SmallCommandsReachTheirWindows) {
  Init();
  m_pPresenter->OnCommand(m_view, IDC_ABOUT);
  m_pPresenter->OnCommand(m_view, IDC_WEBSITE);
  m_pPresenter->OnCommand(m_view, IDC_CLOSE);
  EXPECT_EQ((std::vector<std::string>{"about", std::string("open ") + g_pszDownloadPage, "close"}),
            m_view.m_vecEvents);
  m_pPresenter->SetStatus(m_view, 743);
  EXPECT_EQ("Clearing CMOS...", m_view.m_mapTexts[IDC_STATUS]);
  EXPECT_GT(m_view.m_nRepaints, 0);
}

TEST_F(MainPresenter, SettingsOkStoresAllElevenValuesCancelChangesNothing) {
  Init();
  m_view.m_vecSettingClicks = {IDC_SET_PNP};
  m_view.m_bSettingOk = false;
  m_pPresenter->OnCommand(m_view, IDC_SETTING);
  EXPECT_EQ(1, g_FlashOptions.ClearPNP);
  EXPECT_TRUE(m_fake.registry.m_mapKeys.empty());

  m_view.m_bSettingOk = true;
  m_pPresenter->OnCommand(m_view, IDC_SETTING);
  EXPECT_EQ(0, g_FlashOptions.ClearPNP);
  const auto& values = m_fake.registry.m_mapKeys["HKLM\\Software\\ULVO\\Tessaro"].mapValues;
  EXPECT_EQ(11u, values.size());
  EXPECT_EQ(0u, values.at("ClearPNP").dwValue);
  EXPECT_EQ(1u, values.at("MainBlock").dwValue);
  EXPECT_EQ((std::vector<std::string>{"settings award", "settings award"}), m_view.m_vecEvents);
}

TEST_F(MainPresenter, SettingsDialogSeesTheLocksAndThePowerSwitch) {
  m_board.m_modelFlags.bNoClearCMOS = true;
  m_fake.state.SetPower(true);
  Init();
  m_pPresenter->OnCommand(m_view, IDC_SETTING);
  EXPECT_FALSE(m_view.m_mapSettingEnabled[IDC_SET_CLEARCMOS]);
  EXPECT_TRUE(m_view.m_mapSettingShown[IDC_SET_IGNORE_PN]);
  EXPECT_FALSE(m_view.m_mapSettingShown[IDC_SET_IGNORE_ID]);

  m_engine.m_eFamily = EBiosFamily::Ami;  // the window asks the engine it was given
  m_pPresenter->OnCommand(m_view, IDC_SETTING);
  EXPECT_EQ("settings ami", m_view.m_vecEvents.back());
  EXPECT_FALSE(m_view.m_mapSettingEnabled[IDC_SET_CLEARCMOS]);
  EXPECT_FALSE(m_view.m_mapSettingShown[IDC_SET_IGNORE_PN]);
}

}  // namespace

namespace {

// While a Live Update runs, disabling the buttons enables Stop; a local
// workflow clears the flag first, so Stop stays off around it.
TEST_F(MainPresenter, StopFollowsTheUpdateRunningFlagOnly) {
  Init();
  m_pPresenter->LiveUpdate().SetRunning(true);
  m_pPresenter->EnableButtons(m_view, false);
  EXPECT_TRUE(m_view.Enabled(IDC_STOP));
  EXPECT_FALSE(m_view.Enabled(IDC_SAVE_BIOS));
  m_pPresenter->EnableButtons(m_view, true);
  EXPECT_FALSE(m_view.Enabled(IDC_STOP));

  m_pPresenter->LiveUpdate().SetRunning(true);
  m_fake.ui.m_queAnswers = {kIdNo};  // no backup
  m_pPresenter->OnCommand(m_view, IDC_SAVE_BIOS);
  EXPECT_FALSE(m_pPresenter->IsLiveUpdateRunning());
  EXPECT_FALSE(m_view.Enabled(IDC_STOP));
}

}  // namespace

namespace {

// 1800 still ticks (180 s at 100 ms) of a transfer that has begun make a
// stall; a moving byte count starts the count over, the connection phase
// counts nothing, and data after the stall is what closes the dialog.
TEST(StallWatch, CountsStillTicksOfARunningTransferOnly) {
  CStallWatch watch;
  for (int i = 0; i < 5000; ++i) EXPECT_FALSE(watch.Tick(false, 0));  // still connecting
  EXPECT_FALSE(watch.Tick(true, 100));  // the first tick of the transfer sees 100 bytes
  for (unsigned i = 1; i < CStallWatch::kStallTicks; ++i) ASSERT_FALSE(watch.Tick(true, 100)) << i;
  EXPECT_TRUE(watch.Tick(true, 100));  // the 1800th still tick
  EXPECT_EQ(0u, watch.StillTicks());
  EXPECT_FALSE(watch.HasResumed(100));
  EXPECT_TRUE(watch.HasResumed(101));

  // Movement starts the count over: 1799 still ticks, a move, 1799 more.
  CStallWatch other;
  other.Tick(true, 0);
  for (unsigned i = 1; i < CStallWatch::kStallTicks; ++i) ASSERT_FALSE(other.Tick(true, 0));
  EXPECT_FALSE(other.Tick(true, 4096));
  for (unsigned i = 1; i < CStallWatch::kStallTicks; ++i) ASSERT_FALSE(other.Tick(true, 4096));
  EXPECT_TRUE(other.Tick(true, 4096));
}

}  // namespace
