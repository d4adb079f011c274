// Live Update from the buttons to the flash, on a scripted FTP server: the
// downloads run on real worker threads, the window's timers and message
// loop are driven by the test, and the information file is read by the
// program's own reader.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ThreadPort.h"
#include "platform/WinTypes.h"
#include "platform/fake/FakeDeviceEnumPort.h"
#include "platform/fake/FakeFtpPort.h"
#include "platform/fake/FakeWmiPort.h"
#include "tessaro/liveupdate/BoardInfo.h"
#include "tests/app/AppFakes.h"

namespace {

const char kInfoPath[] = "/pub/download/tessaro/Tessaro.sys";
const char kBiosTmp[] = "C:\\Program Files\\Tessaro\\bios.tmp";

std::vector<uint8_t> Image(size_t nSize, uint8_t bySeed) {
  std::vector<uint8_t> vec(nSize);
  for (size_t i = 0; i < nSize; ++i) vec[i] = static_cast<uint8_t>(i * 7 + bySeed);
  return vec;
}

std::string Hex(uint16_t w) {
  char sz[8];
  std::snprintf(sz, sizeof(sz), "%04X", w);
  return sz;
}

uint16_t Sum(const std::vector<uint8_t>& vec) {
  uint16_t w = 0;
  for (uint8_t by : vec) w = static_cast<uint16_t>(w + by);
  return w;
}

// A read that waits at a chosen offset until the test opens the gate or
// the session is interrupted: a server that stops sending.
class CGate {
 public:
  void Hold(uint64_t qwAt) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_qwAt = qwAt;
  }
  void Open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_qwAt = ~0ull;
    m_cv.notify_all();
  }
  void BeforeRead(uint64_t qwSent, const std::atomic<bool>& bInterrupted) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (qwSent >= m_qwAt && !bInterrupted) {
      m_bHolding = true;
      m_cv.wait_for(lock, std::chrono::milliseconds(2));
    }
    m_bHolding = false;
  }
  // A read waits at the gate now.
  bool Holding() const { return m_bHolding; }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  uint64_t m_qwAt = ~0ull;
  std::atomic<bool> m_bHolding{false};
};

class LiveUpdateFlow : public ::testing::Test {
 public:  // the table of failures sets the scene through the fixture
  void SetUp() override {
    m_fake.platform.pFtp = &m_ftp;
    m_fake.platform.pThreads = &GetStdThreadPort();
    m_engine.m_pFiles = &m_fake.files;
    m_engine.m_nImageSize = m_vecNew.size();
    m_ftp.m_nReadSize = 1000;  // short reads, as the network delivers them
    m_ftp.m_fnBeforeRead = [this](uint64_t qwSent) {
      m_gate.BeforeRead(qwSent, m_ftp.m_bInterrupted);
    };
    m_ftp.m_mapFiles["/pub/bios/ab9_16.bin"] = m_vecNew;
    m_ftp.m_mapFiles["/pub/bios/ab9_15.bin"] = m_vecOld;
    m_ftp.m_mapFiles["/mirror/ab9_15.bin"] = m_vecOld;
    Serve(Info());
    m_pPresenter.reset(new CMainPresenter(m_fake.platform, m_resources, m_engine, m_board));
    m_pPresenter->OnInitDialog(m_view);
  }
  void TearDown() override { m_gate.Open(); }

