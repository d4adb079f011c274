// Tessaro.exe end to end on the bench's demo board: start, Save BIOS,
// Update From File, a refused image, the automatic restart, the settings.
#include <cstring>

#include "tests/e2e/DemoBoardScenario_win.h"

namespace {

using TessaroEndToEnd = CDemoBoardScenario;

TEST_F(TessaroEndToEnd, StartShowsTheBoardAndSaveBiosWritesTheFlashOnlyWhenAsked) {
  CProgram* pProgram = Start();
  ASSERT_TRUE(pProgram->Started());
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  Shot(hMain, "e2e-main");
  EXPECT_EQ("Tessaro - Award BIOS", Text(hMain, IDC_WEBSITE));
  EXPECT_EQ("6A79AK0EC-00-KT9S-", Text(hMain, IDC_VERSION_1));
  EXPECT_EQ("F1", Text(hMain, IDC_VERSION_2));
  EXPECT_EQ("", Text(hMain, IDC_VERSION_3));
  EXPECT_EQ("05/12/2004", Text(hMain, IDC_BIOS_DATE));
  EXPECT_EQ(0u, Text(hMain, IDC_FLASH_TYPE).find("SST 49LF004A(B)"));

  Click(hMain, IDC_ABOUT);
  HWND hAbout = pProgram->WaitForDialog("About ulvo Tessaro");
  ASSERT_NE(nullptr, hAbout);
  Shot(hAbout, "e2e-about");
  Click(hAbout, IDOK);
  ASSERT_TRUE(WaitUntilClosed(hAbout, hMain));

  // No to the question, then Cancel in the dialog: no file either way.
  Click(hMain, IDC_SAVE_BIOS);
  HWND hAsk = pProgram->WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hAsk);
  EXPECT_EQ("Do you want to save your current BIOS as a backup?", Text(hAsk, 0xFFFF));
  Shot(hAsk, "e2e-question-save");
  Click(hAsk, IDNO);
  ASSERT_TRUE(WaitUntilClosed(hAsk, hMain));
  EXPECT_EQ(nullptr, pProgram->FindDialog("Save As", 0, false));
  Click(hMain, IDC_SAVE_BIOS);
  hAsk = pProgram->WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hAsk);
  Click(hAsk, IDYES);
  HWND hSave = pProgram->WaitForDialog("Save As");
  ASSERT_NE(nullptr, hSave);
  Click(hSave, IDCANCEL);
  ASSERT_TRUE(WaitUntilClosed(hSave, hMain));
  EXPECT_TRUE(Enabled(hMain, IDC_SAVE_BIOS));
  EXPECT_FALSE(Exists(Work("saved.bin")));

  // Yes and a name: the file is the board's flash.
  Click(hMain, IDC_SAVE_BIOS);
  hAsk = pProgram->WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hAsk);
  Click(hAsk, IDYES);
  hSave = pProgram->WaitForDialog("Save As");
  ASSERT_NE(nullptr, hSave);
  ChooseFile(hSave, Work("saved.bin"));
  EXPECT_TRUE(WaitForControlText(hMain, IDC_STATUS, "BIOS Save Success!", 120000));
  ASSERT_TRUE(WaitUntilIdle(hMain));
  EXPECT_TRUE(Enabled(hMain, IDC_CLOSE));
  EXPECT_TRUE(ReadAll(Work("saved.bin")) == m_vecRunning);
  Close(hMain);
}

TEST_F(TessaroEndToEnd, UpdateFromFileFlashesTheNewImageKeepingTheBoardData) {
  CProgram* pProgram = Start();
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  ASSERT_NE(nullptr, StartUpdate(hMain, DemoDir() + "update.bin", true));

  // Mid-update: the progress and its texts move while the buttons rest.
  const bool bMidway = WaitFor(
      [&]() {
        const int nPercent = atoi(QuietText(hMain, IDC_PERCENT).c_str());
        return nPercent >= 30 && nPercent < 100;
      },
      60000);
  EXPECT_TRUE(bMidway) << "the progress did not show 30-99 % within 60 s; it shows \""
                       << QuietText(hMain, IDC_PERCENT) << "\"";
  if (bMidway) {
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hMain, IDC_SETTING)));
    EXPECT_NE("", QuietText(hMain, IDC_STATUS));
    Shot(hMain, "e2e-update-progress");
  }
  HWND hReboot = pProgram->WaitForDialog("Tessaro (Update Bios)", 0xFFFF, 120000);
  ASSERT_NE(nullptr, hReboot);
  EXPECT_NE(std::string::npos, Text(hReboot, 0xFFFF).find("Do you want to REBOOT now?"));
  Click(hReboot, IDNO);
  EXPECT_TRUE(WaitForControlText(hMain, IDC_STATUS, "BIOS Flash Success!", 10000));
  EXPECT_TRUE(WaitUntilPainted(hMain, kWindowMs)) << "main window painted after the update";
  Shot(hMain, "e2e-update-done");
  Close(hMain);

  std::vector<uint8_t> vecFlash, vecCmos;
  ASSERT_TRUE(ReadBoard(&vecFlash, &vecCmos));
  EXPECT_TRUE(vecFlash == ExpectedAfterUpdate());
  // Clear CMOS is on by default.
  for (int i = 0x10; i <= 0x31; ++i) EXPECT_EQ(0xFF, vecCmos[i]) << i;
}

