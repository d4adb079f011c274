// Live Update of Tessaro.exe end to end: the program's WinINet client
// against the test FTP server (a real server on 127.0.0.1, started by the
// ftp_server fixture), the demo board behind the bench's WinFlash.sys, and
// the program driven through its windows. Each scenario writes the
// server's tree it needs and points the program at the server through the
// LiveUpdateServer value.
#include <cstdlib>
#include <fstream>
#include <functional>

#include "tests/e2e/DemoBoardScenario_win.h"
// After the system headers it needs.
#include <commctrl.h>
#include "tools/liveupdate/LiveUpdateTree.h"

namespace {

const char kUpdateFile[] = "KT9SF2.BIN";

class LiveUpdateEndToEnd : public CDemoBoardScenario {
 public:  // the table of refusals builds its trees through the fixture
  void SetUp() override {
    CDemoBoardScenario::SetUp();
    std::ifstream port(FtpDir() + "port");
    ASSERT_TRUE(port >> m_nPort) << "no test FTP server (" << FtpDir() << "port)";
    m_vecUpdate = ReadAll(DemoDir() + "update.bin");
    ASSERT_EQ(0x80000u, m_vecUpdate.size());
    // What earlier runs left: the local information file (the program keeps
    // the newer one), the last download, the backup.
    DeleteLocalInfoFile();
    for (const char* pszName : {"bios.tmp", "autosave.bin"})
      DeleteFileA((BinDirectory() + pszName).c_str());
    UseServer(HostPort());
  }

  static void DeleteLocalInfoFile() {
    char szSystem[MAX_PATH];
    GetSystemDirectoryA(szSystem, MAX_PATH);
    DeleteFileA((std::string(szSystem) + "\\Tessaro.sys").c_str());
  }
  // The BIOS file's download under way: the information file is small
  // and goes from 0 to 100 % in one read, so a percent in between is the
  // BIOS file's.
  static bool BiosDownloadAt(HWND hMain, int nLow, int nHigh) {
    const int nPercent = atoi(QuietText(hMain, IDC_PERCENT).c_str());
    return nPercent >= nLow && nPercent < nHigh;
  }
  static std::string FtpDir() { return BinaryDir() + "\\ftp\\"; }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_nPort); }
  std::string Site(const char* pszFolder) const {
    return "ftp://" + HostPort() + "/" + pszFolder + "/";
  }
  std::string BiosTmp() const { return BinDirectory() + "bios.tmp"; }

  static void UseServer(const std::string& strServer) {
    HKEY hKey = nullptr;
    ASSERT_EQ(0, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOptionsKey, 0, nullptr, 0, KEY_SET_VALUE,
                                 nullptr, &hKey, nullptr));
    RegSetValueExA(hKey, "LiveUpdateServer", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(strServer.c_str()),
                   static_cast<DWORD>(strServer.size() + 1));
    RegCloseKey(hKey);
  }

  // The demo board's model with the given rows, on the given sites.
  SLiveUpdateInfo Info(std::vector<SLiveUpdateSite> vecSites, std::vector<SLiveUpdateBios> vecBios,
                       std::vector<std::string> vecSupport = {"F2", "F1"}) const {
    SLiveUpdateInfo info;
    info.vecSites = std::move(vecSites);
    SLiveUpdateModel model;
    model.strModel = "KT9S";
    model.vecSupport = std::move(vecSupport);
    model.vecBios = std::move(vecBios);
    info.vecModels.push_back(model);
    return info;
  }
  SLiveUpdateBios Row(const char* pszRevision, const char* pszFile) const {
    SLiveUpdateBios bios;
    bios.strRevision = pszRevision;
    bios.strFile = pszFile;
    bios.vecImage = m_vecUpdate;
    bios.strDate = "06/20/2004";
    bios.strNotes = "Newer memory table";
    return bios;
  }
  void Serve(const SLiveUpdateInfo& info) {
    std::string strError;
    ASSERT_TRUE(WriteLiveUpdateTree(info, FtpDir() + "root", &strError)) << strError;
  }

  // Starts the program and presses one of the Live Update buttons.
  HWND StartLiveUpdate(int nButton) {
    CProgram* pProgram = Start();
    HWND hMain = PassWelcome(*pProgram);
    if (hMain) Click(hMain, nButton);
    return hMain;
  }
  // The box of the given caption: its text, after OK.
  std::string Answer(const char* pszCaption, int nButton = IDOK, DWORD dwMs = 30000) {
    HWND hBox = m_pProgram->WaitForDialog(pszCaption, 0xFFFF, dwMs);
    if (!hBox) return "(no box \"" + std::string(pszCaption) + "\")";
    const std::string strText = Text(hBox, 0xFFFF);
    Click(hBox, nButton);
    WaitUntilGone(hBox, kWindowMs);
    return strText;
  }
  // The window back at rest: every button usable, Stop hidden again.
  void ExpectIdle(HWND hMain) {
    // The program sets its buttons one after another; wait for the last
    // of them (Stop hidden) before looking at each.
    WaitFor([&] { return Enabled(hMain, IDC_ONECLICK_UPDATE) && !Visible(hMain, IDC_STOP); },
            30000);
    ASSERT_TRUE(Enabled(hMain, IDC_ONECLICK_UPDATE));
    for (int nId :
         {IDC_STEP_UPDATE, IDC_UPDATE_FILE, IDC_SAVE_BIOS, IDC_SETTING, IDC_ABOUT, IDC_CLOSE})
      EXPECT_TRUE(Enabled(hMain, nId)) << nId;
    EXPECT_FALSE(Visible(hMain, IDC_STOP));
  }
  void ExpectBoardUnchanged() {
    std::vector<uint8_t> vecFlash, vecCmos;
    ASSERT_TRUE(ReadBoard(&vecFlash, &vecCmos));
    EXPECT_TRUE(vecFlash == m_vecRunning) << "the flash was written";
  }

  int m_nPort = 0;
  std::vector<uint8_t> m_vecUpdate;
};