  // The information file of model AB9 (installed revision 14): revisions
  // 16 and 15 are newer.
  std::string Info(
      const std::string& strSites = "count=1\r\npath01=ftp://ftp.ulvo.com/pub/bios/\r\n",
      const std::string& strSection = std::string(),
      const std::string& strProgramVer = "1.5.0.5") const {
    return "[GLOBAL]\r\ndate=2009/10/20\r\nprogramver=" + strProgramVer + "\r\n" + strSites +
           "[SUPPORT_MODEL]\r\nmodel01=AB9\r\n[AB9]\r\n" +
           (strSection.empty()
                ? "support=16,15,14\r\nfiles=2\r\nversions=16,15\r\n16=ab9_16.bin," +
                      Hex(Sum(m_vecNew)) + ",2009/10/20,Fan table, memory\r\n15=ab9_15.bin," +
                      Hex(Sum(m_vecOld)) + ",2009/9/30,First release\r\nNoClearCMOS=1\r\n" +
                      "RebootMessage=Unplug power\r\n"
                : strSection);
  }
  void Serve(const std::string& strText) {
    const std::vector<uint8_t> vec(strText.begin(), strText.end());
    m_ftp.m_mapFiles[kInfoPath] = CInfoFileOperations::ToStoredForm(vec);
  }
  void Press(int nId) { m_pPresenter->OnCommand(m_view, nId); }
  bool Running(int nTimer) const { return m_view.m_mapTimers.count(nTimer) != 0; }
  // The window's loop: posted work, then a tick of each running download
  // timer, until pred holds or five seconds passed.
  template <class F>
  bool PumpUntil(F pred) {
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > tEnd) return false;
      m_view.RunPosted();
      for (int nTimer : {kTimerInfoDownload, kTimerBiosDownload})
        if (Running(nTimer)) m_pPresenter->OnTimer(m_view, nTimer);
      std::this_thread::yield();
    }
    m_view.RunPosted();
    return true;
  }
  bool PumpToIdle() {
    return PumpUntil([this] { return !m_pPresenter->LiveUpdate().IsDownloading(); });
  }
  bool AllButtonsEnabled() const {
    for (int nId : {IDC_ONECLICK_UPDATE, IDC_STEP_UPDATE, IDC_UPDATE_FILE, IDC_SAVE_BIOS,
                    IDC_SETTING, IDC_ABOUT, IDC_CLOSE})
      if (!m_view.Enabled(nId)) return false;
    return !m_view.Enabled(IDC_STOP);
  }
  bool Flashed() const {
    for (const std::string& str : m_engine.m_vecCalls)
      if (str.compare(0, 7, "update ") == 0) return true;
    return false;
  }

  SFakePlatform m_fake;
  CResources m_resources{m_fake.modules};
  CMessageHelper m_messages{m_resources, m_fake.ui};
  CFakeDeviceEnumPort m_devices;
  CFakeWmiPort m_wmi;
  CFixedBiosIdentity m_bios{EBiosFamily::Award, "AB9", "14"};
  CBoardInfo m_board{m_fake.platform, m_messages, m_devices, m_wmi, m_bios, false};
  CFakeEngine m_engine;
  CFakeFtpPort m_ftp;
  CGate m_gate;
  CFakeMainView m_view;
  std::vector<uint8_t> m_vecNew = Image(64 * 1024, 3);
  std::vector<uint8_t> m_vecOld = Image(64 * 1024, 9);
  std::unique_ptr<CMainPresenter> m_pPresenter;
};

