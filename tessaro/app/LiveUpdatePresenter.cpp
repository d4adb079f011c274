#include "tessaro/app/LiveUpdatePresenter.h"

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>

#include "platform/FtpPort.h"
#include "platform/ThreadPort.h"
#include "platform/WinTypes.h"
#include "tessaro/app/ControlIds.h"
#include "tessaro/app/MainPresenter.h"
#include "tessaro/core/FlashOptions.h"
#include "tessaro/core/Switches.h"
#include "tessaro/liveupdate/FtpDownloader.h"

namespace {

constexpr uint32_t kStrDownloadedBios = 601;  // "bios.tmp" in the program's folder

bool IsLiveUpdateTimer(int nTimerId) {
  return nTimerId >= kTimerInfoDownload && nTimerId <= kTimerStallDialog;
}

std::string Field(const std::string& strText, size_t nBegin, size_t nEnd) {
  if (nBegin > strText.size()) return std::string();
  return strText.substr(nBegin, nEnd == std::string::npos ? nEnd : nEnd - nBegin);
}

}  // namespace

SBiosEntry ParseBiosEntry(const std::string& strEntry) {
  SBiosEntry entry;
  const size_t n1 = strEntry.find(',');
  const size_t n2 = n1 == std::string::npos ? n1 : strEntry.find(',', n1 + 1);
  const size_t n3 = n2 == std::string::npos ? n2 : strEntry.find(',', n2 + 1);
  entry.strFile = Field(strEntry, 0, n1);
  if (n1 != std::string::npos) {
    const std::string strSum = Field(strEntry, n1 + 1, n2);
    entry.wChecksum = static_cast<uint16_t>(std::strtoul(strSum.c_str(), nullptr, 16));
  }
  if (n2 != std::string::npos) entry.strDate = Field(strEntry, n2 + 1, n3);
  if (n3 != std::string::npos) entry.strNotes = strEntry.substr(n3 + 1);
  return entry;
}

std::string WithServer(const std::string& strUrl, const std::string& strServer) {
  if (strServer.empty()) return strUrl;
  const size_t nScheme = strUrl.find("://");
  const size_t nHost = nScheme == std::string::npos ? 0 : nScheme + 3;
  const size_t nPath = strUrl.find('/', nHost);
  return strUrl.substr(0, nHost) + strServer +
         (nPath == std::string::npos ? std::string() : strUrl.substr(nPath));
}

// The window's sinks as a download's worker reaches them: every call is
// posted to the window's thread, so the worker never waits for the window
// (which may itself be waiting for the worker to stop). Calls of a download
// that has since ended arrive after the window was reset and are dropped.
class CLiveUpdatePresenter::CWindowSinks : public IDisplaySinks {
 public:
  explicit CWindowSinks(IMainView& view) : m_view(view) {}
  // Drops whatever the previous download still has on its way; the next
  // download starts with nothing sent.
  void NextDownload() {
    ++m_nDownload;
    m_nLastPos = -1;
    std::lock_guard<std::mutex> lock(m_mutexPercent);
    m_strLastPercent.clear();
  }

  void SetProgressRange(int nLower, int nUpper) override {
    Post([nLower, nUpper](IMainView& view) { view.SetProgressRange(nLower, nUpper); });
  }
  // A position or percent text equal to the last one sent is not sent
  // again: a download reports after every 4096 bytes, the window needs to
  // hear of each percent only once.
  void SetProgressPos(int nPos) override {
    if (m_nLastPos.exchange(nPos) == nPos) return;
    Post([nPos](IMainView& view) { view.SetProgressPos(nPos); });
  }
  void SetStatusText(const std::string& strText) override {
    Post([strText](IMainView& view) { view.SetStatusText(strText); });
  }
  void SetPercentText(const std::string& strText) override {
    {
      std::lock_guard<std::mutex> lock(m_mutexPercent);
      if (strText == m_strLastPercent) return;
      m_strLastPercent = strText;
    }
    Post([strText](IMainView& view) { view.SetPercentText(strText); });
  }

 private:
  void Post(std::function<void(IMainView&)> fnCall) {
    const unsigned nDownload = m_nDownload;
    m_view.PostToWindow([this, nDownload, fnCall] {
      if (nDownload == m_nDownload) fnCall(m_view);
    });
  }

  IMainView& m_view;
  std::atomic<unsigned> m_nDownload{0};
  std::atomic<int> m_nLastPos{-1};
  std::mutex m_mutexPercent;  // the worker sends, the window's thread resets
  std::string m_strLastPercent;
};

CLiveUpdatePresenter::CLiveUpdatePresenter(CMainPresenter& main) : m_main(main) {}

CLiveUpdatePresenter::~CLiveUpdatePresenter() = default;