// One click, from a throttled site: the information file, the newer BIOS
// downloaded with its progress shown, the automatic backup of the running
// flash and the flash of the download with the board's data carried over.
TEST_F(LiveUpdateEndToEnd, OneClickFlashesTheNewerBiosAfterAnAutomaticBackup) {
  Serve(Info({{Site("slow")}}, {Row("F2", kUpdateFile)}));
  HWND hMain = StartLiveUpdate(IDC_ONECLICK_UPDATE);
  ASSERT_NE(nullptr, hMain);
  const bool bMidway = WaitFor([&] { return BiosDownloadAt(hMain, 20, 90); }, 60000);
  EXPECT_TRUE(bMidway) << "the download did not show 20-89 % within 60 s";
  if (bMidway) {
    EXPECT_TRUE(Visible(hMain, IDC_STOP));
    EXPECT_FALSE(Enabled(hMain, IDC_CLOSE));
    Shot(hMain, "e2e-liveupdate-download");
  }
  HWND hAsk = m_pProgram->WaitForDialog("Tessaro (Update Bios)", 0xFFFF, 180000);
  ASSERT_NE(nullptr, hAsk);
  EXPECT_NE(std::string::npos, Text(hAsk, 0xFFFF).find("Proceed to Flash your BIOS?"));
  Click(hAsk, IDYES);
  ASSERT_TRUE(WaitUntilGone(hAsk, kWindowMs));
  EXPECT_NE(std::string::npos,
            Answer("Tessaro (Update Bios)", IDNO, 180000).find("Do you want to REBOOT now?"));
  EXPECT_TRUE(WaitForControlText(hMain, IDC_STATUS, "BIOS Flash Success!", 10000));
  ExpectIdle(hMain);
  Close(hMain);

  EXPECT_TRUE(ReadAll(BinDirectory() + "autosave.bin") == m_vecRunning);
  EXPECT_TRUE(ReadAll(BiosTmp()) == m_vecUpdate);
  std::vector<uint8_t> vecFlash, vecCmos;
  ASSERT_TRUE(ReadBoard(&vecFlash, &vecCmos));
  EXPECT_TRUE(vecFlash == ExpectedAfterUpdate());
}

