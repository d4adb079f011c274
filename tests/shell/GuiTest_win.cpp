// Tessaro's windows from the outside, as a screen reader or a test robot
// sees them: another program finds the dialogs, reads the controls' texts,
// clicks buttons and takes pictures (written to build/<preset>/gui-shots).
// The windows run in a stand-in host with fixed board facts; the real
// program on the bench's board is driven by the end-to-end tests.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tessaro/app/ControlIds.h"
#include "tests/support/WindowRobot_win.h"

namespace {

const char* const kOptionsKey = "Software\\ULVO\\Tessaro";

// Every case starts from the options of a machine the program never ran
// on, whatever an earlier run (of these tests, the end-to-end tests or the
// run command) left in the prefix.
class CFreshOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOptionsKey); }
  void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOptionsKey); }
};
class MainWindow : public CFreshOptionsTest {};
class Settings : public CFreshOptionsTest {};
class SaveBios : public CFreshOptionsTest {};
class UpdateBios : public CFreshOptionsTest {};
class StartUp : public CFreshOptionsTest {};
class SkinButton : public CFreshOptionsTest {};

// The title (button and header) and the three version pieces.
void ExpectTitleAndVersion(HWND hMain, const std::string& strTitle,
                           const std::vector<std::string>& vecPieces) {
  EXPECT_EQ(strTitle, Text(hMain, IDC_WEBSITE));
  EXPECT_EQ(strTitle, Text(hMain, IDC_TITLE));
  const int anIds[] = {IDC_VERSION_1, IDC_VERSION_2, IDC_VERSION_3};
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(vecPieces[i], Text(hMain, anIds[i]));
}

// A named manual-reset event, closed with the object.
class CEvent {
 public:
  explicit CEvent(const std::string& strName)
      : m_h(CreateEventA(nullptr, TRUE, FALSE, strName.c_str())) {}
  ~CEvent() {
    if (m_h) CloseHandle(m_h);
  }
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;
  bool Created() const { return m_h != nullptr; }
  void Set() { SetEvent(m_h); }

 private:
  HANDLE m_h;
};

LONG RegistryOption(const char* pszName) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOptionsKey, 0, KEY_READ, &hKey) != 0) return -1;
  DWORD dwValue = 0, dwSize = sizeof(dwValue);
  LONG nResult =
      RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(&dwValue), &dwSize);
  RegCloseKey(hKey);
  return nResult == 0 ? static_cast<LONG>(dwValue) : -1;
}