std::string CLiveUpdatePresenter::InfoFileUrl() const {
  const std::string strUrl = m_main.Resources().GetString(g_bBeta ? kStrBetaInfoUrl : kStrInfoUrl);
  std::string strServer;
  IRegistry* pRegistry = m_main.Platform().pRegistry;
  if (pRegistry) {
    std::unique_ptr<IRegistryKey> pKey =
        pRegistry->Open(ERegRoot::LocalMachine, g_pszOptionsKey, kRegRead);
    if (!pKey || !pKey->QueryString(kLiveUpdateServerValue, &strServer)) strServer.clear();
  }
  return WithServer(strUrl, strServer);
}

// --------------------------------------------------------------- buttons --

void CLiveUpdatePresenter::OnOneClick(IMainView& view) {
  m_bLiveUpdate = false;
  m_main.EnableButtons(view, false);
  view.Repaint();
  m_bOneClick = true;
  Begin(view);
}

void CLiveUpdatePresenter::OnStepByStep(IMainView& view) {
  m_bLiveUpdate = false;
  m_main.EnableButtons(view, false);
  view.Repaint();
  m_bOneClick = false;
  if (m_main.Messages().Ask(kMsgAskDownload, kCaptionTessaro, kMbOkCancel) != kIdOk) {
    m_main.EnableButtons(view, true);
    return;
  }
  Begin(view);
}

void CLiveUpdatePresenter::Begin(IMainView& view) {
  m_bLiveUpdate = true;
  m_main.EnableButtons(view, false);
  if (!m_pSinks) m_pSinks.reset(new CWindowSinks(view));
  StartInfoDownload(view);
}

void CLiveUpdatePresenter::OnStop(IMainView& view) { StopDownload(view); }

void CLiveUpdatePresenter::StopDownload(IMainView& view) {
  if (!m_pDownload) return;
  m_pDownload->RequestAbort();
  view.StopTimer(kTimerInfoDownload);
  view.StopTimer(kTimerBiosDownload);
  ResetProgress(view);
  m_pDownload.reset();
  m_main.EnableButtons(view, true);
}

// ------------------------------------------------------------- downloads --

void CLiveUpdatePresenter::StartInfoDownload(IMainView& view) {
  view.ShowControl(IDC_STATUS, true);
  m_main.SetStatus(view, kStrDownloadingInfo);
  StartDownload(view, InfoFileUrl(), m_main.InfoDownloadPath(), kTimerInfoDownload);
}

void CLiveUpdatePresenter::StartBiosDownload(IMainView& view) {
  m_main.SetStatus(view, kStrDownloadingBios);
  view.Repaint();
  StartDownload(view, m_strDownloadUrl,
                m_main.ProgramDir() + m_main.Resources().GetString(kStrDownloadedBios),
                kTimerBiosDownload);
}

void CLiveUpdatePresenter::StartDownload(IMainView& view, const std::string& strUrl,
                                         const std::string& strTarget, int nTimerId) {
  SPlatform& platform = m_main.Platform();
  if (!platform.pFtp || !platform.pThreads) {
    // A program wired without a network: as a session that cannot open.
    m_main.Messages().ShowError(kMsgNoInternetSession, kCaptionDownload);
    ResetProgress(view);
    return End(view);
  }
  m_pSinks->NextDownload();
  m_pDownload.reset(new CFtpDownloader(*platform.pFtp, *platform.pFiles, m_main.Messages(),
                                       m_main.Resources(), *m_pSinks, strUrl, strTarget));
  m_stall.Reset();
  m_nDownloadTimer = nTimerId;
  // A thread that cannot start leaves the download failed: the first tick
  // ends the flow.
  m_pDownload->Start(*platform.pThreads);
  view.StartTimer(nTimerId, kLiveUpdateTickMs);
}

void CLiveUpdatePresenter::ResetProgress(IMainView& view) {
  // Whatever the download still has on its way to the window is dropped.
  if (m_pSinks) m_pSinks->NextDownload();
  view.SetText(IDC_STATUS, "");
  view.SetText(IDC_LIVE_STATUS, "");
  view.SetProgressPos(0);
  view.SetPercentText("0%");
}

void CLiveUpdatePresenter::End(IMainView& view) { m_main.EnableButtons(view, true); }

void CLiveUpdatePresenter::OnTimer(IMainView& view, int nTimerId) {
  if (!IsLiveUpdateTimer(nTimerId)) return;
  if (nTimerId == kTimerStallDialog) {
    if (m_bStallDialogOpen && m_pDownload && m_stall.HasResumed(m_pDownload->GetBytesRead())) {
      view.StopTimer(kTimerStallDialog);
      view.EndTimeoutDialog(true);
    }
    return;
  }
  // A tick queued before its timer stopped, or of a download that is gone.
  if (!m_pDownload || nTimerId != m_nDownloadTimer) {
    view.StopTimer(nTimerId);
    return;
  }
  CFtpDownloader& download = *m_pDownload;
  if (!download.IsThreadDone()) {
    if (m_stall.Tick(download.IsTransferring(), download.GetBytesRead())) OnStall(view, nTimerId);
    return;
  }
  // The worker has ended and has shown its own message for a failure.
  const bool bSucceeded =
      download.IsSucceeded() && !download.IsFailed() && !download.IsAbortRequested();
  view.StopTimer(nTimerId);
  ResetProgress(view);
  m_pDownload.reset();
  if (!bSucceeded) {
    End(view);
  } else if (nTimerId == kTimerInfoDownload) {
    AfterInfoDownload(view);
  } else {
    AfterBiosDownload(view);
  }
}