// Step by step: the question, the BIOS list (the second row chosen), the
// site list (the second site chosen), the backup question; only the second
// row's file on the second site exists, so the download proves both
// choices. The flash question is answered No.
TEST_F(LiveUpdateEndToEnd, StepByStepTakesTheChosenRowFromTheChosenSite) {
  SLiveUpdateBios first = Row("F3", "KT9SF3.BIN");
  first.bOnSites = false;
  SLiveUpdateInfo info = Info({{Site("pub/bios"), false}, {Site("mirror")}},
                              {first, Row("F2", kUpdateFile)}, {"F3", "F2", "F1"});
  Serve(info);
  HWND hMain = StartLiveUpdate(IDC_STEP_UPDATE);
  ASSERT_NE(nullptr, hMain);
  EXPECT_EQ("Click OK to download new BIOS.", Answer("Tessaro", IDOK));
  HWND hList = m_pProgram->WaitForDialog("Available BIOS", IDC_CHOICE_LIST);
  ASSERT_NE(nullptr, hList);
  HWND hRows = GetDlgItem(hList, IDC_CHOICE_LIST);
  EXPECT_EQ(2, ListView_GetItemCount(hRows));
  // Row 2 through the keyboard, as a user would pick it.
  SetForegroundWindow(hList);
  PostMessageA(hRows, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(hRows, WM_KEYDOWN, VK_DOWN, 0);
  WaitUntilIdle(hList);
  Shot(hList, "e2e-liveupdate-bios-list");
  Click(hList, IDOK);
  HWND hSites = m_pProgram->WaitForDialog("Available FTP Site", IDC_CHOICE_LIST);
  ASSERT_NE(nullptr, hSites);
  SetForegroundWindow(hSites);
  HWND hSiteRows = GetDlgItem(hSites, IDC_CHOICE_LIST);
  PostMessageA(hSiteRows, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(hSiteRows, WM_KEYDOWN, VK_DOWN, 0);
  WaitUntilIdle(hSites);
  Shot(hSites, "e2e-liveupdate-site-list");
  Click(hSites, IDOK);
  EXPECT_EQ("Do you want to save your current BIOS as a backup?", Answer("Tessaro", IDNO, 120000));
  EXPECT_NE(std::string::npos,
            Answer("Tessaro (Update Bios)", IDNO, 120000).find("Proceed to Flash your BIOS?"));
  ExpectIdle(hMain);
  Close(hMain);
  EXPECT_TRUE(ReadAll(BiosTmp()) == m_vecUpdate);
  EXPECT_FALSE(Exists(BinDirectory() + "autosave.bin"));
  ExpectBoardUnchanged();
}

// The flow's refusals: each message, the window back at rest, the flash
// untouched (an erase would have left 0xFF blocks behind).
TEST_F(LiveUpdateEndToEnd, RefusalsEndWithTheirMessageAndNoFlash) {
  struct SCase {
    const char* pszName;
    std::function<SLiveUpdateInfo(LiveUpdateEndToEnd&)> fnInfo;
    const char* pszCaption;
    const char* pszText;
  };
  const std::vector<SCase> cases = {
      {"wrong BIOS checksum",
       [](LiveUpdateEndToEnd& t) {
         SLiveUpdateBios row = t.Row("F2", kUpdateFile);
         row.bChecksumOverride = true;
         row.wChecksum = static_cast<uint16_t>(LiveUpdateBiosChecksum(t.m_vecUpdate) + 1);
         return t.Info({{t.Site("pub/bios")}}, {row});
       },
       "Tessaro", "File check sum error!\nPlease download again!"},
      {"unlisted model",
       [](LiveUpdateEndToEnd& t) {
         SLiveUpdateInfo info = t.Info({{t.Site("pub/bios")}}, {t.Row("F2", kUpdateFile)});
         info.vecModels[0].strModel = "KT7A";
         return info;
       },
       "Tessaro", "The model of your M/B does not in the support list!"},
      {"nothing newer",
       [](LiveUpdateEndToEnd& t) {
         return t.Info({{t.Site("pub/bios")}}, {t.Row("F1", kUpdateFile)}, {"F2", "F1"});
       },
       "Tessaro", "Your BIOS is already up-to-date."},
      {"file not on the server",
       [](LiveUpdateEndToEnd& t) {
         SLiveUpdateBios row = t.Row("F2", "KT9SF9.BIN");
         row.bOnSites = false;
         return t.Info({{t.Site("pub/bios")}}, {row});
       },
       "Tessaro (Download)", "Cannot find the selected file.\nPlease retry later."},
  };
  CProgram* pProgram = Start();
  HWND hMain = PassWelcome(*pProgram);
  ASSERT_NE(nullptr, hMain);
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pszName);
    // Each file has the same edition date: the program would keep the
    // local copy of the previous case.
    DeleteLocalInfoFile();
    Serve(c.fnInfo(*this));
    Click(hMain, IDC_ONECLICK_UPDATE);
    const std::string strText = Answer(c.pszCaption);
    EXPECT_EQ(0u, strText.find(c.pszText)) << strText;
    ExpectIdle(hMain);
    EXPECT_EQ(nullptr, pProgram->FindDialog("Tessaro (Update Bios)", 0xFFFF, false));
  }
  Close(hMain);
  ExpectBoardUnchanged();
}