TEST_F(MainWindow, ShowsTheBoardFactsAndCaptionsAsControlTexts) {
  CProgram program("TessaroGuiHost.exe", "");
  ASSERT_TRUE(program.Started());
  HWND hMain = PassWelcome(program, true);
  ASSERT_NE(nullptr, hMain);
  Shot(hMain, "main");

  ExpectTitleAndVersion(hMain, "Tessaro - Award BIOS", {"6A79AM4C-", "00", "8089"});
  EXPECT_EQ("10/20/2009", Text(hMain, IDC_BIOS_DATE));
  EXPECT_EQ("SST 49LF004A/B", Text(hMain, IDC_FLASH_TYPE));
  EXPECT_EQ("BIOS Version :", Text(hMain, IDC_CAPTION_VERSION));
  EXPECT_EQ("Flash Rom Type :", Text(hMain, IDC_CAPTION_FLASH));
  EXPECT_EQ("BIOS Date :", Text(hMain, IDC_CAPTION_DATE));
  EXPECT_EQ("0%", Text(hMain, IDC_PERCENT));
  const struct {
    int nId;
    const char* pszCaption;
    int x, y, cx, cy;
  } aButtons[] = {
      {IDC_ONECLICK_UPDATE, "OneClick! Live Update", 46, 36, 74, 74},
      {IDC_STEP_UPDATE, "Live Update Step by Step", 46, 125, 74, 74},
      {IDC_UPDATE_FILE, "Update From File", 337, 36, 74, 74},
      {IDC_SAVE_BIOS, "Save BIOS", 337, 125, 74, 74},
      {IDC_ABOUT, "About", 229, 179, 80, 39},
      {IDC_SETTING, "Setting", 149, 179, 80, 39},
      {IDC_STOP, "Stop", 190, 179, 77, 19},
      {IDC_CLOSE, "Close", 427, 9, 28, 26},
  };
  for (const auto& b : aButtons) {
    EXPECT_EQ(b.pszCaption, Text(hMain, b.nId));
    RECT rc;
    HWND hButton = GetDlgItem(hMain, b.nId);
    GetWindowRect(hButton, &rc);
    MapWindowPoints(nullptr, hMain, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(b.x, rc.left) << b.pszCaption;
    EXPECT_EQ(b.y, rc.top) << b.pszCaption;
    EXPECT_EQ(b.cx, rc.right - rc.left) << b.pszCaption;
    EXPECT_EQ(b.cy, rc.bottom - rc.top) << b.pszCaption;
  }
  EXPECT_FALSE(Enabled(hMain, IDC_STOP));
  EXPECT_TRUE(Enabled(hMain, IDC_SAVE_BIOS));
  EXPECT_FALSE(Visible(hMain, IDC_ENCODE_INFO));
  EXPECT_FALSE(Visible(hMain, IDC_DECODE_INFO));

  // Skinned: no caption bar, shaped by the mask, dragged from anywhere.
  EXPECT_EQ(0, GetWindowLongPtrA(hMain, GWL_STYLE) & WS_CAPTION);
  HRGN hRegion = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(COMPLEXREGION, GetWindowRgn(hMain, hRegion));
  RECT rcRegion;
  GetRgnBox(hRegion, &rcRegion);
  EXPECT_EQ(466, rcRegion.right);
  EXPECT_FALSE(PtInRegion(hRegion, 0, 0));  // rounded corner
  EXPECT_TRUE(PtInRegion(hRegion, 200, 100));
  DeleteObject(hRegion);
  RECT rcWindow;
  GetWindowRect(hMain, &rcWindow);
  EXPECT_EQ(HTCAPTION, SendMessageA(hMain, WM_NCHITTEST, 0,
                                    MAKELPARAM(rcWindow.left + 30, rcWindow.top + 215)));

  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

TEST_F(MainWindow, AboutBoxShowsTheProgramVersion) {
  CProgram program("TessaroGuiHost.exe", "");
  HWND hMain = PassWelcome(program);
  ASSERT_NE(nullptr, hMain);
  Click(hMain, IDC_ABOUT);
  HWND hAbout = program.WaitForDialog("About ulvo Tessaro");
  ASSERT_NE(nullptr, hAbout);
  Shot(hAbout, "about");
  EXPECT_EQ("Version:1.5.0.5", Text(hAbout, IDC_ABOUT_VERSION));
  RECT rc;
  GetWindowRect(GetDlgItem(hAbout, IDC_ABOUT_PICTURE), &rc);
  EXPECT_EQ(127, rc.right - rc.left);
  EXPECT_EQ(96, rc.bottom - rc.top);
  Click(hAbout, IDOK);
  EXPECT_TRUE(WaitUntilClosed(hAbout, hMain));
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

TEST_F(Settings, OkStoresTheBoxesCancelLeavesTheRegistryAlone) {
  CProgram program("TessaroGuiHost.exe", "");
  HWND hMain = PassWelcome(program);
  ASSERT_NE(nullptr, hMain);

  Click(hMain, IDC_SETTING);
  HWND hSetting = program.WaitForDialog("Advance Setting");
  ASSERT_NE(nullptr, hSetting);
  Shot(hSetting, "setting-award");
  EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(hSetting, IDC_SET_PNP));
  EXPECT_FALSE(Visible(hSetting, IDC_SET_IGNORE_PN));
  EXPECT_FALSE(Visible(hSetting, IDC_SET_IGNORE_ID));
  EXPECT_FALSE(Visible(hSetting, IDC_SET_LOADDEFAULT));
  SendMessageA(GetDlgItem(hSetting, IDC_SET_PNP), BM_CLICK, 0, 0);
  EXPECT_EQ(-1, RegistryOption("ClearPNP"));  // nothing written before OK
  Click(hSetting, IDOK);
  ASSERT_TRUE(WaitUntilClosed(hSetting, hMain));
  EXPECT_EQ(0, RegistryOption("ClearPNP"));
  EXPECT_EQ(1, RegistryOption("BootBlock"));
  EXPECT_EQ(0, RegistryOption("AutoRebootSystem"));
  EXPECT_EQ(1, RegistryOption("MainBlock"));

  Click(hMain, IDC_SETTING);
  hSetting = program.WaitForDialog("Advance Setting");
  ASSERT_NE(nullptr, hSetting);
  EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(hSetting, IDC_SET_PNP));
  SendMessageA(GetDlgItem(hSetting, IDC_SET_DMI), BM_CLICK, 0, 0);
  Click(hSetting, IDCANCEL);
  ASSERT_TRUE(WaitUntilClosed(hSetting, hMain));
  EXPECT_EQ(1, RegistryOption("ClearDMI"));

  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

TEST_F(Settings, PowerShowsOnlyThePartNumberBoxAndTranTheTools) {
  {
    CProgram program("TessaroGuiHost.exe", "-power");
    HWND hMain = PassWelcome(program);
    ASSERT_NE(nullptr, hMain);
    Click(hMain, IDC_SETTING);
    HWND hSetting = program.WaitForDialog("Advance Setting");
    ASSERT_NE(nullptr, hSetting);
    Shot(hSetting, "setting-award-power");
    EXPECT_TRUE(Visible(hSetting, IDC_SET_IGNORE_PN));
    EXPECT_TRUE(Visible(hSetting, IDC_SET_IGNORE_FRAME));
    EXPECT_FALSE(Visible(hSetting, IDC_SET_IGNORE_ID));
    EXPECT_EQ("Ignore BIOS Part Number Check", Text(hSetting, IDC_SET_IGNORE_PN));
    Click(hSetting, IDCANCEL);
    ASSERT_TRUE(WaitUntilClosed(hSetting, hMain));
    Click(hMain, IDC_CLOSE);
    EXPECT_EQ(0, program.WaitExit(10000));
  }
  CProgram program("TessaroGuiHost.exe", "-TRAN");
  HWND hMain = PassWelcome(program);
  ASSERT_NE(nullptr, hMain);
  EXPECT_TRUE(Visible(hMain, IDC_ENCODE_INFO));
  EXPECT_TRUE(Visible(hMain, IDC_DECODE_INFO));
  EXPECT_EQ("T", Text(hMain, IDC_ENCODE_INFO));
  EXPECT_EQ("D", Text(hMain, IDC_DECODE_INFO));
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

TEST_F(SaveBios, DecliningTheQuestionWritesNothing) {
  CProgram program("TessaroGuiHost.exe", "");
  HWND hMain = PassWelcome(program);
  ASSERT_NE(nullptr, hMain);
  Click(hMain, IDC_SAVE_BIOS);
  HWND hBox = program.WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hBox);
  Shot(hBox, "question-save");
  EXPECT_EQ("Do you want to save your current BIOS as a backup?", Text(hBox, 0xFFFF));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hMain, IDC_CLOSE)));  // busy: cannot close
  Click(hBox, IDNO);
  ASSERT_TRUE(WaitUntilClosed(hBox, hMain));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hMain, IDC_CLOSE)));
  EXPECT_EQ("", Text(hMain, IDC_STATUS));
  EXPECT_EQ(nullptr, program.FindDialog("Save As", 0, false));
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