TEST_F(TessaroEndToEnd, WrongSizeImageIsRefusedAndTheFlashStaysAsItWas) {
  std::vector<uint8_t> vecHalf = ReadAll(DemoDir() + "update.bin");
  vecHalf.resize(0x40000);
  ASSERT_TRUE(SimWriteFile(Work("half.bin"), vecHalf.data(), vecHalf.size()));
  CProgram* pProgram = Start();
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  Click(hMain, IDC_UPDATE_FILE);
  HWND hOpen = pProgram->WaitForDialog("Open");
  ASSERT_NE(nullptr, hOpen);
  ChooseFile(hOpen, Work("half.bin"));
  HWND hError = pProgram->WaitForDialog("Tessaro (Update Bios)", 0xFFFF, 30000);
  ASSERT_NE(nullptr, hError);
  EXPECT_EQ("BIOS file size error!", Text(hError, 0xFFFF));
  Shot(hError, "e2e-refused-size");
  Click(hError, IDOK);
  ASSERT_TRUE(WaitUntilClosed(hError, hMain));
  EXPECT_EQ(nullptr, pProgram->FindDialog("Tessaro (Update Bios)", 0xFFFF, false));
  Close(hMain);

  std::vector<uint8_t> vecFlash, vecCmos;
  ASSERT_TRUE(ReadBoard(&vecFlash, &vecCmos));
  EXPECT_TRUE(vecFlash == m_vecRunning);
}

