// Tessaro.exe end to end on the bench's board: the real program, the real
// service control manager and the bench's WinFlash.sys under Wine, driven
// from outside through its windows. Each scenario starts from a fresh copy
// of the demo board (512 KB) in a working folder of its own: the driver is
// installed from there and keeps the board in "WinFlash.state" beside it,
// which the test reads back once the program has ended.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/SimBench.h"
#include "tests/support/BenchDriver_win.h"
#include "tests/support/WindowRobot_win.h"

namespace {

const char* const kOptionsKey = "Software\\ULVO\\Tessaro";

std::string DemoDir() { return BinaryDir() + "\\sim\\boards\\demo\\"; }

void SetOption(const char* pszName, DWORD dwValue) {
  HKEY hKey = nullptr;
  ASSERT_EQ(0, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOptionsKey, 0, nullptr, 0, KEY_SET_VALUE,
                               nullptr, &hKey, nullptr));
  RegSetValueExA(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                 sizeof(dwValue));
  RegCloseKey(hKey);
}

LONG Option(const char* pszName) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOptionsKey, 0, KEY_READ, &hKey) != 0) return -1;
  DWORD dwValue = 0, dwSize = sizeof(dwValue);
  const LONG nResult =
      RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(&dwValue), &dwSize);
  RegCloseKey(hKey);
  return nResult == 0 ? static_cast<LONG>(dwValue) : -1;
}

class TessaroEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOptionsKey);
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    m_strWork = BinaryDir() + "\\tests\\gui\\e2e-" + pInfo->name();
    CreateDirectoryA((BinaryDir() + "\\tests\\gui").c_str(), nullptr);
    CreateDirectoryA(m_strWork.c_str(), nullptr);
    DeleteFileA(Work("saved.bin").c_str());
    RemoveWinFlashService();
    ASSERT_TRUE(CopyFileA((BinaryDir() + "\\bin\\WinFlash.sys").c_str(),
                          Work("WinFlash.sys").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA((DemoDir() + "demo.state").c_str(), Work("WinFlash.state").c_str(), FALSE));
    m_vecRunning = ReadAll(DemoDir() + "flash.bin");
    ASSERT_EQ(0x80000u, m_vecRunning.size());
    m_dwStart = GetTickCount();
  }
  void TearDown() override {
    std::printf("  scenario %s: %.1f s\n",
                ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                (GetTickCount() - m_dwStart) / 1000.0);
    RemoveWinFlashService();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOptionsKey);
  }

  std::string Work(const char* pszName) const { return m_strWork + "\\" + pszName; }

  CProgram* Start(const std::string& strArgs = "") {
    m_pProgram.reset(new CProgram("Tessaro.exe", strArgs, "award", nullptr, m_strWork.c_str()));
    return m_pProgram.get();
  }

  // Ends the program through its Close button.
  void Close(HWND hMain) {
    Click(hMain, IDC_CLOSE);
    EXPECT_EQ(0, m_pProgram->WaitExit(15000));
  }

  // The board as the driver left it (the service is removed first, so the
  // driver has let go of its state file).
  bool ReadBoard(std::vector<uint8_t>* pFlash, std::vector<uint8_t>* pCmos) {
    RemoveWinFlashService();
    CSimAwardBench bench;
    std::string strError;
    if (!bench.OpenState(Work("WinFlash.state"), &strError)) {
      ADD_FAILURE() << strError;
      return false;
    }
    pFlash->assign(bench.Board().Flash(), bench.Board().Flash() + m_vecRunning.size());
    pCmos->assign(bench.Board().Cmos(), bench.Board().Cmos() + 128);
    bench.Close();
    return true;
  }

  // The CMOS bytes the demo board starts with.
  std::vector<uint8_t> DemoCmos() {
    CSimAwardBench bench;
    std::string strError;
    std::vector<uint8_t> vecCmos;
    if (bench.OpenState(DemoDir() + "demo.state", &strError))
      vecCmos.assign(bench.Board().Cmos(), bench.Board().Cmos() + 128);
    return vecCmos;
  }

  // Update From File up to the flash question, answered Yes.
  HWND StartUpdate(HWND hMain, const std::string& strFile, bool bShoot) {
    Click(hMain, IDC_UPDATE_FILE);
    HWND hOpen = m_pProgram->WaitForDialog("Open");
    if (!hOpen) return nullptr;
    ChooseFile(hOpen, strFile);
    HWND hAsk = m_pProgram->WaitForDialog("Tessaro (Update Bios)", 0xFFFF, 30000);
    if (!hAsk) return nullptr;
    EXPECT_NE(std::string::npos, Text(hAsk, 0xFFFF).find("Proceed to Flash your BIOS?"));
    if (bShoot) Shot(hAsk, "e2e-question-flash");
    Click(hAsk, IDYES);
    return hAsk;
  }

  // The update image with the board's NV tables carried over (16 and 8
  // bytes at +0x50 of the two tables in the top 64 KB bank).
  std::vector<uint8_t> ExpectedAfterUpdate() const {
    std::vector<uint8_t> vecExpected = ReadAll(DemoDir() + "update.bin");
    const size_t nTop = 0x70000;
    std::copy(m_vecRunning.begin() + nTop + 0x5050, m_vecRunning.begin() + nTop + 0x5060,
              vecExpected.begin() + nTop + 0x5050);
    std::copy(m_vecRunning.begin() + nTop + 0x5150, m_vecRunning.begin() + nTop + 0x5158,
              vecExpected.begin() + nTop + 0x5150);
    return vecExpected;
  }

  std::string m_strWork;
  std::vector<uint8_t> m_vecRunning;
  std::unique_ptr<CProgram> m_pProgram;
  DWORD m_dwStart = 0;
};

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