TEST_F(UpdateBios, ProgressAndStatusAreControlTexts) {
  // The stand-in's flash stops half-way until this event is set, so that
  // the window is looked at in the middle of the work, not raced.
  const std::string strHold = "TessaroGuiHostHold" + std::to_string(GetCurrentProcessId());
  CEvent hold(strHold);
  ASSERT_TRUE(hold.Created());
  SetEnvironmentVariableA("TESSARO_GUIHOST_HOLD", strHold.c_str());
  CProgram program("TessaroGuiHost.exe", "");
  SetEnvironmentVariableA("TESSARO_GUIHOST_HOLD", nullptr);
  HWND hMain = PassWelcome(program);
  ASSERT_NE(nullptr, hMain);
  // The stand-in's open dialog: type a name into Wine's file name box.
  Click(hMain, IDC_UPDATE_FILE);
  HWND hOpen = program.WaitForDialog("Open");
  ASSERT_NE(nullptr, hOpen);
  HWND hName = FindWindowExA(GetDlgItem(hOpen, 0x47c), nullptr, nullptr, nullptr);
  hName = hName ? FindWindowExA(hName, nullptr, "Edit", nullptr) : GetDlgItem(hOpen, 0x47c);
  SendMessageA(hName ? hName : GetDlgItem(hOpen, 0x47c), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>("C:\\windows\\notepad.exe"));
  Click(hOpen, IDOK);
  HWND hAsk = program.WaitForDialog("Tessaro (Update Bios)", 0xFFFF);
  ASSERT_NE(nullptr, hAsk);
  Click(hAsk, IDYES);
  // The update runs on the window's thread without pumping messages, as a
  // flash does: the texts are read without asking the window.
  EXPECT_TRUE(WaitForControlText(hMain, IDC_PERCENT, "50%", kWindowMs));
  EXPECT_EQ("Programming...", QuietText(hMain, IDC_STATUS));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hMain, IDC_SETTING)));
  Shot(hMain, "update-progress");
  hold.Set();
  EXPECT_TRUE(WaitForControlText(hMain, IDC_STATUS, "BIOS Flash Success!", kWindowMs));
  ASSERT_TRUE(WaitUntilIdle(hMain));
  EXPECT_EQ("100%", Text(hMain, IDC_PERCENT));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hMain, IDC_SETTING)));
  EXPECT_TRUE(WaitUntilPainted(hMain, kWindowMs)) << "main window painted after the update";
  Shot(hMain, "update-done");
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