// One click: the information file, the first offered BIOS from the only
// site, its checksum, an automatic backup and the flash of "bios.tmp", with
// Stop the only live button while the downloads run.
TEST_F(LiveUpdateFlow, OneClickRunsFromTheInformationFileToTheFlash) {
  m_gate.Hold(8000);  // the information file waits until the window was seen
  Press(IDC_ONECLICK_UPDATE);
  EXPECT_TRUE(Running(kTimerInfoDownload));
  EXPECT_EQ(100u, m_view.m_mapTimers[kTimerInfoDownload]);
  EXPECT_TRUE(m_view.Enabled(IDC_STOP));
  EXPECT_FALSE(m_view.Enabled(IDC_CLOSE));
  EXPECT_EQ("Download Information file...", m_view.m_mapTexts[IDC_STATUS]);
  m_gate.Open();
  ASSERT_TRUE(PumpUntil([this] { return Running(kTimerBiosDownload); }));
  EXPECT_EQ("ftp://ftp.ulvo.com/pub/bios/ab9_16.bin", m_pPresenter->LiveUpdate().DownloadUrl());
  ASSERT_TRUE(PumpToIdle());

  EXPECT_EQ((std::vector<std::string>{"ftp.ulvo.com:21", "ftp.ulvo.com:21"}), m_ftp.m_vecConnects);
  EXPECT_EQ(m_vecNew, m_fake.files.m_mapFiles[kBiosTmp]);
  EXPECT_EQ((std::vector<std::string>{"sum C:\\Program Files\\Tessaro\\bios.tmp", "prepare",
                                      "autosave C:\\Program Files\\Tessaro\\autosave.bin",
                                      "prepare", "update C:\\Program Files\\Tessaro\\bios.tmp"}),
            m_engine.m_vecCalls);
  EXPECT_TRUE(m_view.m_vecBiosLists.empty());
  EXPECT_TRUE(m_view.m_vecSiteLists.empty());
  EXPECT_TRUE(m_fake.BoxTexts().empty());
  // The model's restrictions and reboot text reached the flash.
  EXPECT_TRUE(m_pPresenter->Restrictions().bNoClearCMOS);
  EXPECT_EQ("Unplug power", m_engine.m_strRebootSeen);
  // The downloaded file replaced the missing local one.
  EXPECT_TRUE(m_fake.files.m_mapFiles.count("C:\\windows\\system32\\Tessaro.sys"));
  EXPECT_TRUE(AllButtonsEnabled());
  EXPECT_EQ("0%", m_view.m_mapTexts[IDC_PERCENT]);
  EXPECT_TRUE(m_view.m_mapTimers.empty());
}

// Step by step: the question first, then the BIOS list (file, date,
// notes), the site list of two sites, and the backup question.
TEST_F(LiveUpdateFlow, StepByStepAsksForTheBiosTheSiteAndTheBackup) {
  Serve(Info(
      "count=2\r\npath01=ftp://ftp.ulvo.com/pub/bios/\r\npath02=ftp://mirror:2121/mirror/\r\n"));
  m_view.m_nBiosChoice = 1;
  m_view.m_nSiteChoice = 1;
  m_fake.ui.m_queAnswers = {kIdOk, kIdYes};  // download; back up first
  m_fake.ui.m_queFileAnswers = {"C:\\backup.bin"};
  m_engine.m_strChosen = "C:\\backup.bin";
  Press(IDC_STEP_UPDATE);
  ASSERT_TRUE(PumpToIdle());
  ASSERT_TRUE(PumpUntil([this] { return Flashed(); }));

  ASSERT_EQ(1u, m_view.m_vecBiosLists.size());
  const std::vector<SBiosListRow>& rows = m_view.m_vecBiosLists[0];
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("ab9_16.bin", rows[0].strFile);
  EXPECT_EQ("2009/10/20", rows[0].strDate);
  EXPECT_EQ("Fan table, memory", rows[0].strNotes);
  EXPECT_EQ("ab9_15.bin", rows[1].strFile);
  ASSERT_EQ(1u, m_view.m_vecSiteLists.size());
  EXPECT_EQ((std::vector<std::string>{"ftp://ftp.ulvo.com/pub/bios/", "ftp://mirror:2121/mirror/"}),
            m_view.m_vecSiteLists[0]);
  EXPECT_EQ("ftp://mirror:2121/mirror/ab9_15.bin", m_pPresenter->LiveUpdate().DownloadUrl());
  EXPECT_EQ("mirror:2121", m_ftp.m_vecConnects.back());
  EXPECT_EQ(m_vecOld, m_fake.files.m_mapFiles[kBiosTmp]);
  const std::vector<std::string> vecBoxes = m_fake.BoxTexts();
  ASSERT_EQ(2u, vecBoxes.size());
  EXPECT_EQ("Click OK to download new BIOS.", vecBoxes[0]);
  EXPECT_EQ("Do you want to save your current BIOS as a backup?", vecBoxes[1]);
  EXPECT_EQ((std::vector<std::string>{"sum C:\\Program Files\\Tessaro\\bios.tmp", "save-dialog",
                                      "prepare", "save C:\\backup.bin", "prepare",
                                      "update C:\\Program Files\\Tessaro\\bios.tmp"}),
            m_engine.m_vecCalls);
  EXPECT_TRUE(AllButtonsEnabled());
}