void CLiveUpdatePresenter::OnStall(IMainView& view, int nTimerId) {
  view.StopTimer(nTimerId);
  view.StartTimer(kTimerStallDialog, kLiveUpdateTickMs);
  m_bStallDialogOpen = true;
  const bool bKeepWaiting = view.RunTimeoutDialog();
  m_bStallDialogOpen = false;
  view.StopTimer(kTimerStallDialog);
  if (bKeepWaiting && m_pDownload) {
    view.StartTimer(nTimerId, kLiveUpdateTickMs);
  } else {
    StopDownload(view);
  }
}

// ----------------------------------------------------- after the downloads --

void CLiveUpdatePresenter::AfterInfoDownload(IMainView& view) {
  IBoardInfo& board = m_main.Board();
  CMessageHelper& messages = m_main.Messages();
  const std::string& strPath = m_main.InfoDownloadPath();
  if (!board.VerifyInfoChecksum(strPath)) {
    messages.ShowError(kMsgChecksumError, kCaptionTessaro);
    return End(view);
  }
  if (!board.RefreshLocalInfoFile(strPath)) return End(view);
  if (!board.CheckProgramVersion()) {
    if (messages.Ask(kMsgProgramTooOld, kCaptionTessaro, kMbYesNo) == kIdYes)
      m_main.OnCommand(view, IDC_WEBSITE);
    return End(view);
  }
  std::vector<std::string> vecEntries;
  SUpdateRestrictions restrictions = m_main.Restrictions();
  std::string strReboot = m_main.RebootMessage();
  const uint32_t nMessage = board.BuildUpdateList(&vecEntries, &restrictions, &strReboot);
  if (nMessage) {
    messages.ShowError(nMessage, kCaptionTessaro);
    return End(view);
  }
  // The model's restrictions and reboot text hold for the flash to come.
  m_main.Restrictions() = restrictions;
  m_main.SetRebootMessage(strReboot);
  if (!ChooseDownload(view, vecEntries)) return End(view);
  StartBiosDownload(view);
}

bool CLiveUpdatePresenter::ChooseDownload(IMainView& view,
                                          const std::vector<std::string>& vecEntries) {
  if (vecEntries.empty()) return false;
  size_t nEntry = 0;
  if (!m_bOneClick) {
    std::vector<SBiosListRow> vecRows;
    for (const std::string& strEntry : vecEntries) {
      const SBiosEntry entry = ParseBiosEntry(strEntry);
      vecRows.push_back({entry.strFile, entry.strDate, entry.strNotes});
    }
    const int nChosen = view.ChooseBiosEntry(vecRows);
    if (nChosen < 0 || static_cast<size_t>(nChosen) >= vecEntries.size()) return false;
    nEntry = static_cast<size_t>(nChosen);
  }
  IBoardInfo& board = m_main.Board();
  int nSite = 1;
  const int nSites = board.SiteCount();
  if (nSites >= 2) {
    std::vector<std::string> vecSites;
    for (int n = 1; n <= nSites; ++n) vecSites.push_back(board.SitePath(n));
    const int nChosen = view.ChooseSite(vecSites);
    if (nChosen < 0 || nChosen >= nSites) return false;
    nSite = nChosen + 1;
  }
  const SBiosEntry entry = ParseBiosEntry(vecEntries[nEntry]);
  m_strDownloadUrl = board.SitePath(nSite) + entry.strFile;
  m_wRomChecksum = entry.wChecksum;
  return true;
}

// Nothing is flashed unless the file's sum matches its entry and the
// family's loader accepted it; the flash then runs its own checks too.
void CLiveUpdatePresenter::AfterBiosDownload(IMainView& view) {
  const std::string strPath =
      m_main.ProgramDir() + m_main.Resources().GetString(kStrDownloadedBios);
  uint16_t wSum = 0;
  if (!m_main.Engine().SumImageFile(strPath, view, &wSum) || wSum != m_wRomChecksum) {
    m_main.Messages().ShowError(kMsgChecksumError, kCaptionTessaro);
    return End(view);
  }
  m_main.SaveBios(view, m_bOneClick);
  m_main.UpdateBios(view, true);
}

// ------------------------------------------------------------ stall watch --

bool CStallWatch::Tick(bool bTransferring, uint32_t dwBytesRead) {
  if (!bTransferring) return false;
  if (!m_bSeen || dwBytesRead != m_dwLast) {
    m_bSeen = true;
    m_dwLast = dwBytesRead;
    m_nStillTicks = 0;
    return false;
  }
  if (++m_nStillTicks < kStallTicks) return false;
  m_nStillTicks = 0;
  m_dwAtStall = dwBytesRead;
  return true;
}