TEST_F(StartUp, LockedAwardBoardOpensTheWindowOnlyWithTran) {
  {
    CProgram program("TessaroGuiHost.exe", "", "award-locked");
    HWND hBox = program.WaitForDialog("Tessaro", 0xFFFF);
    ASSERT_NE(nullptr, hBox);
    Click(hBox, IDOK);
    ASSERT_TRUE(WaitUntilClosed(hBox));
    hBox = program.WaitForDialog("Tessaro", 0xFFFF);
    ASSERT_NE(nullptr, hBox);
    EXPECT_EQ("The BIOS on your M/B does not support Tessaro!", Text(hBox, 0xFFFF));
    Click(hBox, IDOK);
    EXPECT_EQ(0, program.WaitExit(10000));
  }
  CProgram program("TessaroGuiHost.exe", "-tran", "award-locked");
  HWND hBox = program.WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hBox);
  Click(hBox, IDOK);
  ASSERT_TRUE(WaitUntilClosed(hBox));
  hBox = program.WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hBox);
  EXPECT_EQ("The BIOS on your M/B does not support Tessaro!", Text(hBox, 0xFFFF));
  Click(hBox, IDOK);
  HWND hMain = program.WaitForDialog("Tessaro", IDC_UPDATE_FILE);
  ASSERT_NE(nullptr, hMain);
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

// The window that holds the mouse capture on the thread of hWnd.
HWND CaptureOf(HWND hWnd) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(hWnd, nullptr), &info)) return nullptr;
  return info.hwndCapture;
}

TEST_F(SkinButton, PressMoveOutReleaseDoesNotClickButAPlainClickDoes) {
  CProgram program("TessaroGuiHost.exe", "");
  HWND hMain = PassWelcome(program);
  ASSERT_NE(nullptr, hMain);
  // Hovering shows the button's second image (pictured for a look). Sent,
  // not posted, so that the button has taken it when the call returns.
  DWORD_PTR dwResult = 0;
  EXPECT_TRUE(SendMessageTimeoutA(GetDlgItem(hMain, IDC_SAVE_BIOS), WM_MOUSEMOVE, 0,
                                  MAKELPARAM(30, 30), SMTO_NORMAL, kWindowMs, &dwResult));
  EXPECT_TRUE(WaitUntilPainted(hMain, kWindowMs)) << "main window painted with the hover image";
  Shot(hMain, "hover-save");
  // Pressed, the button holds the mouse capture until it is released; the
  // capture going away proves the release was handled. A click would open
  // the About box before its thread takes our next message.
  HWND hAbout = GetDlgItem(hMain, IDC_ABOUT);
  PostMessageA(hAbout, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 20));
  ASSERT_TRUE(WaitFor([&]() { return CaptureOf(hMain) == hAbout; }, kWindowMs))
      << "the pressed About button did not take the mouse capture";
  PostMessageA(hAbout, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 200));
  PostMessageA(hAbout, WM_LBUTTONUP, 0, MAKELPARAM(40, 200));
  ASSERT_TRUE(WaitFor([&]() { return CaptureOf(hMain) != hAbout; }, kWindowMs))
      << "the released About button kept the mouse capture";
  ASSERT_TRUE(WaitUntilIdle(hMain));
  EXPECT_EQ(nullptr, program.FindDialog("About ulvo Tessaro", 0, false));

  PostMessageA(hAbout, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 20));
  PostMessageA(hAbout, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 200));
  PostMessageA(hAbout, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(41, 21));
  PostMessageA(hAbout, WM_LBUTTONUP, 0, MAKELPARAM(41, 21));
  HWND hBox = program.WaitForDialog("About ulvo Tessaro");
  ASSERT_NE(nullptr, hBox);
  Click(hBox, IDOK);
  ASSERT_TRUE(WaitUntilClosed(hBox, hMain));
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

TEST(TimeoutDialog, AbortGivesZeroAndWaitOne) {
  const struct {
    int nButton;
    const char* pszText;
    int nResult;
  } aCases[] = {{IDOK, "&Abort", 0}, {IDCANCEL, "&Wait", 1}};
  for (const auto& c : aCases) {
    CProgram program("TessaroGuiHost.exe", "", "award", "timeout");
    HWND hDialog = program.WaitForDialog("Tessaro", IDCANCEL);
    ASSERT_NE(nullptr, hDialog);
    if (c.nResult == 0) Shot(hDialog, "timeout");
    EXPECT_EQ(c.pszText, Text(hDialog, c.nButton));
    Click(hDialog, c.nButton);
    EXPECT_EQ(c.nResult, program.WaitExit(10000));
  }
}