// A one-click update offers the site list when there are two sites.
TEST_F(LiveUpdateFlow, OneClickWithTwoSitesAsksForTheSiteOnly) {
  Serve(Info("count=2\r\npath01=ftp://ftp.ulvo.com/pub/bios/\r\npath02=ftp://mirror/mirror/\r\n"));
  m_view.m_nSiteChoice = -1;  // Quit
  Press(IDC_ONECLICK_UPDATE);
  ASSERT_TRUE(PumpToIdle());
  EXPECT_TRUE(m_view.m_vecBiosLists.empty());
  EXPECT_EQ(1u, m_view.m_vecSiteLists.size());
  EXPECT_EQ(1u, m_ftp.m_vecConnects.size());  // no BIOS download
  EXPECT_FALSE(Flashed());
  EXPECT_TRUE(AllButtonsEnabled());
}

TEST_F(LiveUpdateFlow, CancelOnTheQuestionDownloadsNothing) {
  m_fake.ui.m_queAnswers = {kIdCancel};
  Press(IDC_STEP_UPDATE);
  EXPECT_FALSE(m_pPresenter->LiveUpdate().IsDownloading());
  EXPECT_TRUE(m_ftp.m_vecConnects.empty());
  EXPECT_TRUE(m_view.m_mapTimers.empty());
  EXPECT_TRUE(AllButtonsEnabled());
}

// Every way the flow ends early: the message, and never a flash.
TEST_F(LiveUpdateFlow, EachFailureEndsWithItsMessageAndNoFlash) {
  struct SCase {
    const char* pszName;
    std::function<void(LiveUpdateFlow&)> fnSetUp;
    std::vector<std::string> vecBoxes;
    bool bBiosDownloaded;
  };
  const std::vector<SCase> cases = {
      {"information file checksum",
       [](LiveUpdateFlow& t) { t.m_ftp.m_mapFiles[kInfoPath].back() ^= 1; },
       {"File check sum error!\nPlease download again!"},
       false},
      {"information file missing",
       [](LiveUpdateFlow& t) { t.m_ftp.m_mapFiles.erase(kInfoPath); },
       {"Cannot find the selected file.\nPlease retry later."},
       false},
      {"model not listed",
       [](LiveUpdateFlow& t) { t.m_bios.m_strModel = "ZZ1"; },
       {"The model of your M/B does not in the support list!\nPlease see Tessaro FAQ at ulvo web "
        "site for more information."},
       false},
      {"installed BIOS not supported",
       [](LiveUpdateFlow& t) { t.m_bios.m_strRevision = "13"; },
       {"The BIOS on your M/B does not in the support list!\nPlease see Tessaro FAQ at ulvo web "
        "site for more information."},
       false},
      {"no files",
       [](LiveUpdateFlow& t) { t.Serve(t.Info(std::string("count=1\r\n"), "support=14\r\n")); },
       {"No file in list!"},
       false},
      {"nothing newer",
       [](LiveUpdateFlow& t) { t.m_bios.m_strRevision = "16"; },
       {"Your BIOS is already up-to-date."},
       false},
      {"BIOS checksum",
       [](LiveUpdateFlow& t) { t.m_ftp.m_mapFiles["/pub/bios/ab9_16.bin"][5] ^= 0x40; },
       {"File check sum error!\nPlease download again!"},
       true},
      {"BIOS file of the wrong size",
       [](LiveUpdateFlow& t) { t.m_ftp.m_mapFiles["/pub/bios/ab9_16.bin"].pop_back(); },
       {"File check sum error!\nPlease download again!"},
       true},
      {"BIOS dropped mid-file",
       [](LiveUpdateFlow& t) {
         t.m_ftp.m_qwDropAfter = 20000;
       },  // after the small information file
       {},
       true},
  };
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pszName);
    m_gate.Open();
    m_fake.ui.m_vecBoxes.clear();
    m_engine.m_vecCalls.clear();
    m_fake.files.m_mapFiles.clear();
    m_ftp.m_vecConnects.clear();
    m_ftp.m_qwDropAfter = ~0ull;
    m_bios = CFixedBiosIdentity{EBiosFamily::Award, "AB9", "14"};
    m_ftp.m_mapFiles["/pub/bios/ab9_16.bin"] = m_vecNew;
    Serve(Info());
    c.fnSetUp(*this);
    Press(IDC_ONECLICK_UPDATE);
    ASSERT_TRUE(PumpToIdle());
    EXPECT_EQ(c.vecBoxes, m_fake.BoxTexts());
    EXPECT_FALSE(Flashed());
    EXPECT_EQ(c.bBiosDownloaded ? 2u : 1u, m_ftp.m_vecConnects.size());
    EXPECT_TRUE(AllButtonsEnabled());
    EXPECT_TRUE(m_view.m_mapTimers.empty());
  }
}