// Stop during the BIOS download: "Download Abort!", the partial file left,
// the buttons back, nothing flashed.
TEST_F(LiveUpdateEndToEnd, StopDuringTheBiosDownloadLeavesThePartialFile) {
  Serve(Info({{Site("slow")}}, {Row("F2", kUpdateFile)}));
  HWND hMain = StartLiveUpdate(IDC_ONECLICK_UPDATE);
  ASSERT_NE(nullptr, hMain);
  ASSERT_TRUE(WaitFor([&] { return BiosDownloadAt(hMain, 10, 90); }, 60000));
  ASSERT_TRUE(Visible(hMain, IDC_STOP));
  Click(hMain, IDC_STOP);
  EXPECT_EQ("Download Abort!", Answer("Tessaro (Download)"));
  ExpectIdle(hMain);
  EXPECT_EQ("0%", QuietText(hMain, IDC_PERCENT));
  Close(hMain);
  const size_t nPartial = ReadAll(BiosTmp()).size();
  EXPECT_GT(nPartial, 0u);
  EXPECT_LT(nPartial, m_vecUpdate.size());
  EXPECT_FALSE(Exists(BinDirectory() + "autosave.bin"));
  ExpectBoardUnchanged();
}

// A server that pauses mid-file: the time-out dialog comes up once the
// transfer has stood still for the (test build's) stall ticks, and closes
// by itself when the data flows again; the download then completes.
TEST_F(LiveUpdateEndToEnd, StallDialogClosesWhenTheDataComesBack) {
  Serve(Info({{Site("resume-10")}}, {Row("F2", kUpdateFile)}));
  HWND hMain = StartLiveUpdate(IDC_STEP_UPDATE);
  ASSERT_NE(nullptr, hMain);
  Answer("Tessaro", IDOK);  // download
  HWND hList = m_pProgram->WaitForDialog("Available BIOS", IDC_CHOICE_LIST);
  ASSERT_NE(nullptr, hList);
  HWND hRows = GetDlgItem(hList, IDC_CHOICE_LIST);
  SetForegroundWindow(hList);
  PostMessageA(hRows, WM_KEYDOWN, VK_DOWN, 0);
  WaitUntilIdle(hList);
  Click(hList, IDOK);
  HWND hStall = m_pProgram->WaitForDialog("Tessaro", IDCANCEL, 60000);
  ASSERT_NE(nullptr, hStall);
  EXPECT_EQ("&Wait", Text(hStall, IDCANCEL));
  EXPECT_EQ("&Abort", Text(hStall, IDOK));
  Shot(hStall, "e2e-liveupdate-stall");
  EXPECT_TRUE(WaitUntilGone(hStall, 60000)) << "the dialog stayed after the data came back";
  EXPECT_EQ("Do you want to save your current BIOS as a backup?", Answer("Tessaro", IDNO, 120000));
  Answer("Tessaro (Update Bios)", IDNO, 120000);
  ExpectIdle(hMain);
  Close(hMain);
  EXPECT_TRUE(ReadAll(BiosTmp()) == m_vecUpdate);
  ExpectBoardUnchanged();
}

// A server nobody answers at: the system's text after three attempts, then
// "Download Abort!".
TEST_F(LiveUpdateEndToEnd, RefusedConnectionShowsTheSystemTextThenTheAbort) {
  std::ifstream refused(FtpDir() + "refused-port");
  int nRefused = 0;
  ASSERT_TRUE(refused >> nRefused);
  UseServer("127.0.0.1:" + std::to_string(nRefused));
  HWND hMain = StartLiveUpdate(IDC_ONECLICK_UPDATE);
  ASSERT_NE(nullptr, hMain);
  const std::string strError = Answer("Tessaro (Download)");
  EXPECT_FALSE(strError.empty());
  EXPECT_NE("Download Abort!", strError);
  EXPECT_EQ("Download Abort!", Answer("Tessaro (Download)"));
  ExpectIdle(hMain);
  Close(hMain);
}

}  // namespace