TEST(Resources, ProgramCarriesItsTemplatesIconsSkinAndManifest) {
  HMODULE hExe = LoadLibraryExA((BinDirectory() + "Tessaro.exe").c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, hExe);
  for (int nId : {IDD_TESSARO_MAIN, IDD_ABOUT, IDD_TIMEOUT, IDD_AMI_SETTING, IDD_AWARD_SETTING})
    EXPECT_NE(nullptr, FindResourceA(hExe, MAKEINTRESOURCEA(nId), MAKEINTRESOURCEA(5))) << nId;
  for (int nId : {IDI_TESSARO, IDI_TIMEOUT})
    EXPECT_NE(nullptr, FindResourceA(hExe, MAKEINTRESOURCEA(nId), MAKEINTRESOURCEA(14))) << nId;
  for (int nId : {4,  5,  6,  7,  8,  10, 11, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                  25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 43, 44, 45, 46})
    EXPECT_NE(nullptr, FindResourceA(hExe, MAKEINTRESOURCEA(nId), MAKEINTRESOURCEA(2))) << nId;
  HRSRC hManifest = FindResourceA(hExe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(nullptr, hManifest);
  const char* pszManifest = static_cast<const char*>(LockResource(LoadResource(hExe, hManifest)));
  const std::string strManifest(pszManifest, SizeofResource(hExe, hManifest));
  EXPECT_NE(std::string::npos, strManifest.find("level=\"requireAdministrator\""));
  EXPECT_NE(std::string::npos, strManifest.find("Microsoft.Windows.Common-Controls"));
  EXPECT_NE(std::string::npos, strManifest.find("version=\"6.0.0.0\""));
  FreeLibrary(hExe);
}

TEST_F(Settings, AmiBoardHasItsOwnDialogAndTitle) {
  CProgram program("TessaroGuiHost.exe", "", "ami");
  HWND hMain = PassWelcome(program);
  ASSERT_NE(nullptr, hMain);
  Shot(hMain, "main-ami");
  ExpectTitleAndVersion(hMain, "Tessaro - AMI BIOS", {"", "08.00.15", "AMIBIOS-0815-"});
  Click(hMain, IDC_SETTING);
  HWND hSetting = program.WaitForDialog("Advance Setting");
  ASSERT_NE(nullptr, hSetting);
  Shot(hSetting, "setting-ami");
  for (int nId : {IDC_SET_BOOTBLOCK, IDC_SET_NVRAM, IDC_SET_CLEARCMOS, IDC_SET_LOADDEFAULT})
    EXPECT_TRUE(Visible(hSetting, nId)) << nId;
  for (int nId : {IDC_SET_IGNORE_ID, IDC_SET_IGNORE_PN, IDC_SET_IGNORE_FRAME})
    EXPECT_FALSE(Visible(hSetting, nId)) << nId;
  EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(hSetting, IDC_SET_LOADDEFAULT));
  Click(hSetting, IDCANCEL);
  ASSERT_TRUE(WaitUntilClosed(hSetting, hMain));
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

// Run again under a German locale: the satellite's texts reach the window.
TEST_F(MainWindow, GermanUserSeesTheSatelliteCaptions) {
  if (GetUserDefaultLangID() != 0x0407) GTEST_SKIP() << "needs a German user locale";
  CProgram program("TessaroGuiHost.exe", "");
  HWND hBox = program.WaitForDialog("Tessaro", 0xFFFF);
  ASSERT_NE(nullptr, hBox);
  EXPECT_EQ(0u, Text(hBox, 0xFFFF).find("Tessaro sichert"));
  Click(hBox, IDOK);
  HWND hMain = program.WaitForDialog("Tessaro", IDC_UPDATE_FILE);
  ASSERT_NE(nullptr, hMain);
  Shot(hMain, "main-german");
  EXPECT_EQ("Aus Datei aktualisieren", Text(hMain, IDC_UPDATE_FILE));
  EXPECT_EQ("BIOS sichern", Text(hMain, IDC_SAVE_BIOS));
  EXPECT_EQ("Einstellungen", Text(hMain, IDC_SETTING));
  EXPECT_EQ("BIOS-Version:", Text(hMain, IDC_CAPTION_VERSION));
  Click(hMain, IDC_CLOSE);
  EXPECT_EQ(0, program.WaitExit(10000));
}

}  // namespace