TEST_F(LiveUpdateFlow, ProgramTooOldOffersTheDownloadPage) {
  Serve(Info("count=1\r\n", std::string(), "9.9"));
  m_fake.ui.m_queAnswers = {kIdYes};
  Press(IDC_ONECLICK_UPDATE);
  ASSERT_TRUE(PumpToIdle());
  ASSERT_EQ(1u, m_fake.BoxTexts().size());
  EXPECT_EQ(0u, m_fake.BoxTexts()[0].find("Your Tessaro program is too old"));
  EXPECT_EQ("open " + std::string(g_pszDownloadPage), m_view.m_vecEvents.back());
  EXPECT_FALSE(Flashed());
  EXPECT_TRUE(AllButtonsEnabled());
}

// Stop in either download: the worker is interrupted, "Download Abort!"
// once, the partial file stays, nothing is flashed.
TEST_F(LiveUpdateFlow, StopEndsEitherDownloadAndLeavesThePartialFile) {
  for (int nTimer : {kTimerInfoDownload, kTimerBiosDownload}) {
    SCOPED_TRACE(nTimer);
    const bool bInfo = nTimer == kTimerInfoDownload;
    const std::string strTarget = bInfo ? "C:\\users\\me\\Temp\\temp.sys" : kBiosTmp;
    const size_t nHeldAt = bInfo ? 100 : 30000;
    m_fake.ui.m_vecBoxes.clear();
    m_ftp.m_bInterrupted = false;
    m_ftp.m_nInterrupts = 0;
    m_fake.files.m_mapFiles.erase(strTarget);
    m_gate.Hold(nHeldAt);
    Press(IDC_ONECLICK_UPDATE);
    ASSERT_TRUE(PumpUntil([&] { return Running(nTimer) && m_gate.Holding(); }));
    // The information file is whole already: the read held is the one that
    // would have found its end.
    EXPECT_EQ(bInfo ? m_ftp.m_mapFiles[kInfoPath].size() : nHeldAt,
              m_fake.files.m_mapFiles[strTarget].size());
    EXPECT_TRUE(m_view.Enabled(IDC_STOP));
    Press(IDC_STOP);
    EXPECT_FALSE(m_pPresenter->LiveUpdate().IsDownloading());
    EXPECT_EQ(1, m_ftp.m_nInterrupts.load());
    EXPECT_EQ((std::vector<std::string>{"Download Abort!"}), m_fake.BoxTexts());
    EXPECT_TRUE(m_view.m_mapTimers.empty());
    EXPECT_TRUE(AllButtonsEnabled());
    EXPECT_FALSE(Flashed());
    m_gate.Open();
  }
  EXPECT_EQ(30000u, m_fake.files.m_mapFiles[kBiosTmp].size());
  // What the stopped worker still posted never reaches the reset window.
  m_view.RunPosted();
  EXPECT_EQ("0%", m_view.m_mapTexts[IDC_PERCENT]);
}