TEST_F(TessaroEndToEnd, AutoRebootFlashesWithoutTheQuestionAndAsksWindowsToRestart) {
  // A recording stand-in answers the restart instead of Wine's session
  // program, which would end every program of the test's Wine session. The
  // stand-in is only loaded when the whole process tree was started with
  // the native override (a Win32 environment change is not enough), so
  // the scenario runs only then; the real program is put back afterwards.
  const char* pszOverrides = getenv("WINEDLLOVERRIDES");
  if (!pszOverrides || !strstr(pszOverrides, "wineboot.exe=n"))
    GTEST_SKIP() << "needs WINEDLLOVERRIDES=wineboot.exe=n";
  char szSystem[MAX_PATH];
  GetSystemDirectoryA(szSystem, MAX_PATH);
  const std::string strBoot = std::string(szSystem) + "\\wineboot.exe";
  const std::string strKept = Work("wineboot.kept");
  const std::string strLog = Work("reboot.log");
  DeleteFileA(strLog.c_str());
  ASSERT_TRUE(CopyFileA(strBoot.c_str(), strKept.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((BinDirectory() + "RebootRecorder.exe").c_str(), strBoot.c_str(), FALSE));
  SetEnvironmentVariableA("TESSARO_REBOOT_LOG", strLog.c_str());
  SetOption("AutoRebootSystem", 1);
  SetOption("ClearCMOS", 0);

  CProgram* pProgram = Start();
  HWND hMain = PassWelcome(*pProgram);
  HWND hAsk = hMain ? StartUpdate(hMain, DemoDir() + "update.bin", false) : nullptr;
  const bool bRequested = hAsk && WaitFor([&]() { return Exists(strLog); }, 120000);
  EXPECT_TRUE(bRequested) << "no restart was requested within 120 s";
  // Once the update has returned to the window, no question was left open.
  if (hMain && bRequested) {
    EXPECT_TRUE(WaitUntilIdle(hMain, 30000));
    EXPECT_EQ(nullptr, pProgram->FindDialog("Tessaro (Update Bios)", 0xFFFF, false));
  }
  if (hMain) Close(hMain);
  CopyFileA(strKept.c_str(), strBoot.c_str(), FALSE);
  ASSERT_NE(nullptr, hAsk);

  std::vector<uint8_t> vecFlash, vecCmos;
  ASSERT_TRUE(ReadBoard(&vecFlash, &vecCmos));
  EXPECT_TRUE(vecFlash == ExpectedAfterUpdate());
  // Clear CMOS off: the board's CMOS is as it was.
  const std::vector<uint8_t> vecDemoCmos = DemoCmos();
  ASSERT_EQ(128u, vecDemoCmos.size());
  EXPECT_TRUE(vecCmos == vecDemoCmos);
}

TEST_F(TessaroEndToEnd, SettingsReachTheRegistryOnlyOnOkAndFollowTheSwitches) {
  CProgram* pProgram = Start();
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  Click(hMain, IDC_SETTING);
  HWND hSetting = pProgram->WaitForDialog("Advance Setting");
  ASSERT_NE(nullptr, hSetting);
  Shot(hSetting, "e2e-setting-award");
  EXPECT_FALSE(Visible(hSetting, IDC_SET_IGNORE_PN));
  SendMessageA(GetDlgItem(hSetting, IDC_SET_DMI), BM_CLICK, 0, 0);
  Click(hSetting, IDCANCEL);
  ASSERT_TRUE(WaitUntilClosed(hSetting, hMain));
  EXPECT_EQ(-1, Option("ClearDMI"));
  Click(hMain, IDC_SETTING);
  hSetting = pProgram->WaitForDialog("Advance Setting");
  ASSERT_NE(nullptr, hSetting);
  EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(hSetting, IDC_SET_DMI));
  SendMessageA(GetDlgItem(hSetting, IDC_SET_DMI), BM_CLICK, 0, 0);
  Click(hSetting, IDOK);
  ASSERT_TRUE(WaitUntilClosed(hSetting, hMain));
  EXPECT_EQ(0, Option("ClearDMI"));
  EXPECT_EQ(1, Option("ClearCMOS"));
  Close(hMain);

  pProgram = Start("-power");
  hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  Click(hMain, IDC_SETTING);
  hSetting = pProgram->WaitForDialog("Advance Setting");
  ASSERT_NE(nullptr, hSetting);
  Shot(hSetting, "e2e-setting-award-power");
  EXPECT_TRUE(Visible(hSetting, IDC_SET_IGNORE_PN));
  EXPECT_FALSE(Visible(hSetting, IDC_SET_IGNORE_ID));
  EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(hSetting, IDC_SET_DMI));  // read back
  Click(hSetting, IDCANCEL);
  ASSERT_TRUE(WaitUntilClosed(hSetting, hMain));
  Close(hMain);

  pProgram = Start("-Tran");
  hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  EXPECT_TRUE(Visible(hMain, IDC_ENCODE_INFO));
  EXPECT_EQ("T", Text(hMain, IDC_ENCODE_INFO));
  EXPECT_EQ("D", Text(hMain, IDC_DECODE_INFO));
  Close(hMain);
}

TEST_F(TessaroEndToEnd, BoardWithoutAnAwardBiosIsRefusedAfterTheWelcome) {
  // The demo board with the vendor text of its BIOS segment blanked.
  std::vector<uint8_t> vecSegment = ReadAll(DemoDir() + "segment.bin");
  ASSERT_EQ(0x10000u, vecSegment.size());
  std::memset(&vecSegment[0xE061], ' ', 15);
  ASSERT_TRUE(SimWriteFile(Work("segment.bin"), vecSegment.data(), vecSegment.size()));
  ASSERT_TRUE(CopyFileA((DemoDir() + "flash.bin").c_str(), Work("flash.bin").c_str(), FALSE));
  std::vector<uint8_t> vecDescription = ReadAll(DemoDir() + "board.txt");
  std::string strDescription(vecDescription.begin(), vecDescription.end());
  strDescription += "\nstate WinFlash.state\n";
  ASSERT_TRUE(SimWriteFile(Work("board.txt"), strDescription.data(), strDescription.size()));
  DeleteFileA(Work("WinFlash.state").c_str());
  {
    CSimAwardBench bench;
    std::string strError;
    ASSERT_TRUE(bench.Open(Work("board.txt"), &strError)) << strError;
  }
  ASSERT_TRUE(Exists(Work("WinFlash.state")));

  CProgram* pProgram = Start();
  HWND hBox = pProgram->WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hBox);
  EXPECT_EQ(0u, Text(hBox, 0xFFFF).find("Tessaro backs up"));
  Click(hBox, IDOK);
  ASSERT_TRUE(WaitUntilClosed(hBox));
  hBox = pProgram->WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hBox);
  EXPECT_EQ("This program only support AMI and Award BIOS!", Text(hBox, 0xFFFF));
  Shot(hBox, "e2e-not-supported");
  Click(hBox, IDOK);
  EXPECT_EQ(0, pProgram->WaitExit(10000));
}

}  // namespace