// A server that stops sending: after the still ticks the time-out dialog;
// data arriving while it is open closes it (timer 3) and the download goes
// on to the flash. Abort in the dialog ends the download as Stop does.
TEST_F(LiveUpdateFlow, StalledDownloadAsksAndResumesOrAborts) {
  for (bool bResume : {true, false}) {
    SCOPED_TRACE(bResume ? "resume" : "abort");
    m_fake.ui.m_vecBoxes.clear();
    m_engine.m_vecCalls.clear();
    m_ftp.m_bInterrupted = false;
    m_fake.files.m_mapFiles.erase(kBiosTmp);
    m_gate.Hold(30000);
    m_view.m_fnTimeoutDialog = [this, bResume] {
      EXPECT_TRUE(Running(kTimerStallDialog));
      EXPECT_FALSE(Running(kTimerBiosDownload));
      if (!bResume) return false;                        // Abort
      m_pPresenter->OnTimer(m_view, kTimerStallDialog);  // nothing new yet
      EXPECT_FALSE(m_view.m_bTimeoutEnded);
      m_gate.Open();
      const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!m_view.m_bTimeoutEnded && std::chrono::steady_clock::now() < tEnd)
        m_pPresenter->OnTimer(m_view, kTimerStallDialog);
      return false;  // not reached when the data closed the dialog
    };
    Press(IDC_ONECLICK_UPDATE);
    ASSERT_TRUE(PumpUntil([this] { return Running(kTimerBiosDownload) && m_gate.Holding(); }));
    // The still ticks, then the dialog.
    for (unsigned i = 0; i < CStallWatch::kStallTicks + 1 && m_view.m_nTimeoutDialogs == 0; ++i)
      m_pPresenter->OnTimer(m_view, kTimerBiosDownload);
    EXPECT_FALSE(Running(kTimerStallDialog));
    if (bResume) {
      EXPECT_TRUE(m_view.m_bTimeoutEndedWaiting);
      ASSERT_TRUE(PumpToIdle());
      EXPECT_TRUE(Flashed());
      EXPECT_EQ(m_vecNew, m_fake.files.m_mapFiles[kBiosTmp]);
    } else {
      EXPECT_FALSE(m_pPresenter->LiveUpdate().IsDownloading());
      EXPECT_EQ((std::vector<std::string>{"Download Abort!"}), m_fake.BoxTexts());
      EXPECT_FALSE(Flashed());
    }
    EXPECT_TRUE(AllButtonsEnabled());
    m_view.m_nTimeoutDialogs = 0;
    m_gate.Open();
  }
}

// The information file's address: the built-in one, the beta one, and a
// server from the registry that replaces the host.
TEST_F(LiveUpdateFlow, InformationFileAddressFollowsBetaAndTheRegistry) {
  CLiveUpdatePresenter& live = m_pPresenter->LiveUpdate();
  EXPECT_EQ("ftp://ftp.ulvo.com/pub/download/tessaro/Tessaro.sys", live.InfoFileUrl());
  g_bBeta = true;
  EXPECT_EQ("ftp://beta.ulvo.com/pub/download/tessaro/beta/Tessaro.sys", live.InfoFileUrl());
  m_fake.registry.m_mapKeys["HKLM\\Software\\ULVO\\Tessaro"].mapValues["LiveUpdateServer"] = {
      true, 0, "127.0.0.1:2121"};
  EXPECT_EQ("ftp://127.0.0.1:2121/pub/download/tessaro/beta/Tessaro.sys", live.InfoFileUrl());
  g_bBeta = false;
}

TEST(BiosEntry, FieldsAndHexadecimalChecksum) {
  const SBiosEntry entry = ParseBiosEntry("a.bin,1a2B,2009/1/2,Notes, with commas");
  EXPECT_EQ("a.bin", entry.strFile);
  EXPECT_EQ(0x1A2B, entry.wChecksum);
  EXPECT_EQ("2009/1/2", entry.strDate);
  EXPECT_EQ("Notes, with commas", entry.strNotes);
  const SBiosEntry bare = ParseBiosEntry("b.bin");
  EXPECT_EQ("b.bin", bare.strFile);
  EXPECT_EQ(0, bare.wChecksum);
  EXPECT_EQ("", bare.strNotes);
  EXPECT_EQ("ftp://h:1/x/y", WithServer("ftp://old/x/y", "h:1"));
  EXPECT_EQ("ftp://old/x", WithServer("ftp://old/x", ""));
}

}  // namespace
